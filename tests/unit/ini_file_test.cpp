// IniFile and the [WriteIni]/[DelIni] lines against real INI files.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "actions/ini_file.h"
#include "actions/ini_line.h"
#include "unit/unit_support.h"

namespace {

// A fresh directory per test: the system caches profile files by name, so no
// file is ever rewritten behind its back.
class IniTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return dir_.File(name); }

  std::string WriteFile(const char* name, const std::string& text) const {
    std::string path = Path(name);
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(nullptr, file);
    if (file) {
      std::fwrite(text.data(), 1, text.size(), file);
      std::fclose(file);
    }
    return path;
  }

  // The value as the system reads it, "<none>" when absent.
  static std::string Value(const std::string& path, const char* section, const char* key) {
    char buffer[4096];
    GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof buffer, path.c_str());
    return buffer;
  }

  static std::string Read(IniFile& ini, const char* section, const char* key, const char* def) {
    char* text = ini.ReadString(section, key, def);
    EXPECT_NE(nullptr, text);
    std::string result = text ? text : "<null>";
    std::free(text);
    return result;
  }

  unit::TempDir dir_;
};

TEST_F(IniTest, ReadStringGivesValueOrDefault) {
  std::string path = WriteFile("a.ini", "[Options]\r\nName=Quillon Update\r\nEmpty=\r\n[Other]\r\nKey=x\r\n");
  IniFile ini(path.c_str());
  ASSERT_TRUE(ini.IsValid());
  EXPECT_EQ("Quillon Update", Read(ini, "Options", "Name", "def"));
  EXPECT_EQ("", Read(ini, "Options", "Empty", "def")) << "present but empty is not the default";
  EXPECT_EQ("def", Read(ini, "Options", "Missing", "def"));
  EXPECT_EQ("def", Read(ini, "NoSection", "Key", "def"));
  EXPECT_EQ("x", Read(ini, "other", "KEY", "def")) << "names compare without case";

  IniFile missing(Path("missing.ini").c_str());
  EXPECT_EQ("fallback", Read(missing, "Options", "Name", "fallback"));
}

TEST_F(IniTest, ReadStringCutsAt2047Characters) {
  std::string longValue(3000, 'v');
  for (size_t i = 0; i < longValue.size(); ++i) longValue[i] = static_cast<char>('a' + i % 26);
  std::string path = WriteFile("long.ini", "[S]\r\nLong=" + longValue + "\r\nExact=" +
                                               longValue.substr(0, 2047) + "\r\n");
  IniFile ini(path.c_str());
  std::string read = Read(ini, "S", "Long", "");
  EXPECT_EQ(2047u, read.size());
  EXPECT_EQ(longValue.substr(0, 2047), read);
  EXPECT_EQ(longValue.substr(0, 2047), Read(ini, "S", "Exact", ""));
}

TEST_F(IniTest, ReadStringIntoHonoursTheBufferSize) {
  std::string path = WriteFile("into.ini", "[S]\r\nKey=abcdefgh\r\n");
  IniFile ini(path.c_str());
  char buffer[16];
  std::memset(buffer, 'Z', sizeof buffer);
  EXPECT_EQ(buffer, ini.ReadStringInto("S", "Key", "def", buffer, 5));
  EXPECT_STREQ("abcd", buffer);
  EXPECT_EQ('Z', buffer[5]) << "wrote past the given size";
  EXPECT_STREQ("abcdefgh", ini.ReadStringInto("S", "Key", "def", buffer, sizeof buffer));
  EXPECT_STREQ("def", ini.ReadStringInto("S", "Nope", "def", buffer, sizeof buffer));
}

TEST_F(IniTest, ReadIntConvertsLikeAtoi) {
  std::string path = WriteFile("int.ini",
                               "[Options]\r\nLangID=2\r\nEmpty=\r\nTrail=2x\r\nNeg=-12\r\n"
                               "Plus=+7\r\nWord=abc\r\nHuge=99999999999\r\n");
  IniFile ini(path.c_str());
  EXPECT_EQ(2, ini.ReadInt("Options", "LangID", 1));
  EXPECT_EQ(1, ini.ReadInt("Options", "Missing", 1));
  EXPECT_EQ(-345, ini.ReadInt("Options", "Missing", -345)) << "negative default survives the text round";
  EXPECT_EQ(INT_MIN, ini.ReadInt("Options", "Missing", INT_MIN));
  EXPECT_EQ(0, ini.ReadInt("Options", "Empty", 5));
  EXPECT_EQ(2, ini.ReadInt("Options", "Trail", 5));
  EXPECT_EQ(-12, ini.ReadInt("Options", "Neg", 5));
  EXPECT_EQ(7, ini.ReadInt("Options", "Plus", 5));
  EXPECT_EQ(0, ini.ReadInt("Options", "Word", 5));
  EXPECT_EQ(INT_MAX, ini.ReadInt("Options", "Huge", 5)) << "saturates like the C runtime's atoi";
}

