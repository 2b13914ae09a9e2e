// setupcheck against the real Setup.exe on trap packages: every line of the
// package that writes a marker (an INI key or a registry value named after
// it) leaves that marker exactly when setupcheck says the line runs; a flag
// line setupcheck calls unseen changes nothing.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_cases.h"
#include "e2e/e2e_support.h"
#include "e2e/package_check.h"
#include "e2e/script_bed.h"

using driver::RunResult;
using driver::Scenario;
using driver::Step;
using e2e::Describe;

namespace {

const char kTrapKey[] = "Software\\SetupcheckTrap";

// setupcheck --lines: the numbers of the lines it says Setup runs.
std::set<int> LinesSaidToRun(const std::string& packageDir, std::string* output) {
  std::set<int> lines;
  e2e::RunSetupcheck("--lines \"" + packageDir + "\"", output);
  for (size_t at = output->find(": runs"); at != std::string::npos; at = output->find(": runs", at + 1)) {
    size_t start = output->rfind(':', at - 1);
    lines.insert(std::atoi(output->c_str() + start + 1));
  }
  return lines;
}

// The lines as Setup's reader returns them: CR ends one, LF and NUL are
// dropped, leading blanks skipped.
std::vector<std::string> ReaderLines(const std::string& bytes) {
  std::vector<std::string> lines(1);
  for (char c : bytes) {
    if (c == '\r') {
      lines.emplace_back();
    } else if (c != '\n' && c != '\0' && !((c == ' ' || c == '\t') && lines.back().empty())) {
      lines.back() += c;
    }
  }
  return lines;
}

// The marker a line writes: the name after "M;" (INI) or after the trap
// key's ';' (registry), up to the next ';'.
std::string MarkerOf(const std::string& line) {
  for (const std::string& lead : {std::string("=M;"), std::string(kTrapKey) + ";"}) {
    size_t at = line.find(lead);
    if (at != std::string::npos) {
      at += lead.size();
      return line.substr(at, line.find(';', at) - at);
    }
  }
  return "";
}

// The markers a run left: keys of [M] in marks.ini, values of the trap key.
std::set<std::string> MarkersLeft(const e2e::ScriptBed& bed) {
  std::set<std::string> markers;
  char keys[8192];
  DWORD size = GetPrivateProfileStringA("M", nullptr, "", keys, sizeof keys, bed.Inst("marks.ini").c_str());
  for (const char* key = keys; key < keys + size && *key; key += strlen(key) + 1) markers.insert(key);
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY key;
    if (RegOpenKeyExA(root, kTrapKey, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    char name[256];
    for (DWORD i = 0, length = sizeof name; RegEnumValueA(key, i, name, &length, nullptr, nullptr,
                                                           nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name) {
      markers.insert(name);
    }
    RegCloseKey(key);
  }
  return markers;
}

std::string Joined(const std::set<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
  return text;
}

std::string Repeated(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

struct Trap {
  const char* name;
  std::string script;
};

TEST(CheckAgreement, LinesSetupcheckSaysRunAreTheLinesSetupRuns) {
  e2e::RegistryKeysGuard keys({{HKEY_CURRENT_USER, kTrapKey}, {HKEY_LOCAL_MACHINE, kTrapKey}});
  const std::string mark = "{des}marks.ini=M;";
  const Trap traps[] = {
      {"headers, comments, unknown sections, refused lines",
       e2e::CrLf(mark + "A1;1\n"  // above the first header
                 "[Options]\nSkipWelcome=1\n" + mark + "A2;1\n"
                 "[WriteIni]\n" + mark + "A3;1\n;" + mark + "A4;1\n"
                 "[WriteIni] \n" + mark + "A5;1\n"
                 "[WriteIni] ; probes\n" + mark + "A6;1\n"
                 "[WrteIni]\n" + mark + "A7;1\n"
                 "[Write Ini]\n" + mark + "A8;1\n"
                 "[Wr\xEDteIni]\n" + mark + "A9;1\n"
                 "[writeini]\n" + mark + "A10;1\n"
                 "   [WRITEINI]\n\t" + mark + "A11;1\n"
                 "[Notes]\n" + mark + "A12;1\n"
                 "[readini]\n" + mark + "A13;1\n"
                 "[WriteIni]\n" + mark + "A14;1" + std::string(1300, 'x') + "\n" +
                 mark + "A15;1" + Repeated("{inifile}", 140) + "\n" + mark + "A16;1\n"
                 "[WriteReg]\n;" + kTrapKey + ";A17;1\n;;HKCU;" + kTrapKey + ";A18;1\n"
                 "HKCU;" + kTrapKey + ";A19;1\n")},
      {"LF line ends only", "[Options]\nSkipWelcome=1\n[WriteIni]\n" + mark + "B1;1\n"},
      {"byte-order mark",
       "\xEF\xBB\xBF[WriteIni]\r\n" + mark + "C1;1\r\n[Options]\r\nSkipWelcome=1\r\n"
       "[WriteIni]\r\n" + mark + "C2;1\r\n"},
      {"LF inside a line, CR alone",
       "[Options]\rSkipWelcome=1\r[WriteIni]\r" + mark + "D1;1\n" + mark + "D2;1\r" + mark +
           "D3;1\r"},
  };
  for (const Trap& trap : traps) {
    SCOPED_TRACE(trap.name);
    keys.Clear();
    e2e::ScriptBed bed;
    ASSERT_TRUE(e2e::WriteSetupDat(bed.pkg(), trap.script));
    std::string output;
    std::set<int> running = LinesSaidToRun(bed.pkg(), &output);
    std::vector<std::string> lines = ReaderLines(trap.script);
    std::set<std::string> expected;
    for (int number : running) {
      ASSERT_LE(static_cast<size_t>(number), lines.size()) << output;
      std::string marker = MarkerOf(lines[static_cast<size_t>(number) - 1]);
      if (!marker.empty()) expected.insert(marker);
    }

    RunResult r = bed.Run(trap.script, e2e::FinalAnswers(), "/silent");

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(Joined(expected), Joined(MarkersLeft(bed))) << output << Describe(r);
  }
}

TEST(CheckAgreement, AFlagLineSetupcheckCallsUnseenDoesNothing) {
  for (const char* flag : {"SkipInfo=1", "SkipInfo=1 ", "SkipInfo = 1", "skipinfo=1"}) {
    SCOPED_TRACE(flag);
    e2e::ScriptBed bed;
    const std::string script = e2e::CrLf(std::string("[Options]\nSkipWelcome=1\n") + flag + "\n");
    ASSERT_TRUE(e2e::WriteSetupDat(bed.pkg(), script));
    std::string output;
    bool unseen = e2e::RunSetupcheck("--json \"" + bed.pkg() + "\"", &output) != 0 &&
                  output.find("\"flag-not-seen\"") != std::string::npos;

    RunResult r = bed.Run(script, e2e::FinalAnswers());

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(unseen, r.FindBox(e2e::Message(5)) != nullptr) << output << Describe(r);
  }
}

TEST(CheckAgreement, ThePackageDirectoryMayEndInABackslash) {
  e2e::ScriptBed bed;
  ASSERT_TRUE(e2e::WriteSetupDat(bed.pkg(), "[Copy]\r\nmissing.dll\r\n"));
  std::string plain, withBackslash;
  EXPECT_EQ(2, e2e::RunSetupcheck("\"" + bed.pkg() + "\"", &plain)) << plain;
  EXPECT_EQ(2, e2e::RunSetupcheck("\"" + bed.pkg() + "\\\\\"", &withBackslash)) << withBackslash;
  EXPECT_NE(std::string::npos, withBackslash.find("[copy-source-missing]")) << withBackslash;
}

// What the README says of the option texts and of the definitions, as
// Setup does it.
TEST(ReadmeClaims, OptionTextsGetTheDirectoriesWithoutTheirFinalBackslash) {
  e2e::ScriptBed bed;
  const std::string script =
      "[Options]\r\nMsgTitle=T {des}|{exe}|{src}\r\nInfo=I {des}data\r\nByeMsg=Hotovo v {des}\r\n";
  const std::string confirm = e2e::Message(11).substr(0, e2e::Message(11).find('%'));
  Scenario sc;
  sc.Answer(confirm, IDNO, 1);
  sc.Answer("Hotovo v ", IDOK, 1);
  sc.Then(Step::Snapshot()).Then(Step::PressInstall());

  RunResult r = bed.Run(script, sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  driver::DialogSnapshot d = e2e::BeforeStep(r, 0);
  ASSERT_TRUE(d.valid) << Describe(r);
  EXPECT_EQ("T " + bed.inst() + "|" + bed.prog() + "|" + bed.pkg() + "\\", d.caption);
  EXPECT_EQ("I " + bed.inst() + "data", d.info);
  const driver::BoxRecord* bye = r.FindBox("Hotovo v ");
  ASSERT_NE(nullptr, bye) << Describe(r);
  EXPECT_EQ("Hotovo v " + bed.inst(), bye->text);
}

TEST(ReadmeClaims, ADefinitionThatFindsNothingLetsAnEleventhLineBeRead) {
  e2e::ScriptBed bed;
  std::string values = "[S]\r\n";
  std::string script = "[readini]\r\nMiss={des}vals.ini;S;Missing\r\n";
  for (int i = 0; i <= 10; ++i) {
    values += "N" + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
    script += "N" + std::to_string(i) + "={des}vals.ini;S;N" + std::to_string(i) + "\r\n";
  }
  script += "[WriteIni]\r\n{des}marks.ini=M;Tenth;{ini=N9}\r\n{des}marks.ini=M;Eleventh;{ini=N10}\r\n";
  FILE* file = std::fopen(bed.Inst("vals.ini").c_str(), "wb");
  ASSERT_NE(nullptr, file);
  std::fwrite(values.data(), 1, values.size(), file);
  std::fclose(file);

  RunResult r = bed.Run(script, e2e::FinalAnswers(), "/silent");

  ASSERT_TRUE(r.Clean()) << Describe(r);
  char tenth[300], eleventh[300];
  GetPrivateProfileStringA("M", "Tenth", "", tenth, sizeof tenth, bed.Inst("marks.ini").c_str());
  GetPrivateProfileStringA("M", "Eleventh", "", eleventh, sizeof eleventh,
                           bed.Inst("marks.ini").c_str());
  EXPECT_EQ("v9\\", std::string(tenth));  // the eleventh line, read: the first found nothing
  EXPECT_EQ(0u, std::string(eleventh).find(bed.prog())) << eleventh;  // the twelfth is not read
}

}  // namespace
