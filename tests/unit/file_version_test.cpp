// GetFileVersion on fixture programs with known version resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "unit/unit_support.h"
#include "version/version.h"

namespace {

using unit::FixturePath;

// Garbage first, so a reader that forgets to clear the parts is caught.
FileVersion Dirty() { return FileVersion{0xAAAA, 0xBBBB, 0xCCCC, 0xDDDD}; }

void ExpectVersion(const char* name, int major, int minor, int build, int revision) {
  SCOPED_TRACE(name);
  std::string path = FixturePath(name);
  FileVersion version = Dirty();
  EXPECT_TRUE(GetFileVersion(path.c_str(), &version)) << path;
  EXPECT_EQ(major, version.major);
  EXPECT_EQ(minor, version.minor);
  EXPECT_EQ(build, version.build);
  EXPECT_EQ(revision, version.revision);
}

void ExpectNoVersion(const std::string& path) {
  SCOPED_TRACE(path);
  FileVersion version = Dirty();
  EXPECT_FALSE(GetFileVersion(path.c_str(), &version));
  EXPECT_EQ(0, version.major);
  EXPECT_EQ(0, version.minor);
  EXPECT_EQ(0, version.build);
  EXPECT_EQ(0, version.revision);
}

// The fixtures' product versions differ from these file versions.
TEST(FileVersionTest, ReadsTheFixedFileVersion) {
  ExpectVersion("version_3_10_0_5.exe", 3, 10, 0, 5);
  ExpectVersion("version_2_0_14_3.exe", 2, 0, 14, 3);
  ExpectVersion("version_4_0_0_1.exe", 4, 0, 0, 1);
}

TEST(FileVersionTest, NoVersionGivesZerosAndFalse) {
  std::string noVersion = FixturePath("noversion.exe");
  FILE* file = std::fopen(noVersion.c_str(), "rb");
  ASSERT_NE(nullptr, file) << "fixture missing: " << noVersion;
  std::fclose(file);
  ExpectNoVersion(noVersion);
  ExpectNoVersion(FixturePath("does_not_exist.exe"));
  ExpectNoVersion("");

  // A plain text file is no program at all.
  char temp[MAX_PATH + 1];
  ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
  std::string text = std::string(temp) + "setup_version_" + std::to_string(GetCurrentProcessId()) +
                     ".txt";
  file = std::fopen(text.c_str(), "wb");
  ASSERT_NE(nullptr, file);
  std::fputs("not a program\r\n", file);
  std::fclose(file);
  ExpectNoVersion(text);
  DeleteFileA(text.c_str());
}

}  // namespace
