// setupcheck: reads a package the way Setup reads it and reports every line
// that will not do what it seems to say.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "check/check_platform.h"

// The largest script setupcheck reads (far beyond any real package): a
// larger one, or a device that never ends, is refused unread.
const size_t kMaxScriptBytes = 16u << 20;
// The most findings setupcheck gives: the first by line. With more, it
// stops checking after the line that brought the last of them.
const size_t kMaxFindings = 1000;

enum Severity { kNote, kWarning, kError };

struct Finding {
  int line;             // as Setup's line reader counts lines, from 1
  Severity severity;
  std::string kind;     // a short stable name, e.g. "header-unknown"
  std::string message;  // Windows-1250 text, as the script's own bytes
  int editorLine;       // the same line as an editor counts lines (LF ends one too)
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

// Receives each line's report in order while the check runs (a script may
// have millions of lines: they are not kept).
struct LineSink {
  void (*take)(void* context, const LineReport& report);
  void* context;
};

struct CheckResult {
  bool readable = false;  // false: setup.dat could not be read
  std::string problem;    // why not
  std::vector<Finding> findings;  // in line order, about kMaxFindings at most
  int errors = 0;                 // among the findings
  int warnings = 0;
  int stoppedAfterLine = 0;  // with too many findings: the last line checked, else 0
};

// Checks the package whose script is `scriptPath`; `packageDir` (ending in a
// separator) is where the package's files are looked for. `lines`, when
// given, receives what Setup does with each line.
CheckResult CheckPackage(const std::string& scriptPath, const std::string& packageDir,
                         const CheckPlatform& platform, const LineSink* lines = nullptr);

// The verdict as a short English text ("runs", "skipped", ...).
const char* VerdictText(LineVerdict verdict);
