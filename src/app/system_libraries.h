// Shell, common-dialog, COM and version functions that most runs never call.
// Their libraries are loaded from the system directory by full path when
// first needed, so a run that needs none of them never loads them (each
// costs start-up time and memory), and a same-named file beside Setup.exe
// (the package directory, a download folder) is never loaded instead: the
// libraries they need in turn come from the system directory as well. A
// library or function that cannot be loaded makes the call fail as the
// function itself fails; GetLastError then tells why.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winver.h>

// comdlg32
BOOL LazyGetOpenFileNameA(OPENFILENAMEA* request);
// shell32
LPITEMIDLIST LazySHBrowseForFolderA(BROWSEINFOA* request);
BOOL LazySHGetPathFromIDListA(LPCITEMIDLIST items, char* path);
HRESULT LazySHGetSpecialFolderLocation(HWND owner, int csidl, LPITEMIDLIST* items);
HRESULT LazySHGetMalloc(IMalloc** allocator);  // *allocator is null on failure
HINSTANCE LazyShellExecuteA(HWND owner, const char* verb, const char* file,
                            const char* parameters, const char* directory, int show);
BOOL LazyShellExecuteExA(SHELLEXECUTEINFOA* request);
// ole32
void LazyCoTaskMemFree(void* block);
// version
DWORD LazyGetFileVersionInfoSizeA(const char* path, DWORD* handle);
BOOL LazyGetFileVersionInfoA(const char* path, DWORD handle, DWORD size, void* block);
BOOL LazyVerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* length);

// At start: libraries that the system or a library loads by name alone are
// looked for in the system directory only (where the system offers that).
void RestrictLibrarySearch();

// For tests: load the libraries from `directory` (null: the system directory)
// and forget the ones loaded so far.
void SetSystemLibraryDirectory(const char* directory);
