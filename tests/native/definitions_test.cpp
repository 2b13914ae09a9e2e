#include "expand/definitions.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "expand/expand.h"
#include "native/support/run_log_fake.h"
#include "native/support/system_fakes.h"
#include "script/script_reader.h"

namespace {

class DefinitionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeSystemReset();
    char pattern[] = "/tmp/definitions-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = std::string(pattern) + "/";
    program_ = dir_ + "bin\\";
    for (char*& slot : table_) slot = nullptr;
  }
  void TearDown() override {
    FreeDefinitions(table_, kDefinitionCapacity);
    for (const std::string& file : files_) std::remove(file.c_str());
    rmdir(dir_.c_str());
    FakeSystemReset();
  }

  std::string Write(const std::string& name, const std::string& content) {
    std::string path = dir_ + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file) {
      std::fwrite(content.data(), 1, content.size(), file);
      std::fclose(file);
    }
    files_.push_back(path);
    return path;
  }

  // The entry for one [readini] line, "<none>" when it gives none. The line
  // stands in a line-sized buffer; {des} is the temporary directory.
  std::string Parse(const std::string& line, bool defaultBackslash = true) {
    char buffer[kLineBufferSize];
    EXPECT_LT(line.size(), sizeof(buffer));
    std::snprintf(buffer, sizeof(buffer), "%s", line.c_str());
    char* entry = ParseIniDefinition(buffer, "P:\\pkg\\", dir_.c_str(), program_.c_str(),
                                     "Quillon.ini", nullptr, defaultBackslash);
    std::string result = entry ? entry : "<none>";
    std::free(entry);
    return result;
  }

  std::string Find(const std::string& path, const char* section, const char* key) {
    char* entry = FindIniValue(path.c_str(), section, key, "N");
    std::string result = entry ? entry : "<none>";
    std::free(entry);
    return result;
  }

  // Reads a script given as lines (CR LF ends) into table_.
  void ReadScript(const std::vector<std::string>& lines, bool registry) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    FILE* script = std::tmpfile();
    ASSERT_NE(script, nullptr);
    std::fwrite(text.data(), 1, text.size(), script);
    std::fseek(script, 0, SEEK_END);  // the readers must rewind themselves
    if (registry) {
      ReadRegDefinitions(script, table_, kDefinitionCapacity, "P:\\pkg\\", dir_.c_str(),
                         program_.c_str(), "Quillon.ini", nullptr, true);
    } else {
      ReadIniDefinitions(script, table_, kDefinitionCapacity, "P:\\pkg\\", dir_.c_str(),
                         program_.c_str(), "Quillon.ini", nullptr, true);
    }
    EXPECT_EQ(std::ftell(script), 0L);
    EXPECT_FALSE(std::feof(script));
    std::fclose(script);
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (int i = 0; i < kDefinitionSlots && table_[i]; ++i) entries.push_back(table_[i]);
    return entries;
  }

  std::string dir_;
  std::string program_;
  std::vector<std::string> files_;
  char* table_[kDefinitionSlots];
};

TEST_F(DefinitionsTest, IniLineReadsKeyOfSection) {
  Write("Quillon.ini", "[Paths]\r\nData=E:\\Shared\r\nEnds=E:\\Data\\\r\nEmpty=\r\n");
  EXPECT_EQ(Parse("DataDir={des}Quillon.ini;Paths;Data"), "DataDir=E:\\Shared\\");
  EXPECT_EQ(Parse("DataDir=0;{des}Quillon.ini;Paths;Data"), "DataDir=E:\\Shared");
  EXPECT_EQ(Parse("DataDir=1;{des}Quillon.ini;Paths;Data", false), "DataDir=E:\\Shared\\");
  EXPECT_EQ(Parse("DataDir={des}Quillon.ini;Paths;Data", false), "DataDir=E:\\Shared");
  EXPECT_EQ(Parse("E={des}Quillon.ini;Paths;Ends"), "E=E:\\Data\\");
  EXPECT_EQ(Parse("E={des}Quillon.ini;Paths;Empty"), "E=\\");
  EXPECT_EQ(Parse("E=0;{des}Quillon.ini;Paths;Empty"), "E=");
  EXPECT_EQ(Parse("={des}Quillon.ini;Paths;Data"), "=E:\\Shared\\");  // empty name
  EXPECT_EQ(Parse("D={des}Quillon.ini;paths;DATA;whatever follows"), "D=E:\\Shared\\");
  // "2;" is no flag but the start of the source.
  EXPECT_EQ(Parse("D=2;{des}Quillon.ini;Paths;Data"), "<none>");
}

