// The yardstick of the start-up benchmark: the least a program with one
// modal dialog does on this platform. The dialog (an in-memory template, no
// controls) starts its own end when it is shown, as Setup's dialog starts
// the installation, and the program exits with code 0.
#include <windows.h>

namespace {

const UINT kEnd = WM_USER + 1;

INT_PTR CALLBACK BlankDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_SHOWWINDOW:
      if (wParam) PostMessageA(dialog, kEnd, 0, 0);
      return 0;
    case kEnd:
      EndDialog(dialog, 1);
      return 0;
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // DLGTEMPLATE, then empty menu, class and title (WORD-aligned, as required).
  struct {
    DLGTEMPLATE header;
    WORD menu, windowClass, title;
  } dialogTemplate = {};
  dialogTemplate.header.style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  dialogTemplate.header.cx = 252;
  dialogTemplate.header.cy = 114;
  INT_PTR result = DialogBoxIndirectParamA(instance, &dialogTemplate.header, nullptr,
                                           BlankDialogProc, 0);
  return result == 1 ? 0 : 1;
}