TEST_F(IniTest, ReadBoolIsTrueOnlyForOneCharacterOtherThanZero) {
  std::string path = WriteFile("bool.ini",
                               "[F]\r\nOne=1\r\nY=Y\r\nTwo=2\r\nZero=0\r\nEmpty=\r\nTen=10\r\n"
                               "Yes=yes\r\n");
  IniFile ini(path.c_str());
  for (bool def : {false, true}) {
    SCOPED_TRACE(def ? "default true" : "default false");
    EXPECT_TRUE(ini.ReadBool("F", "One", def));
    EXPECT_TRUE(ini.ReadBool("F", "Y", def));
    EXPECT_TRUE(ini.ReadBool("F", "Two", def));
    EXPECT_FALSE(ini.ReadBool("F", "Zero", def));
    EXPECT_FALSE(ini.ReadBool("F", "Empty", def));
    EXPECT_FALSE(ini.ReadBool("F", "Ten", def));
    EXPECT_FALSE(ini.ReadBool("F", "Yes", def));
    EXPECT_EQ(def, ini.ReadBool("F", "Missing", def));
  }
}

TEST_F(IniTest, WriteCreatesFileAndSectionAndKeepsBytes) {
  std::string path = Path("new.ini");
  IniFile ini(path.c_str());
  // Windows-1250 bytes ("Zápis do ini") travel unchanged.
  EXPECT_TRUE(ini.WriteString("Main", "Text", "Z\xE1pis do ini"));
  EXPECT_TRUE(ini.WriteString("Main", "Path", "D:\\Data"));
  EXPECT_TRUE(ini.WriteString("Main", "Path", "D:\\Other"));
  ini.Flush();  // its result is the system's and not the same on every system
  std::string text = unit::ReadFileBytes(path);
  EXPECT_NE(std::string::npos, text.find("[Main]")) << text;
  EXPECT_NE(std::string::npos, text.find("Text=Z\xE1pis do ini")) << text;
  EXPECT_NE(std::string::npos, text.find("Path=D:\\Other")) << text;
  EXPECT_EQ(std::string::npos, text.find("D:\\Data")) << text;
  EXPECT_EQ("D:\\Other", Read(ini, "Main", "Path", ""));
}

TEST_F(IniTest, DeleteKeyAndSection) {
  std::string path = WriteFile("del.ini", "[A]\r\nK1=1\r\nK2=2\r\n[B]\r\nK1=b\r\n[C]\r\nX=c\r\n");
  IniFile ini(path.c_str());
  EXPECT_TRUE(ini.DeleteKey("A", "K1"));
  EXPECT_TRUE(ini.DeleteSection("B"));
  ini.Flush();
  EXPECT_EQ("<none>", Value(path, "A", "K1"));
  EXPECT_EQ("2", Value(path, "A", "K2"));
  EXPECT_EQ("<none>", Value(path, "B", "K1"));
  EXPECT_EQ("c", Value(path, "C", "X"));
  std::string text = unit::ReadFileBytes(path);
  EXPECT_EQ(std::string::npos, text.find("[B]")) << text;
  EXPECT_EQ(std::string::npos, text.find("K1")) << text;
}

TEST_F(IniTest, ChangeIniEntryWritesAndDeletes) {
  std::string path = WriteFile("change.ini", "[Keep]\r\nA=1\r\nB=2\r\n[Gone]\r\nZ=9\r\n");
  ChangeIniEntry(path.c_str(), "New", "Key", "Value", false);
  EXPECT_EQ("Value", Value(path, "New", "Key"));
  EXPECT_NE(std::string::npos, unit::ReadFileBytes(path).find("Key=Value")) << "flushed to the file";

  ChangeIniEntry(path.c_str(), "Keep", "A", "ignored", true);
  EXPECT_EQ("<none>", Value(path, "Keep", "A"));
  EXPECT_EQ("2", Value(path, "Keep", "B"));

  ChangeIniEntry(path.c_str(), "Gone", "", nullptr, true);
  EXPECT_EQ("<none>", Value(path, "Gone", "Z"));
  EXPECT_EQ("2", Value(path, "Keep", "B")) << "only the named section goes";
  EXPECT_EQ(std::string::npos, unit::ReadFileBytes(path).find("[Gone]"));
}