TEST_F(DefinitionsTest, IniLinesThatGiveNoEntry) {
  Write("Quillon.ini", "[Paths]\r\nData=x\r\n=empty key\r\n");
  const std::string ini = dir_ + "Quillon.ini";
  EXPECT_EQ(Parse("NoEquals" + ini + ";Paths;Data"), "<none>");
  EXPECT_EQ(Parse("N="), "<none>");
  EXPECT_EQ(Parse("N=0;"), "<none>");
  EXPECT_EQ(Parse("N=" + ini), "<none>");
  EXPECT_EQ(Parse("N=" + ini + ";Paths"), "<none>");
  EXPECT_EQ(Parse("N=" + ini + ";Paths;"), "<none>");
  EXPECT_EQ(Parse("N=" + ini + ";Paths;Data"), "N=x\\");
  // A key field closed by ';' at once is an empty key.
  EXPECT_EQ(Parse("N=" + ini + ";Paths;;"), "N=empty key\\");
  EXPECT_EQ(Parse("N=" + dir_ + "missing.ini;Paths;Data"), "<none>");
  EXPECT_EQ(Parse("N=" + ini + ";Other;Data"), "<none>");
}

TEST_F(DefinitionsTest, SourceStartingWithSemicolonIsAFileName) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof(saved)), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  Write("a.ini", "[S]\r\nK=plain\r\n");
  EXPECT_EQ(Parse("N=;a.ini;S;K"), "<none>");
  Write(";a.ini", "[S]\r\nK=semicolon\r\n");
  EXPECT_EQ(Parse("N=;a.ini;S;K"), "N=semicolon\\");
  EXPECT_EQ(Parse("N=0;;a.ini;S;K"), "N=semicolon");
  // A file name of one character ends at the ';' after it.
  Write("a", "[S]\r\nK=one\r\n");
  EXPECT_EQ(Parse("N=a;S;K"), "N=one\\");
  ASSERT_EQ(chdir(saved), 0);
}

TEST_F(DefinitionsTest, NoScriptOrNoTableReadsNothing) {
  ReadIniDefinitions(nullptr, table_, kDefinitionCapacity, "P:\\pkg\\", dir_.c_str(),
                     program_.c_str(), "Quillon.ini", nullptr, true);
  ReadRegDefinitions(nullptr, table_, kDefinitionCapacity, "P:\\pkg\\", dir_.c_str(),
                     program_.c_str(), "Quillon.ini", nullptr, true);
  EXPECT_TRUE(Entries().empty());
  FILE* script = std::tmpfile();
  ASSERT_NE(script, nullptr);
  std::fputs("[readini]\r\nN=a;S;K\r\n", script);
  ReadIniDefinitions(script, nullptr, kDefinitionCapacity, "P:\\pkg\\", dir_.c_str(),
                     program_.c_str(), "Quillon.ini", nullptr, true);
  ReadIniDefinitions(script, table_, 0, "P:\\pkg\\", dir_.c_str(), program_.c_str(),
                     "Quillon.ini", nullptr, true);
  EXPECT_TRUE(Entries().empty());
  std::fclose(script);
}

TEST_F(DefinitionsTest, DefinitionLinesSeeNoDefinitions) {
  Write("bin\\f.ini", "[S]\r\nK=v\r\n");
  // {ini=...} and {reg=...} always give the program directory here.
  EXPECT_EQ(Parse("A={ini=B}f.ini;S;K"), "A=v\\");
  EXPECT_EQ(Parse("A={reg=B}f.ini;S;K"), "A=v\\");
  EXPECT_EQ(Parse("A={exe}f.ini;{abc}S;K$$"), "<none>");  // key "K$"
  EXPECT_EQ(Parse("A={exe}f.ini;{abc}S;K"), "A=v\\");
}

