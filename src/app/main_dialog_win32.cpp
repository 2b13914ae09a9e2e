// Dialog 101: shows the directories, starts the installation by itself or on
// Install, and hosts the status line while the script runs.
#include <cstring>

#include "app/installer_context.h"
#include "app/system_libraries.h"
#include "app/text.h"
#include "log/run_log.h"

namespace {

const int kFieldRead = 260;  // GetDlgItemTextA: 259 characters and the NUL

// The INI file picker's filter list; fixed Czech texts in Windows-1250.
const char kIniFilter[] =
    "Soubory Quillon.ini\0Quillon.ini\0"
    "V\x9a" "echny INI soubory\0*.ini\0"
    "V\x9a" "echny soubory\0*.*\0";

// Reads a directory field: unquoted and without final backslashes.
void ReadDirectoryField(HWND dialog, int id, char* buffer) {
  GetDlgItemTextA(dialog, id, buffer, kFieldRead);
  TrimChar(buffer, kFieldRead, '"', true);
  TrimChar(buffer, kFieldRead, '\\', false);
}

void OnInitDialog(HWND dialog) {
  installer.ownerWindow = dialog;
  HICON icon = LoadIconA(installer.resourceModule, MAKEINTRESOURCEA(IDI_MAIN));
  SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  if (!installer.StartRunRecord() || !installer.LoadConfiguration()) {
    EndDialog(dialog, 0);
  } else if (installer.noBoxes && installer.needUserChoice) {
    LogEvent("LOCATION", "the directories need a person to choose or confirm them: "
             "the installation does not start");
    installer.endCause = "no-installation";
    EndDialog(dialog, 0);
  }
  SetWindowTextA(dialog, installer.msgTitle);
  SetDlgItemTextA(dialog, IDC_INFO, installer.info);
  SetDlgItemTextA(dialog, IDC_LINK, installer.url);
  SetDlgItemTextA(dialog, IDC_INSTALLDIR, installer.installDir);
  SetDlgItemTextA(dialog, IDC_PROGRAMDIR, installer.programDir);
  SetDlgItemTextA(dialog, IDC_INSTALLDIR_LABEL, installer.LoadMessage(41));
  SetDlgItemTextA(dialog, IDC_PROGRAMDIR_LABEL, installer.LoadMessage(42));
  SetDlgItemTextA(dialog, IDOK, installer.LoadMessage(43));
  SetDlgItemTextA(dialog, IDCANCEL, installer.LoadMessage(44));
}

void OnInstall(HWND dialog) {
  char shownInstall[sizeof installer.installDir];
  char shownProgram[sizeof installer.programDir];
  CopyText(shownInstall, sizeof shownInstall, installer.installDir);
  CopyText(shownProgram, sizeof shownProgram, installer.programDir);
  ReadDirectoryField(dialog, IDC_INSTALLDIR, installer.installDir);
  ReadDirectoryField(dialog, IDC_PROGRAMDIR, installer.programDir);
  bool changed = std::strcmp(shownInstall, installer.installDir) != 0 ||
                 std::strcmp(shownProgram, installer.programDir) != 0;
  LogEvent("LOCATION", "Install pressed: the user %s the directories \"%s\" and \"%s\"",
           changed ? "changed" : "confirmed", installer.installDir, installer.programDir);
  char program[1301];
  if (FormatText(program, sizeof program, "%s\\quillon.exe", installer.programDir) &&
      FileExists(program)) {
    PostMessageA(dialog, WM_START_INSTALL, 0, 0);
    return;
  }
  installer.ShowBox(kBoxMissingProgram, installer.LoadMessage(40), installer.LoadMessage(10));
}

void OnBrowseIni(HWND dialog) {
  char directory[kFieldRead + 1];
  GetDlgItemTextA(dialog, IDC_INSTALLDIR, directory, kFieldRead);
  char fileName[kFieldRead + 1];
  // A proposal that would not fit the picker's buffer proposes the name alone.
  if (!FormatText(fileName, kFieldRead, "%s\\%s", directory, installer.iniFileName)) {
    CopyText(fileName, kFieldRead, installer.iniFileName);
  }
  OPENFILENAMEA request;
  std::memset(&request, 0, sizeof request);
  request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  request.hwndOwner = dialog;
  request.lpstrFilter = kIniFilter;
  request.nFilterIndex = 1;
  request.lpstrFile = fileName;
  request.nMaxFile = kFieldRead;
  request.lpstrInitialDir = directory;
  request.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  if (!LazyGetOpenFileNameA(&request)) return;

  char* lastBackslash = std::strrchr(fileName, '\\');
  if (lastBackslash) {
    CopyText(installer.iniFileName, sizeof installer.iniFileName, lastBackslash + 1);
    lastBackslash[1] = '\0';
  } else {
    CopyText(installer.iniFileName, sizeof installer.iniFileName, fileName);
    fileName[0] = '\0';
  }
  SetDlgItemTextA(dialog, IDC_INSTALLDIR, fileName);

  char candidate[kFieldRead + 1];
  ReadDirectoryField(dialog, IDC_INSTALLDIR, candidate);
  char program[kFieldRead + 1];
  program[0] = '\0';
  installer.DeriveProgramDir(candidate, program);
  if (program[0]) SetDlgItemTextA(dialog, IDC_PROGRAMDIR, program);
}

void OnBrowseProgram(HWND dialog) {
  char path[kFieldRead + 1];
  GetDlgItemTextA(dialog, IDC_PROGRAMDIR, path, kFieldRead);
  if (ChooseFolder(dialog, installer.LoadMessage(39), path)) {
    SetDlgItemTextA(dialog, IDC_PROGRAMDIR, path);
  }
}

// Returns 1 when the guard held the start back, else 0.
INT_PTR OnStartInstall(HWND dialog) {
  // The executor's message boxes pump messages: a second start request must
  // not run the script inside itself.
  if (installer.installing) return 0;
  if (!installer.WaitForAppClosed()) {
    // Nobody will press Install again.
    if (installer.noBoxes) EndDialog(dialog, 0);
    return 1;
  }
  installer.LogChosenLocation(installer.needUserChoice ? "checked or changed in the dialog"
                                                       : "found and confirmed");
  if (!installer.OfferUnfinishedJournal()) {
    // An undo at the start that stays incomplete ends like a run with failures.
    EndDialog(dialog, 1);
    return 0;
  }
  if (installer.hideWindow) ShowWindow(dialog, SW_HIDE);
  static const int kInputs[] = {IDC_INSTALLDIR_LABEL, IDC_INSTALLDIR, IDC_BROWSE_INI,
                                IDC_PROGRAMDIR_LABEL, IDC_PROGRAMDIR, IDC_BROWSE_PROGRAM,
                                IDOK, IDCANCEL};
  for (int id : kInputs) EnableWindow(GetDlgItem(dialog, id), FALSE);
  installer.RunScript();
  // A run that ended before its first action for a cause of its own (the
  // journal) installed nothing.
  if (!installer.installing) EndDialog(dialog, installer.endCause ? 0 : 1);
  return 0;
}

}  // namespace

