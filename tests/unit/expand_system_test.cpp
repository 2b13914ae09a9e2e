// Shell folders and the temporary directory as the system gives them.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>

#include "expand/expand.h"

namespace {

bool IsDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(ExpandSystemTest, TempDirectoryEndsInBackslashAndExists) {
  char path[MAX_PATH + 1];
  std::memset(path, 'x', sizeof path);
  ASSERT_TRUE(GetTempDirectory(path));
  size_t length = std::strlen(path);
  ASSERT_GT(length, 0u);
  EXPECT_EQ('\\', path[length - 1]);
  EXPECT_TRUE(IsDirectory(path)) << path;
}

TEST(ExpandSystemTest, SpecialFolderPaths) {
  char path[MAX_PATH + 1];
  for (int csidl : {CSIDL_APPDATA, CSIDL_PERSONAL, CSIDL_WINDOWS, CSIDL_SYSTEM}) {
    SCOPED_TRACE(csidl);
    std::memset(path, 'x', sizeof path);
    ASSERT_TRUE(GetSpecialFolderPath(csidl, path));
    EXPECT_TRUE(IsDirectory(path)) << path;
  }
  char windows[MAX_PATH + 1];
  ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof windows));
  ASSERT_TRUE(GetSpecialFolderPath(CSIDL_WINDOWS, path));
  EXPECT_EQ(0, lstrcmpiA(windows, path));
}

TEST(ExpandSystemTest, UnknownFolderIsNotAvailable) {
  char path[MAX_PATH + 1] = "unchanged";
  EXPECT_FALSE(GetSpecialFolderPath(0x7F, path));
  // Not a file-system folder: the control panel.
  EXPECT_FALSE(GetSpecialFolderPath(CSIDL_CONTROLS, path));
}

}  // namespace
