// Registry lines, definition sections and placeholders, seen from outside:
// what a run leaves in the registry, in INI files and on disk.
#include <gtest/gtest.h>

#include "e2e/e2e_cases.h"
#include "e2e/e2e_support.h"
#include "e2e/script_bed.h"

using driver::RunResult;
using driver::Scenario;
using e2e::Describe;
using e2e::Message;

namespace {

// A key of its own under HKCU for each case, removed before and after.
std::string TestKey() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string("Software\\SetupE2E\\") + info->name();
}

// An installation given on the command line; "SkipWelcome=1" starts the run
// by itself, and it ends with the success message.
struct Setting : e2e::CaseDirs {
  std::string key = TestKey();
  e2e::RegistryKeysGuard keys{{{HKEY_CURRENT_USER, key}}};

  bool Prepare(const std::string& script, const std::string& iniText = "") {
    return Make(e2e::kAutoStart + script, iniText, "version_2_0_14_3.exe");
  }
  RunResult Run(const std::string& programDir = "") const {
    return e2e::RunSetup(pkg.path(), LocationArgs(programDir), e2e::WithSuccess());
  }
  std::string Reg(const std::string& sub, const std::string& name) const {
    std::string value;
    if (!e2e::RegRead(HKEY_CURRENT_USER, key + sub, name, &value)) return "<missing>";
    return value;
  }
};

bool KeyExists(const std::string& subkey) { return e2e::RegKeyExists(HKEY_CURRENT_USER, subkey); }

TEST(RegistryLines, WriteRegCreatesTheKeyPathAndWritesStrings) {
  Setting s;
  const std::string k = s.key;
  ASSERT_TRUE(s.Prepare("[WriteReg]\r\n"
                        "HKCU;" + k + "\\A\\B;Name;Text\r\n"
                        "hkcu;" + k + "\\A;;Default text\r\n"
                        "HKCU;" + k + "\\A;Empty;\r\n"
                        "HKCU;" + k + "\\A;Cut;a;b\r\n"
                        "HKCU;" + k + "\\A;NoData\r\n"
                        "HKCU;" + k + "\\C\r\n"
                        ";;HKCU;" + k + "\\A;Comment;x\r\n"
                        "HKCU;" + k + "\\A;Dir;{des}\r\n"));

  RunResult r = s.Run();

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  DWORD type = 0;
  std::string value;
  ASSERT_TRUE(e2e::RegRead(HKEY_CURRENT_USER, k + "\\A\\B", "Name", &value, &type));
  EXPECT_EQ("Text", value);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  // Keys made on the way hold an empty default value.
  EXPECT_EQ("", s.Reg("\\A\\B", ""));
  EXPECT_EQ("Default text", s.Reg("\\A", ""));
  EXPECT_EQ("", s.Reg("\\A", "Empty"));
  EXPECT_EQ("a", s.Reg("\\A", "Cut"));
  EXPECT_EQ("<missing>", s.Reg("\\A", "NoData"));
  EXPECT_FALSE(KeyExists(k + "\\C"));
  EXPECT_EQ("<missing>", s.Reg("\\A", "Comment"));
  EXPECT_EQ(s.inst.path() + "\\", s.Reg("\\A", "Dir"));
  EXPECT_NE(nullptr, r.FindBox(Message(5))) << Describe(r);
}

TEST(RegistryLines, DelRegRemovesValuesAndOnlyEmptyKeys) {
  Setting s;
  const std::string k = s.key;
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, k + "\\Values", "Gone", "1"));
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, k + "\\Values", "Kept", "2"));
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, k + "\\EmptyKey", "", ""));
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, k + "\\OneValue", "Only", "x"));
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, k + "\\TwoValues", "First", "1"));
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, k + "\\TwoValues", "Second", "2"));
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, k + "\\Parent\\Child", "", ""));
  ASSERT_TRUE(s.Prepare("[DelReg]\r\n"
                        "HKCU;" + k + "\\Values;Gone;\r\n"
                        "HKCU;" + k + "\\EmptyKey;\r\n"
                        "HKCU;" + k + "\\OneValue;Only\r\n"
                        "HKCU;" + k + "\\TwoValues;;\r\n"
                        "HKCU;" + k + "\\Parent;\r\n"
                        "HKCU;;Kept;\r\n"));

  RunResult r = s.Run();

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("<missing>", s.Reg("\\Values", "Gone"));
  EXPECT_EQ("2", s.Reg("\\Values", "Kept"));
  EXPECT_FALSE(KeyExists(k + "\\EmptyKey"));
  EXPECT_FALSE(KeyExists(k + "\\OneValue"));
  EXPECT_TRUE(KeyExists(k + "\\TwoValues"));
  EXPECT_EQ("2", s.Reg("\\TwoValues", "Second"));
  EXPECT_TRUE(KeyExists(k + "\\Parent\\Child"));
}

