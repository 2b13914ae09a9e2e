// The script as Setup's line reader returns it: the whole-file checks, what
// the executor does with each line, and the section headers.
#include <cstdio>
#include <cstring>

#include "app/text.h"
#include "check/check_state.h"
#include "check/stand_ins.h"
#include "check/text_1250.h"
#include "script/line_split.h"
#include "script/script_reader.h"

namespace {

bool HasUtf8ByteOrderMark(const std::string& bytes) {
  return bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
}

bool HasUtf16ByteOrderMark(const std::string& bytes) {
  return bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0;
}

// Only LF line ends: LF bytes and not a single CR.
bool HasOnlyLfLineEnds(const std::string& bytes) {
  return bytes.find('\r') == std::string::npos && bytes.find('\n') != std::string::npos;
}

// The byte index of an LF inside the line that joins text after it to the
// line, or npos.
size_t JoiningLf(const std::string& bytes, const ScriptLine& line) {
  for (size_t p = line.start + 1; p < line.end; ++p) {
    if (bytes[p] != '\n') continue;
    for (size_t q = p + 1; q < line.end; ++q) {
      char c = bytes[q];
      if (c != '\n' && c != '\r' && c != '\0' && c != ' ' && c != '\t') return p;
    }
  }
  return std::string::npos;
}

// The text a line holds between two byte offsets, as the reader keeps it.
std::string ReadableText(const std::string& bytes, size_t from, size_t to) {
  std::string text;
  for (size_t p = from; p < to; ++p) {
    char c = bytes[p];
    if (c == '\r' || c == '\n' || c == '\0') continue;
    if ((c == ' ' || c == '\t') && text.empty()) continue;
    text += c;
  }
  return text;
}

SectionKind KindOfHeader(const char* line) {
  if (ActionOfHeader(line) != kActionNone) return kSectionAction;
  if (SameText(line, "[Options]")) return kSectionOptions;
  if (SameText(line, "[ReadIni]")) return kSectionReadIni;
  if (SameText(line, "[readreg]")) return kSectionReadReg;
  return kSectionUnknown;
}

const char* const kKnownHeaders[] = {"[Copy]",   "[Run]",         "[Delete]", "[WriteIni]",
                                     "[DelIni]", "[WriteReg]",    "[DelReg]", "[ChangeDir]",
                                     "[VersionCopy]", "[Move]",   "[Options]", "[ReadIni]",
                                     "[readreg]"};

// A header text brought into the form of a known header: blanks, what
// follows ']', accents and case set aside. Names the reasons it needed.
std::string NormalHeader(const std::string& header, std::string* reasons) {
  std::string text = header;
  size_t last = text.find_last_not_of(" \t");
  if (last != text.size() - 1) {
    *reasons += ", a trailing blank";
    text.erase(last + 1);
  }
  size_t closing = text.find(']');
  if (closing == std::string::npos) {
    *reasons += ", no closing ']'";
    text += ']';
  } else if (closing + 1 < text.size()) {
    *reasons += ", text after ']'";
    text.erase(closing + 1);
  }
  std::string plain;
  bool blanks = false, accents = false;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      blanks = true;
      continue;
    }
    char unaccented = Unaccented1250(c);
    if (unaccented != c) accents = true;
    plain += FoldAscii(unaccented);
  }
  if (blanks) *reasons += ", blanks inside";
  if (accents) *reasons += ", letters outside ASCII";
  return plain;
}

// The known header a header of no known section was probably meant to be,
// and why it is not that one; "" when it is like none of them.
std::string MeantHeader(const std::string& header, std::string* why) {
  std::string reasons;
  std::string normal = NormalHeader(header, &reasons);
  std::vector<std::string> known;
  for (const char* name : kKnownHeaders) {
    std::string folded;
    for (const char* p = name; *p; ++p) folded += FoldAscii(*p);
    if (folded == normal) {
      *why = reasons.empty() ? "" : reasons.substr(2);
      return name;
    }
    known.push_back(name);
  }
  // Short names are near each other: one change there, two in longer ones.
  std::string closest = Closest(normal, known, normal.size() >= 6 ? 2 : 1);
  if (!closest.empty()) *why = "a misspelling" + reasons;
  return closest;
}

}  // namespace

bool ReadScriptLines(CheckState* state, std::string* problem) {
  FILE* file = std::fopen(state->scriptPath.c_str(), "rb");
  if (!file) {
    *problem = "cannot open " + state->scriptPath;
    return false;
  }
  char chunk[4096];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) state->bytes.append(chunk, count);
  bool ok = !std::ferror(file) && std::fseek(file, 0, SEEK_SET) == 0;

  char buffer[kLineBufferSize];
  int number = 0;
  while (ok && !ScriptEnded(file)) {
    ScriptLine line = {};
    line.start = static_cast<size_t>(std::ftell(file));
    ReadScriptLine(file, buffer, kMaxLineLength, &line.cut);
    line.end = static_cast<size_t>(std::ftell(file));
    if (line.end > state->bytes.size()) line.end = state->bytes.size();
    line.number = ++number;
    line.text = buffer;
    state->lines.push_back(line);
  }
  if (std::ferror(file)) ok = false;
  std::fclose(file);
  if (!ok) *problem = "cannot read " + state->scriptPath;
  return ok;
}