TEST_F(DefinitionsTest, FieldsLongerThanTheirBuffers) {
  std::string section257(257, 's');
  std::string key259(259, 'k');
  Write("long.ini", "[" + section257 + "]\r\n" + key259 + "=a\r\n" + key259 + "k=b\r\n[" +
                        section257 + "s]\r\nK=c\r\n");
  const std::string ini = dir_ + "long.ini";
  EXPECT_EQ(Parse("N=0;" + ini + ";" + section257 + ";" + key259), "N=a");
  EXPECT_EQ(Parse("N=0;" + ini + ";" + section257 + ";" + key259 + "k"), "<none>");
  EXPECT_EQ(Parse("N=0;" + ini + ";" + section257 + "s;K"), "<none>");

  // A source of 259 characters is read, one of 260 is not.
  std::string name259 = std::string(259 - dir_.size() - 4, 'f') + ".ini";
  std::string name260 = std::string(260 - dir_.size() - 4, 'f') + ".ini";
  Write(name259, "[S]\r\nK=259\r\n");
  Write(name260, "[S]\r\nK=260\r\n");
  ASSERT_EQ((dir_ + name259).size(), 259u);
  EXPECT_EQ(Parse("N=0;" + dir_ + name259 + ";S;K"), "N=259");
  EXPECT_EQ(Parse("N=0;" + dir_ + name260 + ";S;K"), "<none>");
}

TEST_F(DefinitionsTest, ValuesLongerThanALineAreKeptWholeOrMarkedTooLong) {
  // INI lines of exactly 1300 characters are read whole, and their entries
  // keep every character, a backslash too; a line the reader has to cut
  // gives the name alone: too long, never some shorter value.
  Write("big.ini", "[S]\r\nF=" + std::string(1297, 'v') + "\\\r\nG=" + std::string(1298, 'v') +
                       "\r\nH=" + std::string(1299, 'v') + "\r\nK=" + std::string(1400, 'v') +
                       "\r\nL=ok\r\n");
  const std::string ini = dir_ + "big.ini";
  EXPECT_EQ(Parse("N=" + ini + ";S;F").size(), 1300u);
  EXPECT_EQ(Parse("N=0;" + ini + ";S;G").size(), 1300u);
  EXPECT_EQ(Parse("N=" + ini + ";S;G"), "N=" + std::string(1298, 'v') + "\\");
  EXPECT_EQ(Parse("NN=0;" + ini + ";S;G").size(), 1301u);
  EXPECT_EQ(Find(ini, "[S]", "G").size(), 1300u);
  for (const char* key : {"H", "K"}) {
    EXPECT_EQ(Find(ini, "[S]", key), "N") << key;
    EXPECT_EQ(Parse(std::string("N=") + ini + ";S;" + key), "N") << key;
  }
  EXPECT_EQ(Find(ini, "[S]", "L"), "N=ok");
}

TEST_F(DefinitionsTest, LogSaysWhatEachDefinitionGaveAndWhy) {
  Write("Quillon.ini", "[P]\r\nA=1\r\nLong=" + std::string(1400, 'v') + "\r\n");
  FakeLogStart();
  ReadScript({"[readini]", "Found={des}Quillon.ini;P;A", "Gone={des}Quillon.ini;P;B",
              "Big={des}Quillon.ini;P;Long"},
             false);
  const std::vector<std::string> events = FakeLogEvents();
  FakeLogReset();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].rfind("DEFINE {ini=Found} = \"1\\\" (looked up by \"Found=" + dir_, 0), 0u)
      << events[0];
  EXPECT_NE(events[1].find("{ini=Gone}: nothing found; it gives the program directory"),
            std::string::npos);
  EXPECT_NE(events[2].find("{ini=Big}: the value is too long"), std::string::npos);
}

TEST_F(DefinitionsTest, DefinitionLinesLongerThanTheReaderTakesGiveNothing) {
  Write("Quillon.ini", "[P]\r\nA=1\r\n");
  ReadScript({"[readini]", "Long={des}Quillon.ini;P;A;" + std::string(1300, 'x'),
              "Short={des}Quillon.ini;P;A"},
             false);
  std::vector<std::string> expected = {"Short=1\\"};
  EXPECT_EQ(Entries(), expected);
}

