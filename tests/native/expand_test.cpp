#include "expand/expand.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "native/support/system_fakes.h"

namespace {

const char kPackage[] = "P:\\pkg\\";
const char kInstall[] = "D:\\Apps\\Quillon\\";
const char kProgram[] = "D:\\Apps\\Quillon\\bin\\";
const char kIniName[] = "Quillon.ini";

// Owns the entries of one definition table.
struct Table {
  std::vector<std::string> texts;
  char* slots[kDefinitionSlots] = {nullptr};
  explicit Table(std::vector<std::string> entries) : texts(std::move(entries)) {
    for (size_t i = 0; i < texts.size() && i < kDefinitionCapacity; ++i) slots[i] = &texts[i][0];
  }
};

class ExpandTest : public ::testing::Test {
 protected:
  void SetUp() override { FakeSystemReset(); }
  void TearDown() override { FakeSystemReset(); }

  // The expansion of text in a line-sized buffer.
  std::string Expand(const std::string& text, const Table& ini = Table({}),
                     const Table& reg = Table({}), const DateValue* date = nullptr,
                     const char* program = kProgram) {
    char buffer[1301];
    EXPECT_LT(text.size(), sizeof(buffer));
    std::snprintf(buffer, sizeof(buffer), "%s", text.c_str());
    EXPECT_TRUE(ExpandPlaceholders(buffer, sizeof(buffer), kPackage, kInstall, program, kIniName,
                                   ini.slots, reg.slots, date));
    return buffer;
  }
};

DateValue Date(int day, int month, int year, int dayNumber) {
  DateValue date;
  date.valid = true;
  date.day = day;
  date.month = month;
  date.year = year;
  date.dayNumber = dayNumber;
  return date;
}

TEST_F(ExpandTest, DirectoryAndControlPlaceholdersInAnyCase) {
  EXPECT_EQ(Expand("{src}"), kPackage);
  EXPECT_EQ(Expand("{SRC}"), kPackage);
  EXPECT_EQ(Expand("{Src}"), kPackage);
  EXPECT_EQ(Expand("{des}{inifile}"), "D:\\Apps\\Quillon\\Quillon.ini");
  EXPECT_EQ(Expand("{EXE}quillon.exe"), "D:\\Apps\\Quillon\\bin\\quillon.exe");
  EXPECT_EQ(Expand("a{\\n}b{\\N}c{\\r}d{\\t}e"), "a\nb\nc\rd\te");
  EXPECT_EQ(Expand("plain text = 1"), "plain text = 1");
}

TEST_F(ExpandTest, BraceGroupsAreRemovedWhole) {
  EXPECT_EQ(Expand("x{abc}y"), "xy");
  EXPECT_EQ(Expand("a{b"), "a");
  EXPECT_EQ(Expand("abc{"), "abc");
  EXPECT_EQ(Expand("a}b"), "a}b");
  EXPECT_EQ(Expand("{}x"), "x");
  EXPECT_EQ(Expand("{{src}}"), "");
  EXPECT_EQ(Expand("{{src}}{src}"), kPackage);
  EXPECT_EQ(Expand("{src"), "");  // not closed where the form needs it
  EXPECT_EQ(Expand("{src }x"), "x");
  EXPECT_EQ(Expand("{src}}"), std::string(kPackage) + "}");
  EXPECT_EQ(Expand("{{}x"), "");  // one level is still open at the end
  // A class identifier in braces is not kept.
  EXPECT_EQ(Expand("HKCR;CLSID\\{0000-1111}\\x"), "HKCR;CLSID\\\\x");
}

TEST_F(ExpandTest, DefinitionLookupWithNameLists) {
  Table onlyB({"B=bee"});
  Table both({"A=ay", "B=bee"});
  Table bFirst({"B=bee", "A=ay"});
  EXPECT_EQ(Expand("{ini=A,B}", onlyB), "bee");
  EXPECT_EQ(Expand("{ini=A,B}", both), "ay");
  EXPECT_EQ(Expand("{ini=A,B}", bFirst), "ay");  // names in the order written
  EXPECT_EQ(Expand("{ini=A,B}"), kProgram);
  EXPECT_EQ(Expand("{ini=a}", Table({"A=x"})), "x");
  EXPECT_EQ(Expand("{INI=a}", Table({"A=x"})), "x");
  EXPECT_EQ(Expand("{ini=AB}", Table({"A=x"})), kProgram);
  EXPECT_EQ(Expand("{ini=A}", Table({"AB=x"})), kProgram);
  EXPECT_EQ(Expand("{ini= A}", Table({"A=x"})), kProgram);  // blanks belong to the name
  EXPECT_EQ(Expand("{ini=A}", Table({"A=first", "A=second"})), "first");
  EXPECT_EQ(Expand("{ini=A}", Table({"A=x=y"})), "x=y");
  EXPECT_EQ(Expand("[{ini=A}]", Table({"A="})), "[]");
  EXPECT_EQ(Expand("x{ini=BinDir", Table({"BinDir=E:\\Bin\\"})), std::string("x") + kProgram);
  EXPECT_EQ(Expand("{ini=Z,BinDir", Table({"BinDir=E:\\Bin\\"})), kProgram);
}

TEST_F(ExpandTest, ValuesTooLongForTheLineFailInsteadOfFallingBack) {
  // The name alone marks a value too long to read; a kept value longer
  // than the line does not fit. Neither becomes the program directory.
  struct Case {
    std::string entry;
    std::string line;
  } cases[] = {{"Big", "x{ini=Big}y"},
               {"Big", "{ini=Other,Big}"},
               {"Big=" + std::string(1400, 'b'), "{ini=Big}"},
               {"Big=" + std::string(1299, 'b'), "ab{ini=Big}"}};
  for (const Case& c : cases) {
    Table ini({c.entry});
    char buffer[1301];
    std::snprintf(buffer, sizeof(buffer), "%s", c.line.c_str());
    EXPECT_FALSE(ExpandPlaceholders(buffer, sizeof(buffer), kPackage, kInstall, kProgram, kIniName,
                                    ini.slots, Table({}).slots, nullptr))
        << c.line;
    EXPECT_EQ(std::string(buffer).find(kProgram), std::string::npos) << c.line;
  }
  EXPECT_EQ(Expand("a{ini=Big}", Table({"Big=" + std::string(1298, 'b')})).size(), 1299u);
}

TEST_F(ExpandTest, IniAndRegistryTablesAreSeparate) {
  Table ini({"Name=from-ini"});
  Table reg({"Name=from-reg"});
  EXPECT_EQ(Expand("{ini=Name}|{reg=Name}|{REG=name}", ini, reg), "from-ini|from-reg|from-reg");
  EXPECT_EQ(Expand("{reg=Name}", ini, Table({})), kProgram);
}

TEST_F(ExpandTest, InsertedValuesAreScannedForVariablesOnly) {
  FakeSetTempDirectory("C:\\Temp\\");
  Table ini({"T=$TEMP$x", "D={des}x", "M=$$"});
  EXPECT_EQ(Expand("{ini=T}", ini), "C:\\Temp\\x");
  EXPECT_EQ(Expand("{ini=D}", ini), "{des}x");
  EXPECT_EQ(Expand("{ini=M}", ini), "$");
  // A program directory with '$' in it follows the same rules.
  EXPECT_EQ(Expand("{exe}", Table({}), Table({}), nullptr, "C:\\a$b$c\\"), "C:\\a$bc\\");
}

TEST_F(ExpandTest, FileVersionOfAnExpandedPath) {
  FakeSetFileVersion("D:\\Apps\\Quillon\\bin\\quillon.exe", FileVersion{2, 0, 14, 3});
  EXPECT_EQ(Expand("v{fver={exe}quillon.exe}!"), "v2.0.14.3!");
  EXPECT_EQ(Expand("{FVER={EXE}quillon.exe}"), "2.0.14.3");
  EXPECT_EQ(Expand("{fver={exe}missing.exe}"), "0.0.0.0");
  EXPECT_EQ(Expand("{fver=}"), "0.0.0.0");
  // Open at the end of the line: the rest of the line is the path.
  EXPECT_EQ(Expand("v{fver={exe}quillon.exe"), "v2.0.14.3");
  // Largest parts print unsigned.
  FakeSetFileVersion("big", FileVersion{65535, 65535, 65535, 65535});
  EXPECT_EQ(Expand("{fver=big}"), "65535.65535.65535.65535");
}

TEST_F(ExpandTest, FileVersionPathsExpandBothPassesAndNest) {
  FakeSetTempDirectory("C:\\Temp\\");
  FakeSetFileVersion("C:\\Temp\\x.exe", FileVersion{4, 0, 0, 1});
  EXPECT_EQ(Expand("{fver=$TEMP$x.exe}"), "4.0.0.1");
  FakeSetFileVersion("a", FileVersion{1, 2, 3, 4});
  FakeSetFileVersion("1.2.3.4", FileVersion{5, 6, 7, 8});
  EXPECT_EQ(Expand("{fver={fver=a}}"), "5.6.7.8");
  EXPECT_EQ(Expand("{fver={fver={fver=a}}}"), "0.0.0.0");
  // Deep nesting stays within its work buffers.
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "{fver=";
  EXPECT_EQ(Expand(deep), "0.0.0.0");
  // A path that does not fit once expanded has no version, although its
  // first 1300 characters name a file that has one.
  std::string cut;
  for (int i = 0; i < 65; ++i) cut += kProgram;
  ASSERT_EQ(cut.size(), 1300u);
  FakeSetFileVersion(cut.c_str(), FileVersion{9, 8, 7, 6});
  std::string tooLong = "{fver=";
  for (int i = 0; i < 70; ++i) tooLong += "{exe}";
  EXPECT_EQ(Expand(tooLong + "}"), "0.0.0.0");
}

TEST_F(ExpandTest, DateForms) {
  DateValue newYear = Date(1, 1, 2013, 41275);
  EXPECT_EQ(Expand("{idts}|{idta}|{idtn}", Table({}), Table({}), &newYear), "1.1.2013|20130101|41275");
  DateValue march = Date(5, 3, 2012, 40973);
  EXPECT_EQ(Expand("{IDTS} {Idta}", Table({}), Table({}), &march), "5.3.2012 20120305");
  DateValue invalid = march;
  invalid.valid = false;
  EXPECT_EQ(Expand("[{idts}{idtn}{idta}]", Table({}), Table({}), &invalid), "[]");
  EXPECT_EQ(Expand("[{idts}{idtn}{idta}]"), "[]");
}

TEST_F(ExpandTest, SpecialFoldersEndInOneBackslash) {
  FakeSetSpecialFolder(16, "C:\\Users\\u\\Desktop");
  FakeSetSpecialFolder(25, "C:\\Users\\Public\\Desktop\\");
  FakeSetSpecialFolder(2, "C:\\Programs");
  FakeSetSpecialFolder(23, "C:\\All Programs");
  FakeSetSpecialFolder(38, "C:\\Program Files");
  EXPECT_EQ(Expand("{desktop}a.lnk"), "C:\\Users\\u\\Desktop\\a.lnk");
  EXPECT_EQ(Expand("{desktopall}"), "C:\\Users\\Public\\Desktop\\");
  EXPECT_EQ(Expand("{programs}|{programsall}|{programfiles}"),
            "C:\\Programs\\|C:\\All Programs\\|C:\\Program Files\\");
  // Folder names are case-sensitive and must close at once.
  EXPECT_EQ(Expand("[{Desktop}][{DESKTOP}][{desktop x}][{desktops}]"), "[][][][]");
  FakeSetSpecialFolder(16, "");
  EXPECT_EQ(Expand("[{desktop}]"), "[]");
  FakeSetSpecialFolder(16, nullptr);
  EXPECT_EQ(Expand("[{desktop}]"), "[]");
}

TEST_F(ExpandTest, ProgramDirectoryVariable) {
  EXPECT_EQ(Expand("$EXEDIR$"), "D:\\Apps\\Quillon\\bin");
  EXPECT_EQ(Expand("\"$exedir$\\x\""), "\"D:\\Apps\\Quillon\\bin\\x\"");
  EXPECT_EQ(Expand("[$EXEDIR$]", Table({}), Table({}), nullptr, ""), "[]");
  // Before the executor adds the backslash, the directory stays whole.
  EXPECT_EQ(Expand("$EXEDIR$", Table({}), Table({}), nullptr, "D:\\Apps"), "D:\\Apps");
}

TEST_F(ExpandTest, DollarsThatAreNoVariable) {
  EXPECT_EQ(Expand("$FOO$bar"), "$FOObar");
  EXPECT_EQ(Expand("$$"), "$");
  EXPECT_EQ(Expand("a$$b$$"), "a$b$");
  EXPECT_EQ(Expand("$ABC$"), "$ABC");
  EXPECT_EQ(Expand("x$TEMP"), "x$TEMP");
  EXPECT_EQ(Expand("abc$"), "abc$");
  EXPECT_EQ(Expand("$"), "$");
  EXPECT_EQ(Expand("[$INIFILE$][$DBDIR$][$SHDDIR$]"), "[$INIFILE][$DBDIR][$SHDDIR]");
  // 25 characters may be a name; the 26th starts the text again and is kept.
  std::string name25(25, 'N');
  EXPECT_EQ(Expand("$" + name25 + "$x"), "$" + name25 + "x");
  EXPECT_EQ(Expand("$" + name25 + "Q$TEMP"), "$" + name25 + "Q$TEMP");
  FakeSetTempDirectory("C:\\T\\");
  EXPECT_EQ(Expand("$" + name25 + "Q$TEMP$"), "$" + name25 + "QC:\\T\\");
}

TEST_F(ExpandTest, TemporaryDirectory) {
  EXPECT_EQ(Expand("[$TEMP$]"), "[]");  // no temporary path
  FakeSetTempDirectory("C:\\Temp\\");
  EXPECT_EQ(Expand("$TEMP$setup.log"), "C:\\Temp\\setup.log");
  EXPECT_EQ(Expand("$temp$$Temp$"), "C:\\Temp\\C:\\Temp\\");
}

TEST(FindNameTest, FoldsAsciiLettersOnly) {
  const char* const names[] = {"INIFILE", "EXEDIR", "TEMP", nullptr};
  EXPECT_EQ(FindName("TEMP", names), 2);
  EXPECT_EQ(FindName("exeDir", names), 1);
  EXPECT_EQ(FindName("TEM", names), -1);
  EXPECT_EQ(FindName("TEMPS", names), -1);
  EXPECT_EQ(FindName("", names), -1);
  EXPECT_EQ(FindName(nullptr, names), -1);
  EXPECT_EQ(FindName("TEMP", nullptr), -1);
  const char* const accented[] = {"\xC8", nullptr};  // Windows-1250 capital C with caron
  EXPECT_EQ(FindName("\xE8", accented), -1);
  EXPECT_EQ(FindName("\xC8", accented), 0);
}

// ---- capacity

const size_t kGuard = 32;
const char kGuardByte = '\x5A';

struct GuardedBuffer {
  std::vector<char> bytes;
  size_t capacity;
  GuardedBuffer(const std::string& text, size_t capacity) : bytes(capacity + kGuard, kGuardByte), capacity(capacity) {
    std::memcpy(bytes.data(), text.c_str(), std::min(text.size() + 1, capacity));
  }
  bool GuardIntact() const {
    for (size_t i = capacity; i < bytes.size(); ++i) {
      if (bytes[i] != kGuardByte) return false;
    }
    return true;
  }
  char* data() { return bytes.data(); }
};

TEST_F(ExpandTest, ResultThatDoesNotFitIsCutAndReported) {
  FakeSetTempDirectory("C:\\Temporary\\Directory\\");
  FakeSetSpecialFolder(16, "C:\\Users\\somebody\\Desktop");
  Table ini({"Long=" + std::string(200, 'v')});
  const std::string text = "{des}{ini=Long}{desktop}$TEMP${idts}$EXEDIR$tail";
  std::string full = Expand(text, ini);
  for (size_t capacity = 1; capacity <= full.size() + 2; ++capacity) {
    GuardedBuffer buffer(text.substr(0, capacity - 1), capacity);
    std::string input(buffer.data());
    bool fits = ExpandPlaceholders(buffer.data(), capacity, kPackage, kInstall, kProgram,
                                   kIniName, ini.slots, Table({}).slots, nullptr);
    ASSERT_TRUE(buffer.GuardIntact()) << capacity;
    size_t length = strnlen(buffer.data(), capacity);
    ASSERT_LT(length, capacity);
    if (input == text) {
      EXPECT_EQ(fits, full.size() < capacity) << capacity;
      if (fits) {
        EXPECT_EQ(std::string(buffer.data()), full);
      } else {
        EXPECT_EQ(length, capacity - 1);
      }
    }
  }
}

TEST_F(ExpandTest, SecondPassOverflowIsReported) {
  FakeSetTempDirectory("C:\\Temp\\");
  GuardedBuffer buffer("$TEMP$$TEMP$", 13);
  EXPECT_FALSE(ExpandVariables(buffer.data(), 13, kProgram));
  EXPECT_STREQ(buffer.data(), "C:\\Temp\\C:\\T");
  EXPECT_TRUE(buffer.GuardIntact());

  GuardedBuffer exact("$TEMP$$TEMP$", 17);
  EXPECT_TRUE(ExpandVariables(exact.data(), 17, kProgram));
  EXPECT_STREQ(exact.data(), "C:\\Temp\\C:\\Temp\\");
}

TEST_F(ExpandTest, UnterminatedInputIsTerminatedWithinCapacity) {
  char buffer[8 + kGuard];
  std::memset(buffer, 'x', sizeof(buffer));
  EXPECT_FALSE(ExpandPlaceholders(buffer, 8, kPackage, kInstall, kProgram, kIniName,
                                  Table({}).slots, Table({}).slots, nullptr));
  EXPECT_STREQ(buffer, "xxxxxxx");
  EXPECT_EQ(buffer[8], 'x');
  EXPECT_FALSE(ExpandPlaceholders(nullptr, 8, kPackage, kInstall, kProgram, kIniName,
                                  Table({}).slots, Table({}).slots, nullptr));
  char one[1] = {'q'};
  EXPECT_FALSE(ExpandVariables(one, 1, kProgram));
  EXPECT_EQ(one[0], '\0');
  // A buffer of one byte holds the empty text, terminated.
  one[0] = 'q';
  EXPECT_FALSE(ExpandPlaceholders(one, 1, kPackage, kInstall, kProgram, kIniName,
                                  Table({}).slots, Table({}).slots, nullptr));
  EXPECT_EQ(one[0], '\0');
  EXPECT_TRUE(ExpandPlaceholders(one, 1, kPackage, kInstall, kProgram, kIniName,
                                 Table({}).slots, Table({}).slots, nullptr));
}

// ---- the sibling module

class SiblingModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeSystemReset();
    char pattern[] = "/tmp/sibling-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = std::string(pattern) + "/";
  }
  void TearDown() override {
    for (const std::string& file : files_) std::remove(file.c_str());
    rmdir(dir_.c_str());
    FakeSystemReset();
  }
  // Native file names may hold backslashes, so Windows paths below the
  // temporary directory are single files in it.
  std::string Touch(const std::string& name) {
    std::string path = dir_ + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file) std::fclose(file);
    files_.push_back(path);
    return path;
  }
  std::string Find(const std::string& programDirectory) {
    char path[261];
    std::memset(path, 0, sizeof(path));
    std::strcpy(path, "untouched");
    FindSiblingModule(programDirectory.c_str(), path);
    return path;
  }
  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(SiblingModuleTest, CandidatesInOrder) {
  const std::string program = dir_ + "Q\\bin\\";
  EXPECT_EQ(Find(program), "untouched");

  std::string fourth = Touch("Q\\bin\\Velmora25\\Velmora25.exe");
  EXPECT_EQ(Find(program), fourth);

  std::string third = Touch("Q\\Velmora26\\Velmora26.exe");
  EXPECT_EQ(Find(program), third);

  std::string second = Touch("registered.exe");
  FakeRegistrySetValue(kRootLocalMachine, "Software\\Valtor CZ\\Quillon\\2.0\\Path", "Velmora",
                       ("\"" + second + "\" /x").c_str());
  EXPECT_EQ(Find(program), second);

  std::string first = Touch("Q\\bin\\Velmora26\\Velmora26.exe");
  EXPECT_EQ(Find(program), first);
}

