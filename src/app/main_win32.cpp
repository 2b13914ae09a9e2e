// The program entry: one modal dialog drives the whole run.
#include "app/installer_context.h"
#include "app/system_libraries.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  // A source on a drive without its medium fails like any missing file,
  // with Setup's own box (or, unattended, its answer), never the system's
  // box that waits for a person.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  RestrictLibrarySearch();
  installer.resourceModule = instance;
  installer.commandLine = commandLine;
  INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  // Result 1 means an installation ran; 0 a cancel, -1 a dialog that could
  // not be created: neither installed anything.
  return installer.FinishRunRecord(result == 1 ? installer.RunExitCode() : kExitCancelled);
}