void CheckWholeFile(CheckState* state) {
  const std::string& bytes = state->bytes;
  if (HasUtf16ByteOrderMark(bytes)) {
    state->Add(1, kError, "byte-order-mark",
               "the file is UTF-16 text: Setup reads 8-bit Windows-1250 text and finds no line "
               "it knows in it; save it in Windows-1250");
  } else if (HasUtf8ByteOrderMark(bytes)) {
    std::string first = state->lines.empty() ? "" : state->lines[0].text.substr(3);
    state->Add(1, kError, "byte-order-mark",
               "the file begins with a UTF-8 byte-order mark: Setup's line reader takes its "
               "three bytes as the start of line 1, so " + Quote(first) +
                   " is not what it seems (a header there names no section); save the file "
                   "in Windows-1250 without a byte-order mark");
  }
  if (HasOnlyLfLineEnds(bytes)) {
    state->Add(1, kError, "lf-line-ends",
               "the file has LF line ends only: Setup's reader ends lines at CR, so the whole "
               "script is one line and does nothing; save it with CR LF line ends");
    return;
  }

  int utf8Line = 0, utf8Lines = 0;
  std::string utf8Example;
  for (const ScriptLine& line : state->lines) {
    size_t lf = JoiningLf(bytes, line);
    if (lf != std::string::npos) {
      state->Add(line.number, kError, "lf-in-line",
                 "holds a line end of LF alone: Setup's reader ends lines at CR only and "
                 "joins " + Quote(ReadableText(bytes, line.start, lf)) + " and " +
                     Quote(ReadableText(bytes, lf, line.end)) + " into one line");
    }
    const unsigned char* text = reinterpret_cast<const unsigned char*>(line.text.data());
    size_t size = line.text.size();
    // UTF-8 text: multi-byte sequences and no other byte above 0x7F (in
    // Windows-1250 text such pairs occur only by chance, next to others).
    bool utf8 = false, stray = false, undefinedReported = false;
    std::string example;
    // A byte-order mark has its own finding.
    size_t first = line.number == 1 && HasUtf8ByteOrderMark(bytes) ? 3 : 0;
    for (size_t i = first; i < size;) {
      size_t sequence = Utf8SequenceLength(text + i, size - i);
      if (sequence > 0) {
        if (!utf8) example = line.text.substr(i, sequence);
        utf8 = true;
        i += sequence;
        continue;
      }
      stray = stray || text[i] >= 0x80;
      if (text[i] >= 0x80 && CodePoint1250(text[i]) == 0 && !undefinedReported) {
        char hex[8];
        FormatText(hex, sizeof hex, "0x%02X", static_cast<unsigned>(text[i]));
        state->Add(line.number, kWarning, "undefined-byte",
                   std::string("holds the byte ") + hex +
                       ", which Windows-1250 does not define: Windows shows it as some other "
                       "character or none");
        undefinedReported = true;
      }
      ++i;
    }
    if (utf8 && !stray) {
      if (utf8Line == 0) {
        utf8Line = line.number;
        utf8Example = example;
      }
      ++utf8Lines;
    }
  }
  if (utf8Line != 0) {
    std::string more = utf8Lines > 1 ? " (so do " + std::to_string(utf8Lines - 1) + " more lines)" : "";
    state->Add(utf8Line, kWarning, "utf8-text",
               "the text looks like UTF-8" + more + ": " + Quote(utf8Example) +
                   " (shown here as Windows-1250) is one UTF-8 character, and Setup shows "
                   "each of its bytes as a Windows-1250 character; save the file in Windows-1250");
  }
}