bool ChooseFolder(HWND owner, const char* title, char* path) {
  char displayName[MAX_PATH + 1];
  BROWSEINFOA request;
  std::memset(&request, 0, sizeof request);
  request.hwndOwner = owner;
  request.pszDisplayName = displayName;
  request.lpszTitle = title;
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST chosen = LazySHBrowseForFolderA(&request);
  if (!chosen) return false;
  char chosenPath[MAX_PATH + 1];
  bool found = LazySHGetPathFromIDListA(chosen, chosenPath) != FALSE;
  LazyCoTaskMemFree(chosen);
  if (!found) return false;
  CopyText(path, kFieldRead + 1, chosenPath);
  return true;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return 0;
    case WM_SHOWWINDOW:
      if (wParam && !installer.needUserChoice) PostMessageA(dialog, WM_START_INSTALL, 0, 0);
      return 0;
    case WM_START_INSTALL:
      return OnStartInstall(dialog);
    case WM_CLOSE:
      return installer.installing ? 1 : 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (!installer.installing) OnInstall(dialog);
          return 0;
        case IDCANCEL:
          // A cancel that slips in while the script runs would end the
          // dialog under the executor's feet.
          if (!installer.installing) {
            installer.endCause = "cancelled";
            EndDialog(dialog, 0);
          }
          return 0;
        case IDC_BROWSE_INI:
          OnBrowseIni(dialog);
          return 0;
        case IDC_BROWSE_PROGRAM:
          OnBrowseProgram(dialog);
          return 0;
        case IDC_LINK:
          if (installer.url[0]) {
            LazyShellExecuteA(dialog, "open", installer.url, nullptr, nullptr, SW_SHOWNORMAL);
          }
          return 0;
      }
      return 0;
  }
  return 0;
}
