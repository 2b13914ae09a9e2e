#include "script/line_split.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/script_reader.h"

namespace {

struct Split {
  char line[kLongPathSize];
  char scratchPath[kLongPathSize];
  char targetSpec[kPathFieldSize];
  char sourceDir[kPathFieldSize];
  char* copyFilter;
  bool ok;
};

void SplitInto(Split* s, const std::string& text, int action, const char* packageDir = "C:\\Pkg\\",
         const char* installDir = "D:\\App\\") {
  std::memset(s, 'Z', sizeof *s);
  std::strncpy(s->line, text.c_str(), sizeof s->line - 1);
  s->line[sizeof s->line - 1] = '\0';
  s->ok = SplitActionLine(s->line, action, packageDir, installDir, s->scratchPath, s->targetSpec,
                          s->sourceDir, &s->copyFilter);
}

}  // namespace

TEST(IsAbsolutePath, DoubleBackslashOrColon) {
  EXPECT_TRUE(IsAbsolutePath("C:\\x"));
  EXPECT_TRUE(IsAbsolutePath("\\\\server\\share"));
  EXPECT_TRUE(IsAbsolutePath("dir\\\\x"));
  EXPECT_TRUE(IsAbsolutePath("abc:def"));
  EXPECT_FALSE(IsAbsolutePath("\\x"));
  EXPECT_FALSE(IsAbsolutePath("bin\\x.dll"));
  EXPECT_FALSE(IsAbsolutePath(""));
}

TEST(SplitActionLine, CopyLineWithTargetAndExclusions) {
  Split s;
  SplitInto(&s, "bin\\*.dll=bin\\|old*.dll", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.line, "bin\\*.dll");
  EXPECT_STREQ(s.copyFilter, "old*.dll");
  EXPECT_STREQ(s.scratchPath, "C:\\Pkg\\bin\\*.dll");
  EXPECT_STREQ(s.targetSpec, "D:\\App\\bin\\");
  EXPECT_STREQ(s.sourceDir, "C:\\Pkg\\bin\\");

  SplitInto(&s, "*.dll|old*.dll", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.copyFilter, "old*.dll");
  EXPECT_STREQ(s.scratchPath, "C:\\Pkg\\*.dll");
  EXPECT_STREQ(s.targetSpec, "D:\\App\\");
  EXPECT_STREQ(s.sourceDir, "C:\\Pkg\\");

  // An '=' behind the bar belongs to the exclusion list.
  SplitInto(&s, "a.dll|x=y", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.copyFilter, "x=y");
  EXPECT_STREQ(s.targetSpec, "D:\\App\\");
}

TEST(SplitActionLine, TargetForms) {
  Split s;
  SplitInto(&s, "readme.txt=doc\\readme.txt", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(s.copyFilter, nullptr);
  EXPECT_STREQ(s.targetSpec, "D:\\App\\doc\\readme.txt");
  SplitInto(&s, "readme.txt=", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.targetSpec, "D:\\App\\");
  SplitInto(&s, "quillon.exe=E:\\Bin\\", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.targetSpec, "E:\\Bin\\");
  SplitInto(&s, "a=b=c", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.scratchPath, "C:\\Pkg\\a");
  EXPECT_STREQ(s.targetSpec, "D:\\App\\b=c");
}

TEST(SplitActionLine, SourceForms) {
  Split s;
  // A single leading backslash is relative.
  SplitInto(&s, "\\x.dll", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.scratchPath, "C:\\Pkg\\\\x.dll");
  // A colon anywhere makes the source absolute.
  SplitInto(&s, "dir\\a:b", kActionCopy);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.scratchPath, "dir\\a:b");
  // A root-of-drive source (last backslash at 2 or 3) reads from the package.
  SplitInto(&s, "E:\\*.txt", kActionCopy);
  EXPECT_STREQ(s.sourceDir, "C:\\Pkg\\");
  SplitInto(&s, "E:x\\*.txt", kActionCopy);
  EXPECT_STREQ(s.sourceDir, "C:\\Pkg\\");
  SplitInto(&s, "E:xy\\*.txt", kActionCopy);
  EXPECT_STREQ(s.sourceDir, "E:xy\\");
  SplitInto(&s, "\\\\srv\\share\\f.dll", kActionCopy);
  EXPECT_STREQ(s.sourceDir, "\\\\srv\\share\\");
  // Without a package directory a relative source stays as written.
  SplitInto(&s, "x.dll", kActionCopy, nullptr, nullptr);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.scratchPath, "x.dll");
}