TEST_F(DefinitionsTest, LineThatDoesNotFitAfterExpansionGivesNothing) {
  Write("Quillon.ini", "[S]\r\nK=v\r\n");
  std::string line = "N={des}Quillon.ini;S;K;" + std::string(1270, 'x');
  ASSERT_LE(line.size(), 1300u);
  EXPECT_EQ(Parse(line), "<none>");
}

TEST_F(DefinitionsTest, FindIniValueRules) {
  const std::string ini = Write(
      "rules.ini",
      "Data=before any section\r\n"
      "; Data=comment\r\n"
      "[Paths] \r\n"
      "Data=trailing blank header\r\n"
      "[paths]\r\n"
      "Spaced = x\r\n"
      "DataX=longer key\r\n"
      "   data=first, indented  \r\n"
      "Data=second\r\n"
      "[Other]\r\n"
      "Late=other\r\n"
      "[PATHS]\r\n"
      "Data=third\r\n"
      "Late=late\r\n");
  EXPECT_EQ(Find(ini, "[Paths]", "Data"), "N=first, indented  ");
  EXPECT_EQ(Find(ini, "[Paths]", "Spaced"), "<none>");
  EXPECT_EQ(Find(ini, "[Paths]", "Spaced "), "N= x");
  EXPECT_EQ(Find(ini, "[Paths]", "Late"), "N=late");  // a later section of the name
  EXPECT_EQ(Find(ini, "[Other]", "Data"), "<none>");
  EXPECT_EQ(Find(dir_ + "none.ini", "[Paths]", "Data"), "<none>");
  EXPECT_EQ(FindIniValue(nullptr, "[Paths]", "Data", "N"), nullptr);
}

TEST_F(DefinitionsTest, FindIniValueReadsCrOnlyAndLastLineWithoutEnd) {
  const std::string ini = Write("cr.ini", "[S]\rA=1\rB=2");
  EXPECT_EQ(Find(ini, "[S]", "A"), "N=1");
  EXPECT_EQ(Find(ini, "[S]", "B"), "N=2");
}

TEST_F(DefinitionsTest, IniSectionsInAnyCaseAndRepeated) {
  Write("Quillon.ini", "[P]\r\nA=1\r\nB=2\r\nC=3\r\n");
  Write("bin\\f.ini", "[P]\r\nD=4\r\n");
  const std::string ini = dir_ + "Quillon.ini";
  ReadScript({"[Options]", "A=" + ini + ";P;A", "[ReadIni]", "A={des}Quillon.ini;P;A",
              "; B={des}Quillon.ini;P;B", "", "   ", "[readini] ", "X={des}Quillon.ini;P;B",
              "[Copy]", "Y={des}Quillon.ini;P;B", "[READINI]", "C=0;{des}Quillon.ini;P;C",
              "Missing={des}Quillon.ini;P;Z", "D={ini=A}f.ini;P;D"},
             false);
  // {ini=A} is the program directory even though A is defined above.
  std::vector<std::string> expected = {"A=1\\", "C=3", "D=4\\"};
  EXPECT_EQ(Entries(), expected);
}

TEST_F(DefinitionsTest, TenDefinitionsAtMost) {
  Write("Quillon.ini", "[P]\r\nK=v\r\n");
  std::vector<std::string> script = {"[readini]"};
  for (int i = 0; i < 11; ++i) script.push_back("N" + std::to_string(i) + "={des}Quillon.ini;P;K");
  ReadScript(script, false);
  std::vector<std::string> entries = Entries();
  ASSERT_EQ(entries.size(), 10u);
  EXPECT_EQ(entries[0], "N0=v\\");
  EXPECT_EQ(entries[9], "N9=v\\");
  EXPECT_EQ(table_[10], nullptr);
}

TEST_F(DefinitionsTest, TableEndsWithANullAfterItsEntries) {
  Write("Quillon.ini", "[P]\r\nK=v\r\n");
  static char stale[] = "Stale=1";
  table_[1] = stale;  // behind the first null: left over, not an entry
  ReadScript({"[readini]", "N={des}Quillon.ini;P;K"}, false);
  EXPECT_EQ(Entries(), std::vector<std::string>{"N=v\\"});
  EXPECT_EQ(table_[1], nullptr);
  if (table_[1] == stale) table_[1] = nullptr;  // not the table's to free
}

