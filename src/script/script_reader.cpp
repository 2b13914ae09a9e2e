#include "script/script_reader.h"

#include <cstring>

const char* const SectionNames[kActionCount + 1] = {
    "nic",        "[Copy]",   "[Run]",       "[Delete]",      "[WriteIni]", "[DelIni]",
    "[WriteReg]", "[DelReg]", "[ChangeDir]", "[VersionCopy]", "[Move]",     nullptr};

int ReadScriptLine(FILE* stream, char* buffer, int maxCount) {
  bool cut;
  return ReadScriptLine(stream, buffer, maxCount, &cut);
}

int ReadScriptLine(FILE* stream, char* buffer, int maxCount, bool* cut) {
  *cut = false;
  if (!buffer || maxCount < 0) return 0;
  buffer[0] = '\0';
  if (!stream) return 0;
  int count = 0;
  for (;;) {
    int c = std::getc(stream);
    if (c == EOF || c == '\r') break;  // EOF also covers a read error
    // A NUL could not be told from the end of the text; dropping it keeps
    // the count equal to the text's length. Dropped bytes never count
    // toward the limit.
    if (c == '\n' || c == '\0') continue;
    if (count >= maxCount) {
      // The rest of an overlong line is dropped with its line end, so it can
      // never be taken for a line of its own.
      while (c != EOF && c != '\r') c = std::getc(stream);
      *cut = true;
      break;
    }
    if ((c == ' ' || c == '\t') && count == 0) continue;
    buffer[count++] = static_cast<char>(c);
  }
  buffer[count] = '\0';
  return count;
}

bool ScriptEnded(FILE* stream) {
  return !stream || std::feof(stream) || std::ferror(stream);
}

bool SameText(const char* a, const char* b) {
  if (!a || !b) return false;
  for (size_t i = 0;; ++i) {
    if (a[i] == '\0' || b[i] == '\0') return a[i] == b[i];
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
}

bool StartsWithText(const char* text, const char* prefix) {
  for (; *prefix; ++prefix, ++text) {
    if (*text == '\0' || FoldAscii(*text) != FoldAscii(*prefix)) return false;
  }
  return true;
}

bool FindScriptLine(FILE* stream, const char* header, const char* line) {
  if (!stream || !header || !line) return false;
  // A failed stream is finished for every reader; searching it would also
  // lose the failure indicator on the way back.
  if (std::ferror(stream)) return false;
  bool wasAtEnd = std::feof(stream) != 0;
  fpos_t position;
  if (std::fgetpos(stream, &position) != 0) return false;
  if (std::fseek(stream, 0, SEEK_SET) != 0) return false;

  char buffer[kLineBufferSize];
  bool inSection = false;
  bool found = false;
  while (!ScriptEnded(stream)) {
    if (ReadScriptLine(stream, buffer, kMaxLineLength) == 0) continue;
    if (!inSection) {
      inSection = SameText(buffer, header);
      continue;
    }
    if (SameText(buffer, line)) {
      found = true;
      break;
    }
    if (buffer[0] == '[') break;  // only the first such section counts
  }

  // Back where the caller was, with its end-of-file state as it was: its
  // next read and its loop test must not notice the search.
  std::clearerr(stream);
  std::fsetpos(stream, &position);
  if (wasAtEnd) {
    int c = std::getc(stream);
    if (c != EOF) std::ungetc(c, stream);
  }
  return found;
}

int IndexOfChar(const char* text, char c, int start) {
  if (!text || c == '\0') return -1;
  int i = 0;
  while (i < start && text[i] != '\0') ++i;
  for (; text[i] != '\0'; ++i) {
    if (text[i] == c) return i;
  }
  return -1;
}

bool IsCommentLine(const char* line, int action) {
  if (!line || line[0] != ';') return false;
  if (action == kActionWriteReg || action == kActionDelReg) return line[1] == ';';
  return true;
}

int ActionOfHeader(const char* line) {
  for (int i = 0; SectionNames[i]; ++i) {
    if (SameText(SectionNames[i], line)) return i;
  }
  return kActionNone;
}