TEST(SplitActionLine, EqualsCutOnlyBelowWriteIni) {
  Split s;
  SplitInto(&s, "notepad.exe 'a=b'", kActionRun);
  ASSERT_TRUE(s.ok);
  EXPECT_STREQ(s.line, "notepad.exe 'a");
  EXPECT_EQ(s.copyFilter, nullptr);
  SplitInto(&s, "C:\\t\\*.tmp=x", kActionDelete);
  EXPECT_STREQ(s.line, "C:\\t\\*.tmp");
  SplitInto(&s, "a|b=c", kActionDelete);  // the bar splits [Copy] lines only
  EXPECT_EQ(s.copyFilter, nullptr);
  EXPECT_STREQ(s.line, "a|b");
  for (int action = kActionWriteIni; action < kActionCount; ++action) {
    SplitInto(&s, "old=new|x", action);
    ASSERT_TRUE(s.ok);
    EXPECT_STREQ(s.line, "old=new|x") << action;
    EXPECT_EQ(s.copyFilter, nullptr);
    EXPECT_STREQ(s.scratchPath, "C:\\Pkg\\old=new|x");
    EXPECT_STREQ(s.targetSpec, "D:\\App\\");
  }
}

TEST(SplitActionLine, PathsThatDoNotFitAreRefusedNotCut) {
  Split s;
  // Target over 260 characters.
  SplitInto(&s, "a.dll=" + std::string(260 - 7, 'd'), kActionCopy);  // 7 + 253 = 260 fits
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(std::strlen(s.targetSpec), 260u);
  SplitInto(&s, "a.dll=" + std::string(254, 'd'), kActionCopy);
  EXPECT_FALSE(s.ok);
  EXPECT_STREQ(s.targetSpec, "");
  EXPECT_STREQ(s.scratchPath, "C:\\Pkg\\a.dll");

  // A source directory over 260 characters, though scratchPath fits.
  SplitInto(&s, std::string(300, 's') + "\\f.dll", kActionCopy);
  EXPECT_FALSE(s.ok);
  EXPECT_STREQ(s.sourceDir, "");
  EXPECT_EQ(std::strlen(s.scratchPath), 7u + 300u + 6u);

  // scratchPath over 1300 characters.
  SplitInto(&s, std::string(1300, 'p'), kActionCopy);
  EXPECT_FALSE(s.ok);
  EXPECT_STREQ(s.scratchPath, "");
  EXPECT_STREQ(s.sourceDir, "");
  SplitInto(&s, std::string(1293, 'p'), kActionCopy);
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(std::strlen(s.scratchPath), 1300u);

  // An install directory that leaves no room.
  std::string longInstall = "D:\\" + std::string(256, 'i') + "\\";
  SplitInto(&s, "a.dll=x", kActionCopy, "C:\\Pkg\\", longInstall.c_str());
  EXPECT_FALSE(s.ok);
  EXPECT_STREQ(s.targetSpec, "");
  SplitInto(&s, "a.dll", kActionCopy, "C:\\Pkg\\", longInstall.c_str());
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(std::string(s.targetSpec), longInstall);
}

TEST(VersionCopySetting, ExactPrefixes) {
  EXPECT_EQ(VersionCopySetting("MinVer=3.10.0.5:"), 1);
  EXPECT_EQ(VersionCopySetting("MaxVer=4:"), 2);
  EXPECT_EQ(VersionCopySetting("VerProg=C:\\q.exe"), 3);
  EXPECT_EQ(VersionCopySetting("minver=1:"), 0);
  EXPECT_EQ(VersionCopySetting("MinVer =1:"), 0);
  EXPECT_EQ(VersionCopySetting("MinVer"), 0);
  EXPECT_EQ(VersionCopySetting("quillon.exe={exe}"), 0);
  EXPECT_EQ(VersionCopySetting("VerProgram=C:\\q.exe"), 0);  // the '=' belongs to the key
}