// A value written by one package is read by the next through [readreg],
// together with a [readini] value from the installation's INI file, and
// both lead [Copy] targets and [WriteIni] values.
TEST(Definitions, ValuesFromAnEarlierRunAndTheInstallationsIniFeedLaterLines) {
  Setting s;
  e2e::TempDir data("data");
  const std::string prog = s.inst / "prog";
  ASSERT_TRUE(e2e::MakeInstallation(prog));
  const std::string k = s.key;

  ASSERT_TRUE(s.Prepare("[WriteReg]\r\nHKCU;" + k + ";DataDir;\"" + data.path() + "\"\r\n",
                        "[Paths]\r\nBin=" + prog + "\r\n"));
  RunResult first = s.Run();
  ASSERT_TRUE(first.Clean()) << Describe(first);
  ASSERT_EQ(0u, first.exitCode) << Describe(first);
  ASSERT_EQ("\"" + data.path() + "\"", s.Reg("", "DataDir"));

  ASSERT_TRUE(e2e::WriteFileBytes(s.pkg / "payload.txt", "payload"));
  ASSERT_TRUE(e2e::WriteSetupDat(
      s.pkg.path(),
      "[Options]\r\nSkipWelcome=1\r\n"
      "[readini]\r\n"
      "Bin={des}{inifile};Paths;Bin\r\n"
      "RawBin=0;{des}{inifile};Paths;Bin\r\n"
      "Missing={des}nothing.ini;Paths;Bin\r\n"
      "[readreg]\r\n"
      "Data=HKCU;" + k + ";DataDir\r\n"
      "Again=;" + k + ";DataDir\r\n"
      "[Copy]\r\n"
      "payload.txt={reg=Data}\r\n"
      "payload.txt={ini=Bin}copied\\\r\n"
      "[WriteIni]\r\n"
      "{des}{inifile}=Setup;Data;{reg=Data}\r\n"
      "{des}{inifile}=Setup;Again;{reg=Again}\r\n"
      "{des}{inifile}=Setup;Bin;{ini=Bin}\r\n"
      "{des}{inifile}=Setup;Raw;{ini=RawBin}\r\n"
      "{des}{inifile}=Setup;Missing;{ini=Missing}\r\n"
      "{des}{inifile}=Setup;Either;{ini=Missing,RawBin}\r\n"));

  RunResult second = s.Run();

  ASSERT_TRUE(second.Clean()) << Describe(second);
  EXPECT_EQ(0u, second.exitCode) << Describe(second);
  const std::string ini = s.inst / "Quillon.ini";
  // The registry text loses its quotes; a backslash is added by default.
  EXPECT_EQ(data.path() + "\\", e2e::ReadIni(ini, "Setup", "Data"));
  // An empty root carries the root of the line before.
  EXPECT_EQ(data.path() + "\\", e2e::ReadIni(ini, "Setup", "Again"));
  EXPECT_EQ(prog + "\\", e2e::ReadIni(ini, "Setup", "Bin"));
  EXPECT_EQ(prog, e2e::ReadIni(ini, "Setup", "Raw"));
  // No value: the program directory stands in.
  EXPECT_EQ(s.inst.path() + "\\", e2e::ReadIni(ini, "Setup", "Missing"));
  EXPECT_EQ(prog, e2e::ReadIni(ini, "Setup", "Either"));
  EXPECT_TRUE(e2e::PathIsFile(data / "payload.txt"));
  EXPECT_TRUE(e2e::PathIsFile(prog + "\\copied\\payload.txt"));
  // The INI file keeps what it held.
  EXPECT_EQ(prog, e2e::ReadIni(ini, "Paths", "Bin"));
}

