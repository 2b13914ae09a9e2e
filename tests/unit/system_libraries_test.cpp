// Functions of the libraries loaded on first use: when a library cannot be
// loaded, each call fails as the function itself fails, and a later call
// loads it once it can be found.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "app/installer_context.h"
#include "app/system_libraries.h"
#include "expand/expand.h"

namespace {

// Libraries come from a directory that does not exist while it lives.
class MissingLibraries {
 public:
  MissingLibraries() { SetSystemLibraryDirectory("C:\\no-such-directory"); }
  ~MissingLibraries() { SetSystemLibraryDirectory(nullptr); }
};

struct FailingCall {
  const char* name;
  bool (*failsAsItself)();  // calls it; true when it failed the function's way
  bool tellsWhy = true;     // GetLastError names the cause afterwards
};

const FailingCall kFailingCalls[] = {
    {"GetOpenFileNameA",
     [] {
       char file[MAX_PATH] = "";
       OPENFILENAMEA request;
       std::memset(&request, 0, sizeof request);
       request.lStructSize = sizeof request;
       request.lpstrFile = file;
       request.nMaxFile = sizeof file;
       return !LazyGetOpenFileNameA(&request);
     }},
    {"SHBrowseForFolderA",
     [] {
       BROWSEINFOA request;
       std::memset(&request, 0, sizeof request);
       return LazySHBrowseForFolderA(&request) == nullptr;
     }},
    {"SHGetSpecialFolderLocation",
     [] {
       LPITEMIDLIST items = reinterpret_cast<LPITEMIDLIST>(1);
       return FAILED(LazySHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &items)) &&
              items == nullptr;
     }},
    {"SHGetPathFromIDListA",
     [] {
       char path[MAX_PATH + 1] = "";
       ITEMIDLIST empty = {};
       return !LazySHGetPathFromIDListA(&empty, path);
     }},
    {"SHGetMalloc",
     [] {
       IMalloc* allocator = reinterpret_cast<IMalloc*>(1);
       return FAILED(LazySHGetMalloc(&allocator)) && allocator == nullptr;
     }},
    {"ShellExecuteA",
     [] {
       INT_PTR result = reinterpret_cast<INT_PTR>(
           LazyShellExecuteA(nullptr, "open", "C:\\windows", nullptr, nullptr, SW_HIDE));
       return result <= 32;
     }},
    {"ShellExecuteExA",
     [] {
       SHELLEXECUTEINFOA request;
       std::memset(&request, 0, sizeof request);
       request.cbSize = sizeof request;
       request.lpFile = "cmd.exe";
       request.lpParameters = "/c exit";
       return !LazyShellExecuteExA(&request);
     }},
    {"CoTaskMemFree (returns nothing; must not crash)",
     [] {
       LazyCoTaskMemFree(reinterpret_cast<void*>(16));
       return true;
     },
     false},
};

TEST(SystemLibraries, MissingLibraryFailsEachCallAsTheFunctionWould) {
  MissingLibraries missing;
  for (const FailingCall& call : kFailingCalls) {
    SCOPED_TRACE(call.name);
    SetLastError(0);
    EXPECT_TRUE(call.failsAsItself());
    if (call.tellsWhy) {
      EXPECT_NE(0u, GetLastError());
    }
  }
  // What the callers make of it: no folder, no program started.
  char path[MAX_PATH + 1] = "unchanged";
  EXPECT_FALSE(GetSpecialFolderPath(CSIDL_WINDOWS, path));
  EXPECT_FALSE(RunAndWait("cmd.exe", "/c exit"));
}

TEST(SystemLibraries, LoadsOnceTheLibraryCanBeFound) {
  char path[MAX_PATH + 1];
  {
    MissingLibraries missing;
    ASSERT_FALSE(GetSpecialFolderPath(CSIDL_WINDOWS, path));
  }
  char windows[MAX_PATH + 1];
  ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof windows));
  ASSERT_TRUE(GetSpecialFolderPath(CSIDL_WINDOWS, path));
  EXPECT_EQ(0, lstrcmpiA(windows, path));
}

}  // namespace