TEST_F(DefinitionsTest, RegistryDefinitions) {
  FakeRegistrySetValue(kRootCurrentUser, "Software\\Example", "Folder", "C:\\Home");
  FakeRegistrySetValue(kRootCurrentUser, "Software\\Example", "Other", "\"D:\\Quoted\\\"");
  FakeRegistrySetValue(kRootClassesRoot, ".txt", nullptr, "txtfile");
  FakeRegistrySetValue(kRootLocalMachine, "Software\\Example", "Other", "machine");
  ReadScript({"[READREG]", "Home=HKCU;Software\\Example;Folder", "Next=;Software\\Example;Other",
              "Raw=0;HKCU;Software\\Example;Folder", "Txt=HKCR;.txt;;", "NoKey=HKCR;.txt;",
              "Missing=HKCU;Software\\Example;Nothing", "[readreg] ", "Hidden=HKLM;Software\\Example;Other"},
             true);
  std::vector<std::string> expected = {"Home=C:\\Home\\", "Next=D:\\Quoted\\", "Raw=C:\\Home",
                                       "Txt=txtfile\\"};
  EXPECT_EQ(Entries(), expected);
}

TEST_F(DefinitionsTest, RegistryRootIsCarriedBetweenLinesAndSections) {
  FakeRegistrySetValue(kRootCurrentUser, "Software\\Example", "Other", "user");
  FakeRegistrySetValue(kRootLocalMachine, "Software\\Example", "Other", "machine");
  FakeRegistrySetValue(kRootClassesRoot, "Software\\Example", "Other", "classes");
  ReadScript({"[readreg]", "First=;Software\\Example;Other", "[readreg]",
              "Home=HKCU;Software\\Example;Nothing", "[Options]", "[readreg]",
              "Next=0;;Software\\Example;Other", "Root=HKCR;Software", "After=;Software\\Example;Other"},
             true);
  // A line that names a root sets it even when it gives no entry.
  std::vector<std::string> expected = {"First=machine\\", "Next=user", "After=classes\\"};
  EXPECT_EQ(Entries(), expected);
}

TEST_F(DefinitionsTest, RegistryLinesAfterTheTenthAreNotRead) {
  FakeRegistrySetValue(kRootCurrentUser, "K", "V", "x");
  std::vector<std::string> script = {"[readreg]", "Skipped=HKCU;K;Missing"};
  for (int i = 0; i < 11; ++i) script.push_back("N" + std::to_string(i) + "=HKCU;K;V");
  ReadScript(script, true);
  EXPECT_EQ(Entries().size(), 10u);
  EXPECT_EQ(FakeRegistryReadCount(), 11);  // the miss and ten entries; not the eleventh
}

TEST_F(DefinitionsTest, RegistryValuesLongerThanALineAreKeptWhole) {
  FakeRegistrySetValue(kRootCurrentUser, "K", "Fits", std::string(1297, 'v').c_str());
  FakeRegistrySetValue(kRootCurrentUser, "K", "Over", std::string(1298, 'v').c_str());
  FakeRegistrySetValue(kRootCurrentUser, "K", "Big", std::string(1400, 'b').c_str());
  ReadScript({"[readreg]", "N=HKCU;K;Over", "N=0;HKCU;K;Over", "N=HKCU;K;Fits", "B=0;HKCU;K;Big"},
             true);
  std::vector<std::string> entries = Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0], "N=" + std::string(1298, 'v') + "\\");
  EXPECT_EQ(entries[1].size(), 1300u);
  EXPECT_EQ(entries[2].size(), 1300u);
  EXPECT_EQ(entries[2].back(), '\\');
  EXPECT_EQ(entries[3], "B=" + std::string(1400, 'b'));
}

TEST_F(DefinitionsTest, FreeDefinitionsStopsAtTheFirstEmptySlot) {
  char* table[kDefinitionSlots] = {nullptr};
  table[0] = static_cast<char*>(std::malloc(4));
  table[1] = static_cast<char*>(std::malloc(4));
  char kept[] = "kept";
  table[3] = kept;  // after the end: not the table's
  FreeDefinitions(table, kDefinitionCapacity);
  EXPECT_EQ(table[0], nullptr);
  EXPECT_EQ(table[1], nullptr);
  EXPECT_EQ(table[3], kept);
  FreeDefinitions(nullptr, kDefinitionCapacity);
}

}  // namespace
