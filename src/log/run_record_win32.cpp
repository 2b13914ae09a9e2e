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

void InstallerContext::FinishRunRecord(int exitCode) {
  LogEvent("END", "errors: %s; stopped: %s; exit code %d", errorsOccurred ? "yes" : "no",
           stopRequested ? "yes" : "no", exitCode);
  CloseRunLog();
}

void InstallerContext::LogChosenLocation(const char* how) {
  char directory[MAX_PATH + 1];
  LogEvent("LOCATION", "install directory \"%s\", program directory \"%s\", INI file \"%s\" (%s); "
           "current directory \"%s\"",
           installDir, programDir, iniFileName, how, CurrentDirectory(directory));
}