TEST_F(SiblingModuleTest, RegisteredPathThatDoesNotExistIsSkipped) {
  FakeRegistrySetValue(kRootLocalMachine, "Software\\Valtor CZ\\Quillon\\2.0\\Path", "Velmora",
                       (dir_ + "nothing.exe").c_str());
  std::string fourth = Touch("Q\\bin\\Velmora25\\Velmora25.exe");
  EXPECT_EQ(Find(dir_ + "Q\\bin\\"), fourth);
}

TEST_F(SiblingModuleTest, VariableInsertsThePathOrNothing) {
  FakeSetTempDirectory("C:\\T\\");
  const std::string program = dir_ + "Q\\bin\\";
  char text[1301] = "[$VELMORA$]";
  Table none({});
  EXPECT_TRUE(ExpandPlaceholders(text, sizeof(text), kPackage, kInstall, program.c_str(), kIniName,
                                 none.slots, none.slots, nullptr));
  EXPECT_STREQ(text, "[]");
  std::string third = Touch("Q\\Velmora26\\Velmora26.exe");
  std::strcpy(text, "[$velmora$]");
  EXPECT_TRUE(ExpandPlaceholders(text, sizeof(text), kPackage, kInstall, program.c_str(), kIniName,
                                 none.slots, none.slots, nullptr));
  EXPECT_EQ(std::string(text), "[" + third + "]");
}

TEST_F(SiblingModuleTest, EmptyProgramDirectoryIsReadWithinItsText) {
  // On the heap, so that a read before its first byte is reported.
  std::unique_ptr<char[]> empty(new char[1]{'\0'});
  char path[261] = "untouched";
  FindSiblingModule(empty.get(), path);
  EXPECT_STREQ(path, "untouched");
  FindSiblingModule(nullptr, path);
  EXPECT_STREQ(path, "untouched");
}

TEST_F(SiblingModuleTest, CandidateLongerThanAPathIsNotUsed) {
  // The first candidate exists but needs more than 260 characters.
  std::string component(220, 'p');
  std::string tooLong = Touch(component + "\\Velmora26\\Velmora26.exe");
  ASSERT_GT(tooLong.size(), 260u);
  EXPECT_EQ(Find(dir_ + component + "\\"), "untouched");
}

}  // namespace
