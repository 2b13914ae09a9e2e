// The checker's working state, shared by its parts: the script's bytes, a
// walk over its lines as Setup's reader returns them (with what the executor
// does with each), and the findings. Nothing is kept per line, so a script
// of millions of lines costs no more memory than its bytes.
#pragma once
#include <map>
#include <set>
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
  int number = 0;
  std::string text;  // as the reader returns it: at most 1300 characters
  bool cut = false;  // the line was longer and is cut
  size_t start = 0;  // its bytes in the file: [start, end)
  size_t end = 0;
  SectionKind section = kSectionNone;  // of the section it stands in; a header's own kind
  int headerLine = 0;                  // that section's header line, 0 above the first
  std::string headerText;              // and its text
  LineVerdict verdict = kLineEmpty;
  int action = 0;        // action index of the section, as the executor keeps it
  std::string expanded;  // action lines: with the short stand-ins
  bool expandedFits = true;
};

// A walk over the script's lines; with `verdicts`, each line also gets what
// the executor does with it (which costs its expansion).
struct LineWalk {
  bool verdicts = true;
  bool toTheEnd = false;  // also past the line where checking stopped
  size_t offset = 0;
  int number = 0;
  bool ended = false;
  int action = 0;
  bool versionCopyOpen = false;  // before the first file line of a [VersionCopy]
  SectionKind section = kSectionNone;
  int headerLine = 0;
  std::string headerText;
};

// name=value entries for ExpandPlaceholders, and the table that points at them.
struct StandInTable {
  std::vector<std::string> entries;
  char* slots[kDefinitionSlots] = {};
  void Fill(const std::vector<std::string>& names, const std::string& value);
};

// The names a definition section defines: the first ten in order (they
// stand in for the table Setup fills), all of them folded for look-ups, up
// to a bound that no real package reaches.
struct DefinitionNames {
  std::vector<std::string> first;
  std::set<std::string> folded;
  std::vector<std::string> spelled;  // as first written, in order, for suggestions
  bool overflow = false;             // more names than kept: unknown names are not reported
};

struct CheckState {
  const CheckPlatform* platform = nullptr;
  std::string scriptPath;
  std::string packageDir;
  std::string bytes;
  DateValue date = {false, 0, 0, 0, 0};  // Date as Setup parses it
  bool dateGiven = false;
  bool noDir = false;  // NoDir=1: the current directory stays the package directory
  DefinitionNames iniNames, regNames;
  StandInTable iniShort, regShort, iniLong, regLong, none;

  // Findings: the first kMaxFindings by line; once there are more, lines
  // after cutoffLine are no longer checked.
  std::vector<Finding> findings;
  int cutoffLine = 0;

  void Add(int line, Severity severity, const char* kind, const std::string& message);
  // Sorts the findings by line and keeps the first kMaxFindings (with all
  // of the last line kept).
  void TrimFindings();
  // Expands text with the stand-ins (short ones, or the longest); false when
  // the result does not fit a line. Definition lines see no definitions.
  bool Expand(const std::string& text, std::string* out, bool longest,
              bool withDefinitions = true) const;
  // Whether the package directory holds what `relative` (a Windows path,
  // wildcards in its last part) names.
  bool Find(const std::string& relative, std::vector<FoundEntry>* found) const;
  // The package's files whose name is `name` (a name without a path), as
  // paths relative to the package; found by walking the package's tree.
  std::vector<std::string> PackageFilesNamed(const std::string& name) const;
  mutable std::vector<std::string> packageFiles;  // relative paths, filled on first use
  mutable bool packageFilesRead = false;
  // Searches made, by pattern: a script repeats its lines (a few thousand
  // are kept at a time).
  struct Search {
    bool found;
    std::vector<FoundEntry> entries;
  };
  mutable std::map<std::string, Search> searches;
  // Headers of no section and what each was meant to be, and why not.
  std::map<std::string, std::pair<std::string, std::string>> meantHeaders;
};

// The next line of the walk into *line; false after the last one.
bool NextLine(const CheckState& state, LineWalk* walk, ScriptLine* line);
// The line that holds a byte of the file (lines end at CR), for offsets
// asked in increasing order.
struct LineCounter {
  size_t offset = 0;
  int line = 1;
  int At(const std::string& bytes, size_t target);
};

// --- the parts of the checker, in the order they run ---
bool ReadScript(CheckState* state, std::string* problem);  // script_lines.cpp
void ReadPackageDate(CheckState* state);                   // check_options.cpp
void CheckWholeFile(CheckState* state);                    // script_lines.cpp
void CheckDefinitions(CheckState* state);                  // check_definitions.cpp
void CheckHeaders(CheckState* state);                      // script_lines.cpp
void CheckOptions(CheckState* state);                      // check_options.cpp
void CheckActionLines(CheckState* state);                  // check_actions.cpp
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
// The candidate `word` was probably meant to be: the closest within `limit`
// edits, or one that the word abbreviates or spells out (ByeMessage for
// ByeMsg, DeleteReg for DelReg); "" when none is near.
std::string Suggest(const std::string& word, const std::vector<std::string>& candidates,
                    int limit);
// Index of the first `c` in text outside brace groups, or npos.
size_t IndexOutsideGroups(const std::string& text, char c);
// The fields of a line cut at each `c` outside brace groups: the author's
// text of each field that Setup cuts from the expanded line (placeholders
// give no separators).
std::vector<std::string> FieldsOutsideGroups(const std::string& text, char c);
// The effective range of a parsed version bound, as a sentence; `files`
// for a [VersionCopy] bound, whose refusal skips the section's files.
std::string DescribeBound(const char* key, const std::string& text, const VersionBound& bound,
                          bool maximum, bool files);
// Checks a bound text (version:message) for Setup's version gate.
void CheckBound(CheckState* state, int line, const char* key, const std::string& value,
                bool maximum, bool files);
// Checks a VerProg path.
void CheckVerProg(CheckState* state, int line, const std::string& value);
// Warns when a text Setup shows looks saved in ISO-8859-2.
void CheckTextCodePage(CheckState* state, int line, const char* what, const std::string& text);
