// Placeholder expansion against the real system: version resources, shell
// folders and the temporary directory as Wine gives them.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "expand/expand.h"
#include "unit/unit_support.h"

namespace {

using unit::FixturePath;

std::string Expand(const std::string& text, const std::string& programDir) {
  char buffer[1301];
  EXPECT_LT(text.size(), sizeof buffer);
  lstrcpynA(buffer, text.c_str(), sizeof buffer);
  char* none[kDefinitionSlots] = {nullptr};
  EXPECT_TRUE(ExpandPlaceholders(buffer, sizeof buffer, "P:\\pkg\\", "D:\\Apps\\Quillon\\",
                                 programDir.c_str(), "Quillon.ini", none, none, nullptr));
  return buffer;
}

TEST(ExpandWineTest, FileVersionOfTheProgramInTheProgramDirectory) {
  unit::TempDir dir;
  const std::string program = dir.path() + "\\";
  ASSERT_TRUE(CopyFileA(FixturePath("version_2_0_14_3.exe").c_str(), dir.File("quillon.exe").c_str(), FALSE));
  EXPECT_EQ(Expand("{fver={exe}quillon.exe}", program), "2.0.14.3");
  EXPECT_EQ(Expand("v{FVER={exe}QUILLON.EXE}", program), "v2.0.14.3");

  ASSERT_TRUE(CopyFileA(FixturePath("version_3_10_0_5.exe").c_str(), dir.File("quillon.exe").c_str(), FALSE));
  EXPECT_EQ(Expand("{fver={exe}quillon.exe}", program), "3.10.0.5");

  ASSERT_TRUE(CopyFileA(FixturePath("noversion.exe").c_str(), dir.File("plain.exe").c_str(), FALSE));
  EXPECT_EQ(Expand("{fver={exe}plain.exe}", program), "0.0.0.0");
  EXPECT_EQ(Expand("{fver={exe}missing.exe}", program), "0.0.0.0");
}

TEST(ExpandWineTest, FileVersionPathThroughTheTemporaryDirectory) {
  unit::TempDir dir;
  ASSERT_TRUE(CopyFileA(FixturePath("version_4_0_0_1.exe").c_str(), dir.File("q.exe").c_str(), FALSE));
  char temp[MAX_PATH + 1];
  ASSERT_TRUE(GetTempDirectory(temp));
  std::string path = dir.File("q.exe");
  ASSERT_EQ(0, _strnicmp(path.c_str(), temp, std::strlen(temp))) << path;
  EXPECT_EQ(Expand("{fver=$TEMP$" + path.substr(std::strlen(temp)) + "}", "C:\\"), "4.0.0.1");
}

TEST(ExpandWineTest, ShellFoldersEndInExactlyOneBackslash) {
  const struct {
    const char* placeholder;
    int csidl;
  } folders[] = {{"{desktop}", CSIDL_DESKTOPDIRECTORY},
                 {"{programs}", CSIDL_PROGRAMS},
                 {"{programfiles}", CSIDL_PROGRAM_FILES}};
  for (const auto& folder : folders) {
    SCOPED_TRACE(folder.placeholder);
    char path[MAX_PATH + 1];
    ASSERT_TRUE(GetSpecialFolderPath(folder.csidl, path));
    std::string expanded = Expand(std::string(folder.placeholder) + "x.lnk", "C:\\");
    std::string bare = path;
    while (!bare.empty() && bare.back() == '\\') bare.pop_back();
    EXPECT_EQ(expanded, bare + "\\x.lnk");
  }
  EXPECT_EQ(Expand("{Desktop}x", "C:\\"), "x");
}

TEST(ExpandWineTest, TemporaryDirectoryVariable) {
  char temp[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof temp, temp);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(Expand("$TEMP$setup.log", "C:\\"), std::string(temp) + "setup.log");
  EXPECT_EQ(Expand("$temp$", "C:\\"), temp);
  EXPECT_EQ(Expand("$TEMP", "C:\\"), "$TEMP");
}

TEST(ExpandWineTest, SiblingModuleBesideTheInstallation) {
  unit::TempDir dir;
  ASSERT_TRUE(CreateDirectoryA(dir.File("Q").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(dir.File("Q\\bin").c_str(), nullptr));
  const std::string program = dir.File("Q\\bin\\");
  EXPECT_EQ(Expand("[$VELMORA$]", program), "[]");
  ASSERT_TRUE(CreateDirectoryA(dir.File("Q\\Velmora26").c_str(), nullptr));
  dir.Write("Q\\Velmora26\\Velmora26.exe", "MZ");
  EXPECT_EQ(Expand("[$VELMORA$]", program), "[" + dir.File("Q\\Velmora26\\Velmora26.exe") + "]");
  EXPECT_EQ(Expand("$EXEDIR$", program), dir.File("Q\\bin"));
}

}  // namespace
