// Definition sections against real INI files and the real registry. Every
// registry test works below its own key HKCU\Software\SetupTests\<test> and
// removes it again.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "expand/definitions.h"
#include "expand/expand.h"
#include "unit/unit_support.h"

namespace {

void SetValue(const std::string& path, const char* name, const std::string& data) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                           KEY_WRITE, nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(data.c_str()),
                                          static_cast<DWORD>(data.size() + 1)));
  RegCloseKey(key);
}

class DefinitionsWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = std::string("Software\\SetupTests\\") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    unit::DeleteRegistryTree(HKEY_CURRENT_USER, key_);
    install_ = dir_.path() + "\\";
    for (char*& slot : table_) slot = nullptr;
  }
  void TearDown() override {
    FreeDefinitions(table_, kDefinitionCapacity);
    unit::DeleteRegistryTree(HKEY_CURRENT_USER, key_);
    // The common parent goes once no other test holds a key under it.
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\SetupTests");
  }

  void Read(const std::string& script, bool registry) {
    dir_.Write("setup.dat", script);
    FILE* file = std::fopen(dir_.File("setup.dat").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    if (registry) {
      ReadRegDefinitions(file, table_, kDefinitionCapacity, "P:\\pkg\\", install_.c_str(),
                         "C:\\bin\\", "Quillon.ini", nullptr, true);
    } else {
      ReadIniDefinitions(file, table_, kDefinitionCapacity, "P:\\pkg\\", install_.c_str(),
                         "C:\\bin\\", "Quillon.ini", nullptr, true);
    }
    EXPECT_EQ(0L, std::ftell(file));
    std::fclose(file);
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (int i = 0; i < kDefinitionSlots && table_[i]; ++i) entries.push_back(table_[i]);
    return entries;
  }

  unit::TempDir dir_;
  std::string install_;
  std::string key_;
  char* table_[kDefinitionSlots];
};

TEST_F(DefinitionsWineTest, IniDefinitionsFromRealFiles) {
  dir_.Write("Quillon.ini",
             "[Paths]\r\nData=E:\\Shared\r\nBinDir=E:\\Apps\\Quillon\\bin\\\r\n"
             "[Version]\r\nNumber=3.10\r\n");
  Read("[Options]\r\nLangID=1\r\n[ReadIni]\r\nDataDir={des}Quillon.ini;Paths;Data\r\n"
       "Ver=0;{des}Quillon.ini;Version;Number\r\n"
       "Bin={des}{inifile};paths;bindir\r\n"
       "Missing={des}Nothing.ini;Paths;Data\r\n",
       false);
  std::vector<std::string> expected = {"DataDir=E:\\Shared\\", "Ver=3.10",
                                       "Bin=E:\\Apps\\Quillon\\bin\\"};
  EXPECT_EQ(Entries(), expected);
}

TEST_F(DefinitionsWineTest, ReaderAgreesWithTheProfileWriter) {
  const std::string ini = dir_.File("written.ini");
  ASSERT_TRUE(WritePrivateProfileStringA("Paths", "Data", "D:\\Written", ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Other", "Data", "wrong", ini.c_str()));
  char* entry = FindIniValue(ini.c_str(), "[Paths]", "Data", "N");
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(entry, "N=D:\\Written");
  std::free(entry);

  char line[1301];
  lstrcpynA(line, ("BinDir=" + ini + ";Paths;Data").c_str(), sizeof line);
  entry = ParseIniDefinition(line, "P:\\pkg\\", install_.c_str(), "C:\\bin\\", "Quillon.ini",
                             nullptr, true);
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(entry, "BinDir=D:\\Written\\");
  std::free(entry);
}

TEST_F(DefinitionsWineTest, RegistryDefinitionsFromTheRealRegistry) {
  SetValue(key_, "Folder", "C:\\Home");
  SetValue(key_, "Quoted", "\"D:\\Prog Files\\x.exe\"");
  SetValue(key_, "", "default text");
  SetValue(key_ + "\\Sub", "Other", "sub value");
  Read("[readreg]\r\nHome=HKCU;" + key_ + ";Folder\r\n"
       "Exe=0;;" + key_ + ";Quoted\r\n"
       "Default=0;;" + key_ + ";;\r\n"
       "[Copy]\r\nx=y\r\n[READREG]\r\n"
       "Carried=;" + key_ + "\\Sub;Other\r\n"
       "Missing=HKCU;" + key_ + ";Nothing\r\n"
       "Machine=HKLM;" + key_ + ";Folder\r\n",
       true);
  std::vector<std::string> expected = {"Home=C:\\Home\\", "Exe=D:\\Prog Files\\x.exe",
                                       "Default=default text", "Carried=sub value\\"};
  EXPECT_EQ(Entries(), expected);
}

TEST_F(DefinitionsWineTest, EmptyRootOnTheFirstLineIsTheLocalMachine) {
  SetValue(key_, "Folder", "user");
  Read("[readreg]\r\nFirst=;" + key_ + ";Folder\r\nSecond=HKCU;" + key_ + ";Folder\r\n", true);
  std::vector<std::string> expected = {"Second=user\\"};
  EXPECT_EQ(Entries(), expected);
}

TEST_F(DefinitionsWineTest, DefinitionsFeedThePlaceholders) {
  dir_.Write("Quillon.ini", "[Paths]\r\nData=E:\\Shared\r\n");
  Read("[readini]\r\nDataDir={des}Quillon.ini;Paths;Data\r\n", false);
  char text[1301] = "{ini=Nope,DataDir}file.txt|{ini=Nope}";
  char* none[kDefinitionSlots] = {nullptr};
  EXPECT_TRUE(ExpandPlaceholders(text, sizeof text, "P:\\pkg\\", install_.c_str(), "C:\\bin\\",
                                 "Quillon.ini", table_, none, nullptr));
  EXPECT_STREQ(text, "E:\\Shared\\file.txt|C:\\bin\\");
}

}  // namespace