void WalkSections(CheckState* state) {
  int action = kActionNone;
  bool versionCopyOpen = false;  // before the first file line of a [VersionCopy]
  SectionKind section = kSectionNone;
  int headerLine = 0;
  for (ScriptLine& line : state->lines) {
    line.section = section;
    line.headerLine = headerLine;
    line.action = action;
    line.expandedFits = true;
    const char* text = line.text.c_str();
    if (line.text.empty()) {
      line.verdict = kLineEmpty;
    } else if (IsCommentLine(text, action)) {
      line.verdict = kLineComment;
    } else if (text[0] == '[') {
      action = ActionOfHeader(text);
      section = KindOfHeader(text);
      headerLine = line.number;
      versionCopyOpen = action == kActionVersionCopy;
      line.section = section;
      line.headerLine = headerLine;
      line.action = action;
      line.verdict = section == kSectionUnknown ? kLineUnknownHeader : kLineHeader;
    } else if (action == kActionNone) {
      line.verdict = kLineSkipped;
    } else {
      line.expandedFits = !line.cut && state->Expand(line.text, &line.expanded, false);
      if (!line.expandedFits) {
        line.verdict = kLineRefused;
      } else if (action == kActionVersionCopy) {
        if (versionCopyOpen && VersionCopySetting(line.expanded.c_str()) != 0) {
          line.verdict = kLineSetting;
        } else {
          versionCopyOpen = false;
          line.verdict = kLineGated;
        }
      } else {
        line.verdict = kLineRuns;
      }
    }
    // [Copy] lines whose joined paths do not fit their fields are refused.
    if ((line.verdict == kLineRuns && action == kActionCopy) || line.verdict == kLineGated) {
      std::vector<char> copy(line.expanded.begin(), line.expanded.end());
      copy.push_back('\0');
      char scratch[kLongPathSize], target[kPathFieldSize], source[kPathFieldSize];
      char* filter = nullptr;
      if (!SplitActionLine(copy.data(), kActionCopy, kPackageMarker, kInstallMarker, scratch, target,
                           source, &filter)) {
        line.verdict = kLineRefused;
      }
    }
  }
}

void CheckHeaders(CheckState* state) {
  bool byteOrderMark = HasUtf8ByteOrderMark(state->bytes);
  int firstSkipped = 0, skippedAbove = 0;
  for (size_t i = 0; i < state->lines.size(); ++i) {
    const ScriptLine& line = state->lines[i];
    if (line.headerLine == 0 && line.verdict == kLineSkipped) {
      if (firstSkipped == 0) firstSkipped = line.number;
      ++skippedAbove;
    }
    if (line.verdict != kLineHeader && line.verdict != kLineUnknownHeader) continue;

    // What stands under the header, up to the next one.
    int under = 0, acting = 0, settings = 0;
    for (size_t j = i + 1; j < state->lines.size(); ++j) {
      const ScriptLine& next = state->lines[j];
      if (next.verdict == kLineHeader || next.verdict == kLineUnknownHeader) break;
      if (next.verdict == kLineSkipped) ++under;
      if (next.verdict == kLineRuns || next.verdict == kLineGated || next.verdict == kLineRefused)
        ++acting;
      if (next.verdict == kLineSetting) ++settings;
    }
    if (line.section == kSectionAction) {
      if (acting + settings == 0) {
        state->Add(line.number, kWarning, "section-empty",
                   Quote(line.text) + " has no lines: nothing happens in this section");
      } else if (acting == 0) {
        state->Add(line.number, kWarning, "section-empty",
                   Quote(line.text) + " has settings but no file line: nothing is copied");
      }
      continue;
    }
    if (line.verdict != kLineUnknownHeader) continue;

    std::string why;
    std::string meant = MeantHeader(line.text, &why);
    std::string lines = under == 1 ? "the line under it is" : "the " + std::to_string(under) + " lines under it are";
    if (meant.empty()) {
      if (under > 0) {
        state->Add(line.number, kWarning, "section-unknown",
                   Quote(line.text) + " is no section Setup knows: " + lines + " skipped");
      }
      continue;
    }
    std::string effect;
    if (meant == "[Options]") {
      effect = "Setup's line reader does not see the flag lines under it (KillQuillon=1, "
               "NoDir=1, SkipWelcome=1, SkipInfo=1, Rollback=1)";
    } else if (meant == "[ReadIni]" || meant == "[readreg]") {
      effect = under == 1 ? "the definition under it is not read"
                          : "the " + std::to_string(under) + " definitions under it are not read";
    } else {
      effect = lines + " skipped";
    }
    state->Add(line.number, kError, "header-unknown",
               Quote(line.text) + " is not a section header" +
                   (why.empty() ? "" : " (" + why + ")") + ": " + effect + "; did you mean " +
                   meant + "?");
  }
  if (skippedAbove > 0 && !byteOrderMark) {
    std::string more =
        skippedAbove > 1 ? " (and so are " + std::to_string(skippedAbove - 1) + " more lines)" : "";
    state->Add(firstSkipped, kWarning, "before-first-header",
               "stands above the first section header: Setup skips it" + more);
  }

  // Lines longer than the reader takes.
  for (const ScriptLine& line : state->lines) {
    if (!line.cut || line.verdict == kLineComment) continue;
    std::string length = std::to_string(ReadableText(state->bytes, line.start, line.end).size());
    if (line.verdict == kLineRefused) {
      state->Add(line.number, kError, "line-too-long",
                 "is " + length + " characters long: Setup reads at most 1300 characters of a "
                 "line and does not execute this one (message 46)");
    } else if (line.section == kSectionReadIni || line.section == kSectionReadReg) {
      state->Add(line.number, kError, "line-too-long",
                 "is " + length + " characters long: a definition longer than 1300 characters "
                 "defines nothing");
    } else {
      state->Add(line.number, kWarning, "line-too-long",
                 "is " + length + " characters long: Setup's line reader keeps only its first "
                 "1300 characters");
    }
  }
}