TEST(Definitions, ValuesTooLongForALineRefuseTheLinesThatUseThem) {
  // Never the program directory in their place: each line that uses them is
  // refused (message 46), nothing is written, and the rest of the run goes on.
  Setting s;
  const std::string k = s.key;
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, k, "Big", std::string(1400, 'b')));
  ASSERT_TRUE(s.Prepare("[readreg]\r\nBig=HKCU;" + k + ";Big\r\n"
                        "[readini]\r\n"
                        "Cut={des}{inifile};Paths;Cut\r\n"
                        "Far={des}{inifile};Paths;Far\r\n"
                        "[WriteIni]\r\n"
                        "{des}b.ini=S;Reg;{reg=Big}\r\n"
                        "{des}b.ini=S;Far;{ini=Far}\r\n"
                        "{des}b.ini=S;Cut;{ini=Cut}\r\n"
                        "{des}b.ini=S;After;done\r\n",
                        "[Paths]\r\nCut=" + std::string(1297, 'c') + "\r\nFar=" +
                            std::string(5000, 'f') + "\r\n"));

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  const std::string ini = s.inst / "b.ini";
  EXPECT_EQ("<none>", e2e::ReadIni(ini, "S", "Reg", "<none>"));
  EXPECT_EQ("<none>", e2e::ReadIni(ini, "S", "Far", "<none>"));
  EXPECT_EQ("<none>", e2e::ReadIni(ini, "S", "Cut", "<none>"));
  EXPECT_EQ("done", e2e::ReadIni(ini, "S", "After"));
  EXPECT_EQ(0u, e2e::FinalErrorDetail(r).find(e2e::CzRefusedLine())) << Describe(r);
}

TEST(Placeholders, DirectoriesDatesAndFileVersionsInWriteIniValues) {
  Setting s;
  const std::string prog = s.inst / "prog";
  ASSERT_TRUE(e2e::MakeInstallation(prog, "", "version_3_10_0_5.exe"));
  ASSERT_TRUE(s.Prepare("Date=1.1.2013\r\n"
                        "[WriteIni]\r\n"
                        "{des}probe.ini=P;src;{src}\r\n"
                        "{des}probe.ini=P;des;{DES}\r\n"
                        "{des}probe.ini=P;exe;{exe}\r\n"
                        "{des}probe.ini=P;inifile;{inifile}\r\n"
                        "{des}probe.ini=P;idts;{idts}\r\n"
                        "{des}probe.ini=P;idta;{idta}\r\n"
                        "{des}probe.ini=P;idtn;{idtn}\r\n"
                        "{des}probe.ini=P;fver;{fver={exe}quillon.exe}\r\n"
                        "{des}probe.ini=P;fverInstall;{fver={des}quillon.exe}\r\n"
                        "{des}probe.ini=P;fverMissing;{fver={des}nothing.exe}\r\n"
                        "{des}probe.ini=P;exedir;[$EXEDIR$]\r\n"
                        "{des}probe.ini=P;exedirLower;$exedir$\r\n"
                        "{des}probe.ini=P;temp;$TEMP$\r\n"
                        "{des}probe.ini=P;dollars;$FOO$bar $$ {abc}x\r\n"));

  RunResult r = s.Run(prog);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  const std::string probe = s.inst / "probe.ini";
  EXPECT_EQ(s.pkg.path() + "\\", e2e::ReadIni(probe, "P", "src"));
  EXPECT_EQ(s.inst.path() + "\\", e2e::ReadIni(probe, "P", "des"));
  EXPECT_EQ(prog + "\\", e2e::ReadIni(probe, "P", "exe"));
  EXPECT_EQ("Quillon.ini", e2e::ReadIni(probe, "P", "inifile"));
  EXPECT_EQ("1.1.2013", e2e::ReadIni(probe, "P", "idts"));
  EXPECT_EQ("20130101", e2e::ReadIni(probe, "P", "idta"));
  EXPECT_EQ("41275", e2e::ReadIni(probe, "P", "idtn"));
  // The file version, not the product version of the fixtures.
  EXPECT_EQ("3.10.0.5", e2e::ReadIni(probe, "P", "fver"));
  EXPECT_EQ("2.0.14.3", e2e::ReadIni(probe, "P", "fverInstall"));
  EXPECT_EQ("0.0.0.0", e2e::ReadIni(probe, "P", "fverMissing"));
  EXPECT_EQ("[" + prog + "]", e2e::ReadIni(probe, "P", "exedir"));
  EXPECT_EQ(prog, e2e::ReadIni(probe, "P", "exedirLower"));
  char temp[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof temp, temp);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(temp, n), e2e::ReadIni(probe, "P", "temp"));
  EXPECT_EQ("$FOObar $ x", e2e::ReadIni(probe, "P", "dollars"));
}

TEST(Placeholders, WithoutADateTheDateFormsInsertNothing) {
  Setting s;
  ASSERT_TRUE(s.Prepare("[WriteIni]\r\n"
                        "{des}probe.ini=P;dates;<{idts}|{idta}|{idtn}>\r\n"));

  RunResult r = s.Run();

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("<||>", e2e::ReadIni(s.inst / "probe.ini", "P", "dates"));
}

}  // namespace
