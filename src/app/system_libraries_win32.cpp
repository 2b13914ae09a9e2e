// Loads shell32, comdlg32, ole32 and version on first use (see system_libraries.h).
#include "app/system_libraries.h"

#include "app/text.h"

namespace {

enum Library { kShell32, kComdlg32, kOle32, kVersion, kLibraryCount };

const char* const kLibraryFiles[kLibraryCount] = {"shell32.dll", "comdlg32.dll", "ole32.dll",
                                                  "version.dll"};

// A library stays loaded once loaded; a failed load is tried again next time.
HMODULE loadedLibraries[kLibraryCount];
const char* libraryDirectory = nullptr;  // null: the system directory

// The address of `name` in `library`, or null with the reason in GetLastError.
FARPROC FindFunction(Library library, const char* name) {
  HMODULE& module = loadedLibraries[library];
  if (!module) {
    // A full path: never a same-named file of the package directory.
    char path[MAX_PATH + 1];
    if (libraryDirectory) {
      CopyText(path, sizeof path, libraryDirectory);
    } else {
      UINT length = GetSystemDirectoryA(path, sizeof path);
      if (length == 0) return nullptr;
      if (length >= sizeof path) path[0] = '\0';
    }
    if (!path[0] || !AppendText(path, sizeof path, "\\") ||
        !AppendText(path, sizeof path, kLibraryFiles[library])) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return nullptr;
    }
    // The libraries it imports are looked for beside it first, in the
    // system directory, not beside the program.
    module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return nullptr;
  }
  return GetProcAddress(module, name);
}

// The function typed as the system declares it (calling convention included).
template <typename Function>
Function Find(Library library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(FindFunction(library, name)));
}

}  // namespace

BOOL LazyGetOpenFileNameA(OPENFILENAMEA* request) {
  auto function = Find<decltype(&GetOpenFileNameA)>(kComdlg32, "GetOpenFileNameA");
  return function ? function(request) : FALSE;
}

LPITEMIDLIST LazySHBrowseForFolderA(BROWSEINFOA* request) {
  auto function = Find<decltype(&SHBrowseForFolderA)>(kShell32, "SHBrowseForFolderA");
  return function ? function(request) : nullptr;
}

BOOL LazySHGetPathFromIDListA(LPCITEMIDLIST items, char* path) {
  auto function = Find<decltype(&SHGetPathFromIDListA)>(kShell32, "SHGetPathFromIDListA");
  return function ? function(items, path) : FALSE;
}

HRESULT LazySHGetSpecialFolderLocation(HWND owner, int csidl, LPITEMIDLIST* items) {
  auto function =
      Find<decltype(&SHGetSpecialFolderLocation)>(kShell32, "SHGetSpecialFolderLocation");
  if (function) return function(owner, csidl, items);
  if (items) *items = nullptr;
  return E_FAIL;
}

HRESULT LazySHGetMalloc(IMalloc** allocator) {
  auto function = Find<decltype(&SHGetMalloc)>(kShell32, "SHGetMalloc");
  if (function) return function(allocator);
  if (allocator) *allocator = nullptr;
  return E_FAIL;
}

HINSTANCE LazyShellExecuteA(HWND owner, const char* verb, const char* file,
                            const char* parameters, const char* directory, int show) {
  auto function = Find<decltype(&ShellExecuteA)>(kShell32, "ShellExecuteA");
  if (function) return function(owner, verb, file, parameters, directory, show);
  return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
}

BOOL LazyShellExecuteExA(SHELLEXECUTEINFOA* request) {
  auto function = Find<decltype(&ShellExecuteExA)>(kShell32, "ShellExecuteExA");
  return function ? function(request) : FALSE;
}

void LazyCoTaskMemFree(void* block) {
  if (!block) return;
  auto function = Find<decltype(&CoTaskMemFree)>(kOle32, "CoTaskMemFree");
  if (function) function(block);
}

DWORD LazyGetFileVersionInfoSizeA(const char* path, DWORD* handle) {
  auto function = Find<decltype(&GetFileVersionInfoSizeA)>(kVersion, "GetFileVersionInfoSizeA");
  return function ? function(path, handle) : 0;
}

BOOL LazyGetFileVersionInfoA(const char* path, DWORD handle, DWORD size, void* block) {
  auto function = Find<decltype(&GetFileVersionInfoA)>(kVersion, "GetFileVersionInfoA");
  return function ? function(path, handle, size, block) : FALSE;
}

BOOL LazyVerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* length) {
  auto function = Find<decltype(&VerQueryValueA)>(kVersion, "VerQueryValueA");
  return function ? function(block, subBlock, buffer, length) : FALSE;
}

void RestrictLibrarySearch() {
  // Windows 8 and 7 or Vista with KB2533623 have it; older systems start all
  // the same.
  typedef BOOL(WINAPI * SetDirectories)(DWORD);
  auto function = reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (function) function(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void SetSystemLibraryDirectory(const char* directory) {
  libraryDirectory = directory;
  for (HMODULE& module : loadedLibraries) module = nullptr;
}
