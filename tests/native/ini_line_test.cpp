#include "actions/ini_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "native/support/ini_record.h"

namespace {

// Applies one line and returns how many changes it asked for.
int Apply(const std::string& text, bool deleteFlag) {
  char line[1301];
  std::strncpy(line, text.c_str(), sizeof line - 1);
  line[sizeof line - 1] = '\0';
  IniRecordClear();
  ApplyIniLine(line, deleteFlag);
  return IniRecordCount();
}

void ExpectWrite(const std::string& text, const char* file, const char* section, const char* key,
                 const char* value) {
  ASSERT_EQ(Apply(text, false), 1) << text;
  const IniRecordedChange* change = IniRecordAt(0);
  ASSERT_NE(change, nullptr);
  EXPECT_FALSE(change->remove);
  EXPECT_TRUE(change->valueGiven);
  EXPECT_STREQ(change->file, file) << text;
  EXPECT_STREQ(change->section, section) << text;
  EXPECT_STREQ(change->key, key) << text;
  EXPECT_STREQ(change->value, value) << text;
}

void ExpectDelete(const std::string& text, const char* file, const char* section, const char* key) {
  ASSERT_EQ(Apply(text, true), 1) << text;
  const IniRecordedChange* change = IniRecordAt(0);
  ASSERT_NE(change, nullptr);
  EXPECT_TRUE(change->remove);
  EXPECT_FALSE(change->valueGiven);
  EXPECT_STREQ(change->file, file) << text;
  EXPECT_STREQ(change->section, section) << text;
  EXPECT_STREQ(change->key, key) << text;
}

}  // namespace

TEST(WriteIniLine, WritesOneEntry) {
  ExpectWrite("D:\\App\\app.ini=Main;Path;D:\\Data", "D:\\App\\app.ini", "Main", "Path", "D:\\Data");
  ExpectWrite("f=s;k;v", "f", "s", "k", "v");
  // Blanks and further '=' belong to the fields.
  ExpectWrite("f = s ;k=1; v ", "f ", " s ", "k=1", " v ");
}

TEST(WriteIniLine, ValueKeepsInnerSemicolonsAndLosesOneTrailing) {
  ExpectWrite("f=s;k;a;b", "f", "s", "k", "a;b");
  ExpectWrite("f=s;k;a;b;", "f", "s", "k", "a;b");
  ExpectWrite("f=s;k;a;b;;", "f", "s", "k", "a;b;");
  ExpectWrite("f=s;k;;", "f", "s", "k", "");  // empty value
  ExpectWrite("f=s;k;x", "f", "s", "k", "x");
}

TEST(WriteIniLine, IncompleteLinesWriteNothing) {
  EXPECT_EQ(Apply("D:\\App\\app.ini=Main;Path;", false), 0);
  EXPECT_EQ(Apply("f=s;k", false), 0);
  EXPECT_EQ(Apply("f=s;", false), 0);
  EXPECT_EQ(Apply("f=s", false), 0);
  EXPECT_EQ(Apply("f=", false), 0);
  EXPECT_EQ(Apply("no equals sign;k;v", false), 0);
  EXPECT_EQ(Apply("", false), 0);
  // The character after '=' opens the section even when it is ';'.
  EXPECT_EQ(Apply("f=;k;v", false), 0);
  ExpectWrite("f=;k;v;w", "f", ";k", "v", "w");
  // No line: every field of the change is empty.
  IniLineChange change;
  std::memset(&change, 'x', sizeof change);
  EXPECT_FALSE(ScanIniLine(nullptr, false, &change));
  EXPECT_STREQ(change.section, "");
  EXPECT_STREQ(change.key, "");
  EXPECT_STREQ(change.value, "");
  char whole[] = "f=s;k;v";
  EXPECT_FALSE(ScanIniLine(whole, false, nullptr));  // nowhere to put the fields
}

TEST(WriteIniLine, LineIsCutAtFirstEquals) {
  char line[] = "f=s;k;v";
  IniLineChange change;
  ASSERT_TRUE(ScanIniLine(line, false, &change));
  EXPECT_EQ(change.file, line);
  EXPECT_STREQ(line, "f");
  EXPECT_FALSE(change.remove);
}

TEST(DelIniLine, DeletesKeyOrSection) {
  ExpectDelete("D:\\App\\app.ini=Main;Path", "D:\\App\\app.ini", "Main", "Path");
  ExpectDelete("D:\\App\\app.ini=Main;;", "D:\\App\\app.ini", "Main", "");
  ExpectDelete("f=s;k;anything", "f", "s", "k");
  ExpectDelete("f=s;k;", "f", "s", "k");
  ExpectDelete("f=s;;ignored", "f", "s", "");
}

TEST(DelIniLine, IncompleteLinesDeleteNothing) {
  EXPECT_EQ(Apply("D:\\App\\app.ini=Main;", true), 0);
  EXPECT_EQ(Apply("D:\\App\\app.ini=Main", true), 0);
  EXPECT_EQ(Apply("no equals", true), 0);
}

TEST(IniLine, FieldsBeyond263CharactersRefuseTheLine) {
  const std::string fits(263, 'x'), over(264, 'y');
  ExpectWrite("f=" + fits + ";" + fits + ";" + fits, "f", fits.c_str(), fits.c_str(), fits.c_str());
  EXPECT_EQ(Apply("f=" + over + ";k;v", false), 0);
  EXPECT_EQ(Apply("f=s;" + over + ";v", false), 0);
  EXPECT_EQ(Apply("f=s;k;" + over, false), 0);
  EXPECT_EQ(Apply("f=s;k;" + fits + ";", false), 1);  // the dropped ';' does not count
  ExpectDelete("f=s;" + fits, "f", "s", fits.c_str());
  EXPECT_EQ(Apply("f=s;" + over, true), 0);
  EXPECT_EQ(Apply("f=" + over + ";;", true), 0);
}

TEST(IniLine, EmptyFileNameIsRefused) {
  EXPECT_EQ(Apply("=s;k;v", false), 0);
  EXPECT_EQ(Apply("=s;;", true), 0);
}
