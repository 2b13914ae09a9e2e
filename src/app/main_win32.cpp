// The program entry: one modal dialog drives the whole run.
#include "app/installer_context.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  installer.resourceModule = instance;
  installer.commandLine = commandLine;
  INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  // Result 1 means an installation ran; 0 a cancel, -1 a dialog that could
  // not be created: neither installed anything.
  return installer.FinishRunRecord(result == 1 ? installer.RunExitCode() : kExitCancelled);
}
