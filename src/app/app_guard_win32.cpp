// Holds the installation back while the main application runs; the user
// closes it, the guard only asks.
#include "app/installer_context.h"
#include "log/run_log.h"

void InstallerContext::FindAppWindow() {
  runningAppWindow = FindWindowA("TQuillonMainWindowFrm", nullptr);
  if (!runningAppWindow) runningAppWindow = FindWindowA("TMainWindowFrm", nullptr);
}

namespace {
const int kUnattendedWaitSeconds = 60;
}  // namespace

bool InstallerContext::WaitForAppClosed() {
  if (!killApp) return true;
  FindAppWindow();
  if (RunIsRehearsal()) {
    // Whether it is closed in time cannot be foreseen: the plan goes on.
    LogEvent("PLAN GUARD", !runningAppWindow ? "Quillon is not running: the installation would "
                                               "start at once"
                           : noBoxes ? "Quillon is running: the run would wait up to 60 s for it "
                                       "to be closed, else end with exit code 1 (quillon-running)"
                                     : "Quillon is running: the installation would wait until it "
                                       "is closed");
    return true;
  }
  if (noBoxes) {
    // Nobody can be asked to close it: look once a second for a while.
    if (!runningAppWindow) return true;
    LogEvent("GUARD", "Quillon is running: waiting up to %d s for it to be closed",
             kUnattendedWaitSeconds);
    for (int second = 0; second < kUnattendedWaitSeconds && runningAppWindow; ++second) {
      Sleep(1000);
      FindAppWindow();
    }
    LogEvent("GUARD", runningAppWindow ? "Quillon still runs: the installation does not start"
                                       : "Quillon was closed");
    if (runningAppWindow) endCause = "quillon-running";
    return runningAppWindow == nullptr;
  }
  bool result = true;
  if (runningAppWindow) {
    if (ShowBox(kBoxAppRunning, LoadMessage(1), LoadMessage(2)) == IDCANCEL) {
      result = false;
    } else {
      SetForegroundWindow(runningAppWindow);
    }
  }
  FindAppWindow();
  while (result && runningAppWindow) {
    if (ShowBox(kBoxAppRunning, LoadMessage(3), LoadMessage(2)) == IDCANCEL) {
      result = false;
    } else {
      FindAppWindow();
    }
  }
  // A cancel followed by Install again is no longer why the run ends.
  endCause = result ? nullptr : "cancelled";
  return result;
}
