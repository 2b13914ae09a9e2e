// Holds the installation back while the main application runs; the user
// closes it, the guard only asks.
#include "app/installer_context.h"

void InstallerContext::FindAppWindow() {
  runningAppWindow = FindWindowA("TQuillonMainWindowFrm", nullptr);
  if (!runningAppWindow) runningAppWindow = FindWindowA("TMainWindowFrm", nullptr);
}

bool InstallerContext::WaitForAppClosed() {
  if (!killApp) return true;
  bool result = true;
  FindAppWindow();
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
  return result;
}
