// The script as Setup's line reader returns it: the whole-file checks, what
// the executor does with each line, and the section headers.
#include <sys/stat.h>

#include <cerrno>
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
  auto isText = [](char c) { return c != '\n' && c != '\r' && c != '\0' && c != ' ' && c != '\t'; };
  size_t last = std::string::npos;  // the line's last byte that is text
  for (size_t q = line.end; q-- > line.start + 1;) {
    if (isText(bytes[q])) {
      last = q;
      break;
    }
  }
  if (last == std::string::npos) return last;
  // An LF before the line's first text joins nothing to it: the reader skips it.
  size_t p = line.start;
  while (p < last && !isText(bytes[p])) ++p;
  for (; p < last; ++p) {
    if (bytes[p] == '\n') return p;
  }
  return std::string::npos;
}

// The text a line holds between two byte offsets, as the reader keeps it:
// at most `most` characters of it, and how many there are in all.
std::string ReadableText(const std::string& bytes, size_t from, size_t to, size_t* length = nullptr,
                         size_t most = 80) {
  std::string text;
  size_t count = 0;
  for (size_t p = from; p < to; ++p) {
    char c = bytes[p];
    if (c == '\r' || c == '\n' || c == '\0') continue;
    if ((c == ' ' || c == '\t') && count == 0) continue;
    if (count++ < most) text += c;
  }
  if (length) *length = count;
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
  std::string closest = Suggest(normal, known, normal.size() >= 6 ? 2 : 1);
  if (!closest.empty()) *why = "a misspelling" + reasons;
  return closest;
}

}  // namespace


bool ReadScript(CheckState* state, std::string* problem) {
  const std::string& path = state->scriptPath;
  // Some systems open a directory as a file that cannot be read.
  struct stat status;
  if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    *problem = "cannot read " + path + ": " + std::strerror(EISDIR);
    return false;
  }
  int error = 0;
  switch (ReadFileBounded(path.c_str(), kMaxScriptBytes, &state->bytes, &error)) {
    case kReadWhole: return true;
    case kReadTooLarge:
      state->bytes = std::string();
      *problem = path + " is larger than 16 MiB (" + std::to_string(kMaxScriptBytes) +
                 " bytes), the most setupcheck reads of a script: it is not checked";
      return false;
    case kReadFailed: break;
  }
  *problem = "cannot read " + path + ": " + std::strerror(error);
  return false;
}

