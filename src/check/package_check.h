// setupcheck: reads a package the way Setup reads it and reports every line
// that will not do what it seems to say.
#pragma once
#include <string>
#include <vector>

#include "check/check_platform.h"

enum Severity { kNote, kWarning, kError };

struct Finding {
  int line;             // as Setup's line reader counts lines, from 1
  Severity severity;
  std::string kind;     // a short stable name, e.g. "header-unknown"
  std::string message;  // Windows-1250 text, as the script's own bytes
};

// What Setup does with one line of the script.
enum LineVerdict {
  kLineEmpty,          // nothing on it
  kLineComment,
  kLineHeader,         // the header of a known section
  kLineUnknownHeader,  // begins with '[' but names no section
  kLineSkipped,        // not executed: outside the action sections
  kLineRuns,           // executed by its action
  kLineGated,          // a [VersionCopy] file line: copied when the version check passes
  kLineSetting,        // a [VersionCopy] setting (VerProg=, MinVer=, MaxVer=)
  kLineRefused         // an action line Setup does not execute (message 46)
};

struct LineReport {
  int line;
  LineVerdict verdict;
  int action;  // the action index of the section it stands in (0 outside)
};

struct CheckResult {
  bool readable = false;  // false: setup.dat could not be read
  std::string problem;    // why not
  std::vector<Finding> findings;  // in line order
  std::vector<LineReport> lines;  // one per line the reader returns
};

// Checks the package whose script is `scriptPath`; `packageDir` (ending in a
// separator) is where the package's files are looked for.
CheckResult CheckPackage(const std::string& scriptPath, const std::string& packageDir,
                         const CheckPlatform& platform);

// The verdict as a short English text ("runs", "skipped", ...).
const char* VerdictText(LineVerdict verdict);
