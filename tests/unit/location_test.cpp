// Start-up configuration routines on real directories and script files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/text.h"
#include "unit/unit_support.h"

namespace {

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1];
  GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

class LocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit::ResetInstaller();
    saved_ = CurrentDirectory();
  }
  void TearDown() override {
    SetCurrentDirectoryA(saved_.c_str());
    unit::ResetInstaller();
  }
  std::string saved_;
};

TEST_F(LocationTest, OpenCommandGivesInstallDirIniNameAndProgramDir) {
  unit::TempDir data;
  char command[261], program[261] = "", ini[261] = "Quillon.ini";
  FormatText(command, sizeof command, "\"C:\\Apps\\Quillon\\quillon.exe\" /i \"%s\\Data.INI\" \"%%1\"",
             data.path().c_str());
  ASSERT_TRUE(ParseOpenCommand(command, program, ini));
  EXPECT_STREQ(command, data.path().c_str());
  EXPECT_STREQ(ini, "Data.INI");
  EXPECT_STREQ(program, "\"C:\\Apps\\Quillon\"");
  // A successful parse leaves the install directory as the current one.
  char current[MAX_PATH + 1];
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_STREQ(current, data.path().c_str());
}

TEST_F(LocationTest, OpenCommandSecondExtensionAndMissingDirectory) {
  char command[261] = "C:\\q.exe /i D:\\no-such-dir-x\\a.ini.bak", program[261] = "", ini[261] = "Quillon.ini";
  EXPECT_FALSE(ParseOpenCommand(command, program, ini));
  EXPECT_STREQ(ini, "a.ini");  // only the four characters from the first dot count
  EXPECT_STREQ(command, "D:\\no-such-dir-x");
  EXPECT_STREQ(program, "C:\"");
}

TEST_F(LocationTest, OpenCommandNamingAnotherFileUsesItsDirectory) {
  unit::TempDir data;
  char command[261], program[261] = "", ini[261] = "Quillon.ini";
  FormatText(command, sizeof command, "q.exe /i \"%s\\Quillon.cfg\"", data.path().c_str());
  EXPECT_TRUE(ParseOpenCommand(command, program, ini));
  EXPECT_STREQ(command, data.path().c_str());
  EXPECT_STREQ(ini, "Quillon.ini");
}

TEST_F(LocationTest, OpenCommandWithoutSwitchChangesNothing) {
  char command[261] = "C:\\q.exe /I D:\\x\\a.ini", program[261] = "keep", ini[261] = "Quillon.ini";
  EXPECT_FALSE(ParseOpenCommand(command, program, ini));
  EXPECT_STREQ(command, "C:\\q.exe /I D:\\x\\a.ini");
  EXPECT_STREQ(program, "keep");
  char noBlank[261] = "C:\\q.exe /iD:\\x\\a.ini";
  EXPECT_FALSE(ParseOpenCommand(noBlank, program, ini));
  EXPECT_STREQ(noBlank, "C:\\q.exe /iD:\\x\\a.ini");
}

TEST_F(LocationTest, OpenCommandWithoutBackslashTriesTheWholeText) {
  unit::TempDir dir;
  SetCurrentDirectoryA(dir.path().c_str());
  CreateDirectoryA("sub", nullptr);
  char command[261] = "q.exe /i \"sub\"", program[261] = "", ini[261] = "Quillon.ini";
  EXPECT_TRUE(ParseOpenCommand(command, program, ini));
  EXPECT_STREQ(command, "sub");
  EXPECT_STREQ(ini, "Quillon.ini");
  SetCurrentDirectoryA(saved_.c_str());
}

