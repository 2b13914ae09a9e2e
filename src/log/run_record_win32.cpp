// The run's record from the program's side: the switches that ask for it
// (/log PATH, /plan, /noboxes), the log's creation before anything else is
// read, its first and last events, and the location the run works with.
#include <cstring>

#include "actions/file_actions.h"
#include "actions/ini_file.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "expand/expand.h"
#include "log/run_log.h"

namespace {

const char kPlanFileName[] = "Setup-plan.log";
const int kLogPathLimit = 259;  // characters of a /log value

// The language of the package, read ahead of its options for the one
// message that comes before them.
int PackageLanguage() {
  char path[kLongPathSize];
  size_t length = std::strlen(CurrentDirectory(path));
  if (length == 0) return 1;
  if (!AppendText(path, sizeof path, path[length - 1] == '\\' ? "Setup.dat" : "\\Setup.dat")) {
    return 1;
  }
  IniFile script(path);
  return script.ReadInt("Options", "LangID", 1);
}

}  // namespace

bool InstallerContext::StartRunRecord() {
  noBoxes = FindSwitch("/noboxes", nullptr, -1);
  bool plan = FindSwitch("/plan", nullptr, -1);
  SetRunRehearsal(plan);
  logPath[0] = '\0';
  DWORD code = 0;
  if (FindSwitch("/log", nullptr, -1)) {
    // The switch counts whatever its value: a missing, overlong (more than
    // 259 characters, whatever the system would take) or switch-like value
    // is a log that cannot be made, not no log at all.
    if (!FindSwitch("/log", logPath, kLogPathLimit + 1)) {
      code = ERROR_FILENAME_EXCED_RANGE;
    } else if (logPath[0] == '\0' || logPath[0] == '/') {
      code = ERROR_INVALID_NAME;
    } else {
      OpenRunLog(logPath, &code);
    }
  } else if (plan) {
    planInTempFile = true;
    if (!GetTempDirectory(logPath) || !AppendText(logPath, sizeof logPath, kPlanFileName)) {
      code = ERROR_FILENAME_EXCED_RANGE;
    } else {
      OpenRunLog(logPath, &code);
    }
  }
  if (code != 0) {
    languageId = PackageLanguage();
    char codeText[16];
    FormatSystemError(code);
    FormatText(messageText, sizeof messageText, LoadMessage(50), logPath,
               SystemErrorOrCode(codeText, sizeof codeText));
    ShowBox(kBoxLogFailed, messageText, LoadMessage(4));
    endCause = "log";
    return false;
  }

  char self[MAX_PATH + 1];
  FileVersion version = {0, 0, 0, 0};
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    self[length] = '\0';
    GetFileVersion(self, &version);
  }
  char directory[MAX_PATH + 1];
  LogEvent("START", "Setup %u.%u.%u.%u; command line \"%s\"; directory \"%s\"; code page %u; "
           "language 0x%04x%s%s",
           version.major, version.minor, version.build, version.revision,
           commandLine ? commandLine : "", CurrentDirectory(directory), GetACP(),
           static_cast<unsigned>(GetUserDefaultUILanguage()),
           plan ? "; a rehearsal: nothing will be changed" : "",
           noBoxes ? "; boxes answered automatically" : "");
  return true;
}

namespace {

// The exit code once the log's fate is known: an installation whose log
// could not be completed ends with 5 where it would end with 0 (3 keeps its
// meaning: a service that retries on it must not install twice); a
// rehearsal, whose log is all it gives, with 1.
int AfterTheLog(InstallerContext& context, int exitCode) {
  if (!RunLogIncomplete()) return exitCode;
  if (RunIsRehearsal()) {
    context.endCause = "log";
    return kExitCancelled;
  }
  return exitCode == kExitInstalled ? kExitLogIncomplete : exitCode;
}

}  // namespace

int InstallerContext::FinishRunRecord(int exitCode) {
  exitCode = AfterTheLog(*this, exitCode);
  char cause[48] = "";
  if (exitCode == kExitCancelled && endCause) FormatText(cause, sizeof cause, " (%s)", endCause);
  bool rehearsal = RunIsRehearsal();
  LogEvent("END", "errors: %s; stopped: %s; %sexit code %d%s%s", errorsOccurred ? "yes" : "no",
           stopRequested ? "yes" : "no", rehearsal ? "predicted " : "", exitCode, cause,
           !rehearsal ? ""
           : noBoxes  ? ", with the boxes answered automatically"
                      : ", if every failure is answered with Ignore or Yes");
  CloseRunLog();
  // The END line itself may be the one that did not fit.
  return AfterTheLog(*this, exitCode);
}

void InstallerContext::LogChosenLocation(const char* how) {
  char directory[MAX_PATH + 1];
  LogEvent("LOCATION", "install directory \"%s\", program directory \"%s\", INI file \"%s\" (%s); "
           "current directory \"%s\"",
           installDir, programDir, iniFileName, how, CurrentDirectory(directory));
}