bool NextLine(const CheckState& state, LineWalk* walk, ScriptLine* line) {
  if (walk->ended) return false;
  if (!walk->toTheEnd && state.cutoffLine != 0 && walk->number >= state.cutoffLine) return false;
  // The reader: CR ends a line, LF and NUL are dropped, leading blanks
  // skipped; after 1300 characters the rest up to the CR is dropped.
  const std::string& bytes = state.bytes;
  size_t p = walk->offset;
  line->start = p;
  line->text.clear();
  line->cut = false;
  bool endedByCr = false;
  while (p < bytes.size()) {
    char c = bytes[p++];
    if (c == '\r') {
      endedByCr = true;
      break;
    }
    if (c == '\n' || c == '\0') continue;
    if (line->text.size() >= static_cast<size_t>(kMaxLineLength)) {
      line->cut = true;
      size_t cr = bytes.find('\r', p);
      endedByCr = cr != std::string::npos;
      p = endedByCr ? cr + 1 : bytes.size();
      break;
    }
    if ((c == ' ' || c == '\t') && line->text.empty()) continue;
    line->text += c;
  }
  line->end = p;
  walk->offset = p;
  walk->ended = !endedByCr;
  line->number = ++walk->number;

  line->section = walk->section;
  if (line->headerLine != walk->headerLine || line->headerText != walk->headerText) {
    line->headerText = walk->headerText;
  }
  line->headerLine = walk->headerLine;
  line->action = walk->action;
  line->expanded.clear();
  line->expandedFits = true;
  const char* text = line->text.c_str();
  if (line->text.empty()) {
    line->verdict = kLineEmpty;
  } else if (IsCommentLine(text, walk->action)) {
    line->verdict = kLineComment;
  } else if (text[0] == '[') {
    // Every known header is "[...]" of five or more characters.
    bool named = line->text.size() >= 5 && line->text.back() == ']';
    walk->action = named ? ActionOfHeader(text) : kActionNone;
    walk->section = named ? KindOfHeader(text) : kSectionUnknown;
    walk->headerLine = line->number;
    walk->headerText = line->text;
    walk->versionCopyOpen = walk->action == kActionVersionCopy;
    line->section = walk->section;
    line->headerLine = walk->headerLine;
    line->headerText = walk->headerText;
    line->action = walk->action;
    line->verdict = walk->section == kSectionUnknown ? kLineUnknownHeader : kLineHeader;
  } else if (walk->action == kActionNone) {
    line->verdict = kLineSkipped;
  } else if (!walk->verdicts) {
    line->verdict = kLineRuns;  // not looked at closer in this walk
  } else {
    line->expandedFits = !line->cut && state.Expand(line->text, &line->expanded, false);
    if (!line->expandedFits) {
      line->verdict = kLineRefused;
    } else if (walk->action == kActionVersionCopy) {
      if (walk->versionCopyOpen && VersionCopySetting(line->expanded.c_str()) != 0) {
        line->verdict = kLineSetting;
      } else {
        walk->versionCopyOpen = false;
        line->verdict = kLineGated;
      }
    } else {
      line->verdict = kLineRuns;
    }
    // [Copy] lines whose joined paths do not fit their fields are refused.
    if ((line->verdict == kLineRuns && walk->action == kActionCopy) ||
        line->verdict == kLineGated) {
      std::vector<char> copy(line->expanded.begin(), line->expanded.end());
      copy.push_back('\0');
      char scratch[kLongPathSize], target[kPathFieldSize], source[kPathFieldSize];
      char* filter = nullptr;
      if (!SplitActionLine(copy.data(), kActionCopy, kPackageMarker, kInstallMarker, scratch,
                           target, source, &filter)) {
        line->verdict = kLineRefused;
      }
    }
  }
  return true;
}

