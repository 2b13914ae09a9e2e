// The checker's working state, shared by its parts: the script's lines as
// Setup's reader returns them, what Setup does with each, and the findings.
#pragma once
#include <string>
#include <vector>

#include "check/check_platform.h"
#include "check/package_check.h"
#include "expand/expand.h"
#include "version/version.h"

// The kind of section a header opens, for Setup's line readers.
enum SectionKind {
  kSectionNone,     // above the first header
  kSectionAction,   // one of the ten action sections
  kSectionOptions,  // [Options]
  kSectionReadIni,  // [ReadIni] = [readini]
  kSectionReadReg,  // [readreg]
  kSectionUnknown   // a header of no known section
};

struct ScriptLine {
  int number;
  std::string text;  // as the reader returns it: at most 1300 characters
  bool cut;          // the line was longer and is cut
  size_t start;      // its bytes in the file: [start, end)
  size_t end;
  SectionKind section;  // of the section it stands in; a header's own kind
  int headerLine;       // that section's header line, 0 above the first
  LineVerdict verdict;
  int action;            // action index of the section, as the executor keeps it
  std::string expanded;  // action and definition lines: with the short stand-ins
  bool expandedFits;
};

struct CheckState {
  const CheckPlatform* platform;
  std::string scriptPath;
  std::string packageDir;
  std::string bytes;
  std::vector<ScriptLine> lines;
  std::vector<Finding> findings;
  DateValue date;  // Date as Setup parses it
  bool dateGiven;
  // Names of the well-formed definition lines, in order.
  std::vector<std::string> iniNames;
  std::vector<std::string> regNames;
  // Lines the definition readers take: [readini] and [readreg] lines.
  std::vector<int> definitionLines;

  void Add(int line, Severity severity, const char* kind, const std::string& message);
  // The line that holds byte `offset` of the file.
  int LineAt(size_t offset) const;
  const ScriptLine* Line(int number) const;
  // Expands text with the stand-ins (short ones, or the longest); false when
  // the result does not fit a line. Definition lines see no definitions.
  bool Expand(const std::string& text, std::string* out, bool longest,
              bool withDefinitions = true) const;
  // Whether the package directory holds what `relative` (a Windows path,
  // wildcards in its last part) names.
  bool Find(const std::string& relative, std::vector<FoundEntry>* found) const;
};

// --- the parts of the checker, in the order they run ---
bool ReadScriptLines(CheckState* state, std::string* problem);  // script_lines.cpp
void ReadPackageDate(CheckState* state);                        // check_options.cpp
void CheckWholeFile(CheckState* state);                         // script_lines.cpp
void WalkSections(CheckState* state);                           // script_lines.cpp
void CheckHeaders(CheckState* state);                           // script_lines.cpp
void CheckDefinitions(CheckState* state);                       // check_definitions.cpp
void CheckOptions(CheckState* state);                           // check_options.cpp
void CheckActionLines(CheckState* state);                       // check_actions.cpp
void CheckPlaceholders(CheckState* state);                      // check_definitions.cpp
// Placeholders and variables of one text that Setup expands (an option
// value, a line). `withoutDefinitions` names a text expanded while no
// definition is known ("definition lines" ...), else it is empty.
void CheckPlaceholdersIn(CheckState* state, int line, const std::string& text,
                         const std::string& withoutDefinitions);

// --- shared helpers (check_text.cpp) ---
// 'text' quoted for a message, shortened when long.
std::string Quote(const std::string& text);
// Edit distance of two texts, ASCII letters folded.
int EditDistance(const std::string& a, const std::string& b);
// The candidate closest to `word` (at most `limit` edits), or "".
std::string Closest(const std::string& word, const std::vector<std::string>& candidates,
                    int limit);
// Index of the first `c` in text outside brace groups, or npos.
size_t IndexOutsideGroups(const std::string& text, char c);
// The effective range of a parsed version bound, as a sentence; `files`
// for a [VersionCopy] bound, whose refusal skips the section's files.
std::string DescribeBound(const char* key, const std::string& text, const VersionBound& bound,
                          bool maximum, bool files);
// Checks a bound text (version:message) for Setup's version gate.
void CheckBound(CheckState* state, int line, const char* key, const std::string& value,
                bool maximum, bool files);
// Checks a VerProg path.
void CheckVerProg(CheckState* state, int line, const std::string& value);
