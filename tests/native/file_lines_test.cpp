#include "actions/file_lines.h"

#include <gtest/gtest.h>

TEST(SplitRunLine, ProgramAndParameters) {
  char line1[] = "notepad.exe 'readme.txt' ignored";
  char* args = nullptr;
  SplitRunLine(line1, &args);
  EXPECT_STREQ(line1, "notepad.exe ");
  ASSERT_NE(args, nullptr);
  EXPECT_STREQ(args, "readme.txt");

  char line2[] = "prog.exe 'a b c";
  SplitRunLine(line2, &args);
  EXPECT_STREQ(line2, "prog.exe ");
  ASSERT_NE(args, nullptr);
  EXPECT_STREQ(args, "a b c");

  char line3[] = "C:\\p\\prog.exe /x";
  SplitRunLine(line3, &args);
  EXPECT_STREQ(line3, "C:\\p\\prog.exe /x");
  EXPECT_EQ(args, nullptr);

  char line4[] = "prog.exe ''";
  SplitRunLine(line4, &args);
  ASSERT_NE(args, nullptr);
  EXPECT_STREQ(args, "");
}

TEST(DeleteLine, LiteralExtension) {
  const char* ext = DeleteLineExtension("C:\\t\\*.tmp");
  ASSERT_NE(ext, nullptr);
  EXPECT_STREQ(ext, ".tmp");
  EXPECT_TRUE(DeleteNameMatches("a.tmp", ext));
  EXPECT_TRUE(DeleteNameMatches("A.TMP", ext));
  EXPECT_TRUE(DeleteNameMatches("x.y.tmp", ext));
  EXPECT_FALSE(DeleteNameMatches("a.tmpx", ext));
  EXPECT_FALSE(DeleteNameMatches("a.tmp.bak", ext));
  EXPECT_FALSE(DeleteNameMatches("tmp", ext));
  EXPECT_EQ(DeleteLineExtension("C:\\t\\file"), nullptr);
  EXPECT_STREQ(DeleteLineExtension("C:\\dir.d\\file"), ".d\\file");
  // An asterisk as the extension matches nothing literally.
  const char* star = DeleteLineExtension("C:\\t\\a.*");
  EXPECT_FALSE(DeleteNameMatches("a.txt", star));
  EXPECT_FALSE(DeleteNameMatches("a.txt", nullptr));
}

TEST(SplitMoveLine, NeedsEqualsNoWildcardsAndBothSides) {
  char line1[] = "old.txt=new.txt";
  char *oldName = nullptr, *newName = nullptr;
  ASSERT_TRUE(SplitMoveLine(line1, &oldName, &newName));
  EXPECT_STREQ(oldName, "old.txt");
  EXPECT_STREQ(newName, "new.txt");
  char line2[] = "a=b=c";
  ASSERT_TRUE(SplitMoveLine(line2, &oldName, &newName));
  EXPECT_STREQ(newName, "b=c");
  char line3[] = "*.txt=x";
  EXPECT_FALSE(SplitMoveLine(line3, &oldName, &newName));
  char line4[] = "a=x?";
  EXPECT_FALSE(SplitMoveLine(line4, &oldName, &newName));
  char line5[] = "a.txt";
  EXPECT_FALSE(SplitMoveLine(line5, &oldName, &newName));
  char line6[] = "=b";
  EXPECT_FALSE(SplitMoveLine(line6, &oldName, &newName));
  char line7[] = "a=";
  EXPECT_FALSE(SplitMoveLine(line7, &oldName, &newName));
  EXPECT_EQ(oldName, nullptr);
}