TEST_F(IniTest, ObjectWithoutPathReadsDefaultsAndWritesNothing) {
  IniFile ini(nullptr);
  EXPECT_FALSE(ini.IsValid());
  EXPECT_EQ("def", Read(ini, "S", "K", "def"));
  EXPECT_EQ(4, ini.ReadInt("S", "K", 4));
  EXPECT_TRUE(ini.ReadBool("S", "K", true));
  char buffer[8] = "zzzzzzz";
  EXPECT_STREQ("dd", ini.ReadStringInto("S", "K", "dd", buffer, sizeof buffer));
  EXPECT_FALSE(ini.WriteString("S", "K", "v"));
  EXPECT_FALSE(ini.DeleteKey("S", "K"));
  EXPECT_FALSE(ini.DeleteSection("S"));
  EXPECT_FALSE(ini.Flush());
}

// ---- [WriteIni] / [DelIni] lines end to end ----

class IniLineTest : public IniTest {
 protected:
  void SetUp() override {
    IniTest::SetUp();
    file_ = WriteFile("app.ini", "[Main]\r\nPath=D:\\Old\r\nOther=o\r\n[Second]\r\nS=s\r\n");
  }

  void Apply(const std::string& tail, bool remove) {
    std::string text = file_ + "=" + tail;
    char line[1400];
    ASSERT_LT(text.size(), sizeof line);
    std::strcpy(line, text.c_str());
    ApplyIniLine(line, remove);
  }

  std::string file_;
};

TEST_F(IniLineTest, WriteIniLines) {
  std::string created = Path("created.ini");
  char line[1400];
  std::strcpy(line, (created + "=Main;Path;D:\\Data").c_str());
  ApplyIniLine(line, false);
  EXPECT_EQ("D:\\Data", Value(created, "Main", "Path")) << "file and section made";

  Apply("Main;Path;D:\\New", false);
  EXPECT_EQ("D:\\New", Value(file_, "Main", "Path"));
  Apply("Main;Path;", false);
  EXPECT_EQ("D:\\New", Value(file_, "Main", "Path")) << "nothing after the last ';'";
  Apply("Main;Path;;", false);
  EXPECT_EQ("", Value(file_, "Main", "Path"));
  Apply("Main;Semi;a;b", false);
  EXPECT_EQ("a;b", Value(file_, "Main", "Semi"));
  Apply("Main;Trail;a;b;", false);
  EXPECT_EQ("a;b", Value(file_, "Main", "Trail"));
  Apply("Main;Eq;v=w", false);
  EXPECT_EQ("v=w", Value(file_, "Main", "Eq")) << "only the first '=' ends the file name";
  Apply("Main;One;x", false);
  EXPECT_EQ("x", Value(file_, "Main", "One")) << "a one-character value";
}

TEST_F(IniLineTest, WriteIniLinesThatChangeNothing) {
  std::string before = unit::ReadFileBytes(file_);
  Apply(";k;v", false);   // section ";k", line ends in the key
  Apply("Main;Path", false);
  Apply("Main", false);
  Apply("", false);
  char noEquals[1400];
  std::strcpy(noEquals, (file_ + "Main;Path;v").c_str());
  ApplyIniLine(noEquals, false);
  // A field beyond its 263 characters refuses the whole line.
  Apply(std::string(300, 's') + ";Key;v", false);
  Apply("Main;" + std::string(300, 'k') + ";v", false);
  Apply("Main;Path;" + std::string(300, 'v'), false);
  EXPECT_EQ(before, unit::ReadFileBytes(file_));
  EXPECT_EQ("D:\\Old", Value(file_, "Main", "Path"));
}

TEST_F(IniLineTest, DelIniRemovesKey) {
  Apply("Main;Path", true);
  EXPECT_EQ("<none>", Value(file_, "Main", "Path"));
  EXPECT_EQ("o", Value(file_, "Main", "Other"));
  Apply("Main;Other;anything", true);
  EXPECT_EQ("<none>", Value(file_, "Main", "Other"));
  EXPECT_EQ("s", Value(file_, "Second", "S"));
}

TEST_F(IniLineTest, DelIniRemovesSection) {
  Apply("Main;;", true);
  EXPECT_EQ("<none>", Value(file_, "Main", "Path"));
  EXPECT_EQ("<none>", Value(file_, "Main", "Other"));
  EXPECT_EQ("s", Value(file_, "Second", "S"));
  EXPECT_EQ(std::string::npos, unit::ReadFileBytes(file_).find("[Main]"));
}

TEST_F(IniLineTest, DelIniLinesThatChangeNothing) {
  std::string before = unit::ReadFileBytes(file_);
  Apply("Main;", true);
  Apply("Main", true);
  Apply("Main;" + std::string(300, 'k'), true);
  EXPECT_EQ(before, unit::ReadFileBytes(file_));
}

}  // namespace
