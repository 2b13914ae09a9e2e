// Shell, common-dialog and COM functions that most runs never call. Their
// libraries are loaded from the system directory when first needed, so a run
// that needs none of them never loads them (each costs start-up time and
// memory). A library or function that cannot be loaded makes the call fail
// as the function itself fails; GetLastError then tells why.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

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

// For tests: load the libraries from `directory` (null: the system directory)
// and forget the ones loaded so far.
void SetSystemLibraryDirectory(const char* directory);