TEST_F(LocationTest, DeriveProgramDirFollowsBinDirWhenQuillonIsThere) {
  unit::TempDir install;
  CreateDirectoryA(install.File("bin").c_str(), nullptr);
  install.Write("bin\\quillon.exe", "MZ");
  install.Write("Quillon.ini", "[Paths]\r\nBin=" + install.File("bin") + "\r\n");
  CopyText(installer.iniFileName, sizeof installer.iniFileName, "Quillon.ini");
  CopyText(installer.readIniBinDir, sizeof installer.readIniBinDir, "{des}Quillon.ini;Paths;Bin");
  char candidate[261], out[261] = "";
  CopyText(candidate, sizeof candidate, install.path().c_str());
  installer.DeriveProgramDir(candidate, out);
  EXPECT_EQ(std::string(out), install.File("bin"));
  EXPECT_STREQ(candidate, install.path().c_str());  // its backslash was only borrowed
  EXPECT_EQ(installer.iniDefinitions[0], nullptr);   // the table is left empty

  // Without quillon.exe in that directory nothing is written.
  DeleteFileA(install.File("bin\\quillon.exe").c_str());
  out[0] = '\0';
  installer.DeriveProgramDir(candidate, out);
  EXPECT_STREQ(out, "");
  // Without a BinDir option nothing happens either.
  installer.readIniBinDir[0] = '\0';
  installer.DeriveProgramDir(candidate, out);
  EXPECT_STREQ(out, "");
}

TEST_F(LocationTest, OptionsAreReadWithDefaultsAndLimits) {
  unit::TempDir package;
  std::string longTitle(600, 'T');
  package.Write("Setup.dat",
                "[Options]\r\nLangID=2\r\nMsgTitle=" + longTitle +
                    "\r\nMinVer=1.0:Old\r\nDate=24.12.2012 +1 ignored\r\nKillQuillon=1\r\n"
                    "[ReadIni]\r\nBinDir={des}Quillon.ini;Paths;Bin\r\n");
  SetCurrentDirectoryA(package.path().c_str());
  ASSERT_TRUE(installer.LoadOptions());
  EXPECT_EQ(installer.languageId, 2);
  EXPECT_EQ(std::strlen(installer.msgTitle), 511u);      // cut to the field
  EXPECT_EQ(std::string(installer.info), std::string(254, 'T'));  // defaults to the caption
  EXPECT_EQ(std::string(installer.byeMsg), unit::Message(2005));
  EXPECT_STREQ(installer.minVer, "1.0:Old");
  EXPECT_TRUE(installer.killApp);
  EXPECT_STREQ(installer.readIniBinDir, "{des}Quillon.ini;Paths;Bin");
  EXPECT_EQ(std::string(installer.packageDir), package.path() + "\\");
  // The date is parsed from its first 13 characters: "24.12.2012 +1".
  ASSERT_TRUE(installer.packageDate.valid);
  EXPECT_EQ(installer.packageDate.day, 25);
  EXPECT_STREQ(installer.iniFileName, "Quillon.ini");
  EXPECT_NE(installer.scriptFile, nullptr);
}

TEST_F(LocationTest, MissingScriptShowsTheFixedMessage) {
  unit::TempDir package;
  SetCurrentDirectoryA(package.path().c_str());
  unit::ScriptedBoxes boxes;
  EXPECT_FALSE(installer.LoadOptions());
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "Soubor Setup.dat nenalezen! Nelze pokra\xe8ovat v instalaci!");
  EXPECT_EQ(boxes.boxes()[0].caption, "Chyba souboru...");
  EXPECT_EQ(boxes.boxes()[0].style, UINT(MB_OK | MB_ICONWARNING | MB_SETFOREGROUND));
}

TEST_F(LocationTest, KillFlagOnlyAsAWholeLineOfOptions) {
  unit::TempDir package;
  SetCurrentDirectoryA(package.path().c_str());
  package.Write("Setup.dat", "[Options]\r\nKillQuillon = 1\r\n[Other]\r\nKillQuillon=1\r\n");
  ASSERT_TRUE(installer.LoadOptions());
  EXPECT_FALSE(installer.killApp);
  unit::ResetInstaller();
  package.Write("Setup.dat", "[Options]\r\n  killquillon=1\r\n");
  ASSERT_TRUE(installer.LoadOptions());
  EXPECT_TRUE(installer.killApp);
}

}  // namespace