void CheckWholeFile(CheckState* state) {
  const std::string& bytes = state->bytes;
  LineWalk walk;
  walk.verdicts = false;
  ScriptLine line;
  if (HasUtf16ByteOrderMark(bytes)) {
    state->Add(1, kError, "byte-order-mark",
               "the file is UTF-16 text: Setup reads 8-bit Windows-1250 text and finds no line "
               "it knows in it; save it in Windows-1250");
  } else if (HasUtf8ByteOrderMark(bytes)) {
    LineWalk first;
    first.verdicts = false;
    NextLine(*state, &first, &line);
    state->Add(1, kError, "byte-order-mark",
               "the file begins with a UTF-8 byte-order mark: Setup's line reader takes its "
               "three bytes as the start of line 1, so " +
                   Quote(line.text.size() > 3 ? line.text.substr(3) : "") +
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
  while (NextLine(*state, &walk, &line)) {
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
    std::string more = utf8Lines == 2 ? " (so does 1 more line)"
                       : utf8Lines > 2 ? " (so do " + std::to_string(utf8Lines - 1) + " more lines)"
                                       : "";
    state->Add(utf8Line, kWarning, "utf8-text",
               "the text looks like UTF-8" + more + ": " + Quote(utf8Example) +
                   " (shown here as Windows-1250) is one UTF-8 character, and Setup shows "
                   "each of its bytes as a Windows-1250 character; save the file in Windows-1250");
  }
}

namespace {

// A header and what stands under it up to the next one.
struct HeaderCount {
  bool open = false;
  ScriptLine header;
  int under = 0, acting = 0, settings = 0;
  std::string longLine;  // its own line-too-long finding, given after the header's
  Severity longSeverity = kWarning;
};

// What a header of no section was meant to be, remembered by its text (a
// script may repeat one many times).
std::string CachedMeantHeader(CheckState* state, const std::string& header, std::string* why) {
  static const size_t kKept = 256;
  auto known = state->meantHeaders.find(header);
  if (known != state->meantHeaders.end()) {
    *why = known->second.second;
    return known->second.first;
  }
  std::string meant = MeantHeader(header, why);
  if (state->meantHeaders.size() >= kKept) state->meantHeaders.clear();
  state->meantHeaders[header] = {meant, *why};
  return meant;
}

void CloseHeader(CheckState* state, const HeaderCount& count) {
  if (!count.open) return;
  const ScriptLine& line = count.header;
  int under = count.under, acting = count.acting, settings = count.settings;
  if (line.section == kSectionAction) {
    if (acting + settings == 0) {
      state->Add(line.number, kWarning, "section-empty",
                 Quote(line.text) + " has no lines: nothing happens in this section");
    } else if (acting == 0) {
      state->Add(line.number, kWarning, "section-empty",
                 Quote(line.text) + " has settings but no file line: nothing is copied");
    }
  } else if (line.verdict == kLineUnknownHeader) {
    std::string why;
    std::string meant = CachedMeantHeader(state, line.text, &why);
    std::string lines = under == 1 ? "the line under it is"
                                   : "the " + std::to_string(under) + " lines under it are";
    if (meant.empty()) {
      if (under > 0) {
        state->Add(line.number, kWarning, "section-unknown",
                   Quote(line.text) + " is no section Setup knows: " + lines + " skipped");
      }
    } else {
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
  }
  if (!count.longLine.empty()) {
    state->Add(line.number, count.longSeverity, "line-too-long", count.longLine);
  }
}

}  // namespace

void CheckHeaders(CheckState* state) {
  // Lines above the first header, counted first: their finding comes first.
  {
    LineWalk walk;
    walk.verdicts = false;
    ScriptLine line;
    int firstSkipped = 0, skippedAbove = 0;
    while (NextLine(*state, &walk, &line) && line.headerLine == 0) {
      if (line.verdict != kLineSkipped) continue;
      if (firstSkipped == 0) firstSkipped = line.number;
      ++skippedAbove;
    }
    if (skippedAbove > 0 && !HasUtf8ByteOrderMark(state->bytes)) {
      std::string more =
          skippedAbove > 1 ? " (and so are " + std::to_string(skippedAbove - 1) + " more lines)" : "";
      state->Add(firstSkipped, kWarning, "before-first-header",
                 "stands above the first section header: Setup skips it" + more);
    }
  }

  LineWalk walk;
  ScriptLine line;
  HeaderCount count;
  while (NextLine(*state, &walk, &line)) {
    bool header = line.verdict == kLineHeader || line.verdict == kLineUnknownHeader;
    if (header) {
      CloseHeader(state, count);
      count = HeaderCount();
      count.open = true;
      count.header = line;
    } else if (count.open) {
      if (line.verdict == kLineSkipped) ++count.under;
      if (line.verdict == kLineRuns || line.verdict == kLineGated || line.verdict == kLineRefused)
        ++count.acting;
      if (line.verdict == kLineSetting) ++count.settings;
    }

    // Lines longer than the reader takes.
    if (!line.cut || line.verdict == kLineComment) continue;
    size_t characters = 0;
    ReadableText(state->bytes, line.start, line.end, &characters);
    std::string length = std::to_string(characters);
    Severity severity = kWarning;
    std::string message;
    if (line.verdict == kLineRefused) {
      severity = kError;
      message = "is " + length + " characters long: Setup reads at most 1300 characters of a "
                "line and does not execute this one (message 46)";
    } else if (line.section == kSectionReadIni || line.section == kSectionReadReg) {
      severity = kError;
      message = "is " + length + " characters long: a definition longer than 1300 characters "
                "defines nothing";
    } else {
      message = "is " + length + " characters long: Setup's line reader keeps only its first "
                "1300 characters";
    }
    if (header) {
      count.longLine = message;
      count.longSeverity = severity;
    } else {
      state->Add(line.number, severity, "line-too-long", message);
    }
  }
  CloseHeader(state, count);
}
