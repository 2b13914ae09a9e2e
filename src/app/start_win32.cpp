// Where the process starts (the linker's entry point), instead of the MinGW
// runtime's start-up code: that brings TLS callbacks, a pseudo-relocator, an
// exception filter and argument parsing that the program does not use, and
// costs several KB of Setup.exe. msvcrt.dll has initialised itself (heap,
// stdio) before this runs; exit() runs the destructors the constructors
// registered and flushes the streams.
// Built without link-time optimisation: ld needs one ordinary object in a
// link without start-up files.
#include <windows.h>

#include <cstdlib>

#include "config/command_line.h"

extern "C" {
extern IMAGE_DOS_HEADER __ImageBase;
// The linker's list of static constructors: -1, the functions, 0.
extern void (*__CTOR_LIST__[])();
__declspec(dllimport) void __cdecl __set_app_type(int type);

// Static objects register their destructors here; the runtime's start-up
// code, which defined it, is not linked. msvcrt.dll's exit() runs the list.
int __cdecl atexit(void(__cdecl* function)()) {
  return _onexit(reinterpret_cast<_onexit_t>(function)) ? 0 : -1;
}

void SetupStart() {
  __set_app_type(2);  // a GUI program: the runtime reports fatal errors in a box
  int count = 0;
  while (__CTOR_LIST__[count + 1]) ++count;
  while (count > 0) __CTOR_LIST__[count--]();  // the last first, as GCC's runtime does
  std::exit(WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr,
                    const_cast<char*>(CommandTail(GetCommandLineA())), SW_SHOWDEFAULT));
}
}
