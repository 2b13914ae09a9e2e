// Czech and Slovak names where users have them: the package directory, its
// sources and subdirectories, an installation under C:\Program Files, an
// INI file with such a name and value, a program in such a directory. The
// same package is rehearsed (/plan), stopped and rolled back, and run; the
// run's log and the plan name every file in valid UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_cases.h"
#include "e2e/script_bed.h"
#include "e2e/snapshot.h"

using driver::RunResult;
using driver::Scenario;
using driver::ToUtf8;
using e2e::Ansi;
using e2e::Describe;
using e2e::FileText;
using e2e::JoinPath;
using e2e::LogLines;

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool IsUtf8(const std::string& text) {
  return text.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                             static_cast<int>(text.size()), nullptr, 0) > 0;
}

std::string WholeFile(const std::string& path) {
  std::string bytes;
  e2e::ReadFileBytes(path, &bytes);
  return bytes;
}

// A package in "Balíček aktualizace" and an installation in
// "C:\Program Files\Účetnictví": every name the script touches has Czech or
// Slovak letters.
struct CzechBed {
  e2e::TempDir temp{"cz"};
  const std::string pkg = temp / Ansi("Balíček aktualizace");
  const std::string inst = Ansi("C:\\Program Files\\Účetnictví");
  const std::string records = temp / Ansi("Záznamy běhů");
  const std::string recorderLog = JoinPath(records, Ansi("převod – ľudia.log"));

  CzechBed() { e2e::DeleteTree(inst); }
  ~CzechBed() {
    char keep[8];
    if (!GetEnvironmentVariableA("SETUP_E2E_KEEP", keep, sizeof keep)) e2e::DeleteTree(inst);
  }

  std::string Pkg(const char* utf8) const { return JoinPath(pkg, Ansi(utf8)); }
  std::string Inst(const char* utf8) const { return JoinPath(inst, Ansi(utf8)); }

  bool Prepare() const {
    return e2e::MakeDirs(records) &&
           e2e::WriteFileBytes(Pkg("čtěte mě.txt"), "nový text") &&
           e2e::WriteFileBytes(Pkg("šablony\\faktura.qtp"), "faktura") &&
           e2e::WriteFileBytes(Pkg("šablony\\účtenka.qtp"), "účtenka") &&
           e2e::WriteFileBytes(Pkg("šablony\\stará účtenka.qtp"), "stará") &&
           e2e::CopyFixture("recorder.exe", Pkg("Nástroje\\převod.exe")) &&
           e2e::MakeInstallation(inst, "[Main]\r\nName=test\r\n") &&
           e2e::WriteFileBytes(Inst("čtěte mě.txt"), "starý text") &&
           e2e::WriteFileBytes(Inst("Nástroje\\převod.exe"), "MZ starý převod") &&
           e2e::WriteFileBytes(Inst("mezivýpočet.tmp"), "tmp") &&
           e2e::WriteFileBytes(Inst("záloha.tmp"), "tmp") &&
           e2e::WriteFileBytes(Inst("účty.tmpx"), "keep") &&
           e2e::WriteFileBytes(Inst("nastavení.cfg"), "nastavení") &&
           e2e::WriteFileBytes(Inst("Účetnictví.ini"), Ansi("[Uživatel]\r\nJméno=Jan Novák\r\n"));
  }

  // The script; `end` follows the last section.
  std::string Script(const char* end = "") const {
    return Ansi(e2e::CrLf(std::string("[Options]\nSkipWelcome=1\n"
                                      "[Copy]\n"
                                      "čtěte mě.txt\n"
                                      "šablony\\*.qtp={des}Šablony\\|stará*.qtp\n"
                                      "Nástroje\\převod.exe={des}Nástroje\\\n"
                                      "[Delete]\n{des}*.tmp\n"
                                      "[Move]\n{des}nastavení.cfg={des}původní nastavení.cfg\n"
                                      "[WriteIni]\n{des}Účetnictví.ini=Uživatel;Jméno;Žofie Čermáková\n"
                                      "[Run]\n{des}Nástroje\\převod.exe 'faktura č. 7'\n") +
                          end)
                    .c_str());
  }

  // Files with attributes and bytes; the journal's own folder is no part of
  // the installation.
  std::string State() const {
    std::string files = e2e::TreeSnapshot(inst);
    std::string kept;
    for (size_t at = 0; at < files.size();) {
      size_t next = files.find('\n', at);
      next = next == std::string::npos ? files.size() : next + 1;
      if (files.compare(at, 14, "Setup-rollback") != 0) kept += files.substr(at, next - at);
      at = next;
    }
    return kept;
  }

  RunResult Run(const std::string& script, const Scenario& scenario, const std::string& args) {
    if (!e2e::WriteSetupDat(pkg, script)) {
      RunResult failed;
      failed.error = "cannot write setup.dat";
      return failed;
    }
    e2e::EnvVar log("RECORDER_LOG", recorderLog);
    return e2e::RunSetup(pkg, e2e::LocationArgs(inst, Inst("Quillon.ini")) + " " + args, scenario);
  }
};

TEST(CzechNames, RehearsedStoppedAndUndoneThenInstalled) {
  CzechBed b;
  ASSERT_TRUE(b.Prepare());
  const std::string before = b.State();
  ASSERT_TRUE(Has(before, Ansi("Nástroje\\převod.exe"))) << before;

  // The rehearsal: nothing changes, the plan names every file in UTF-8.
  const std::string plan = JoinPath(b.records, Ansi("plán instalace.log"));
  RunResult r = b.Run(b.Script(), e2e::FinalAnswers(), "/plan /log \"" + plan + "\"");
  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r) << WholeFile(plan);
  EXPECT_EQ(before, b.State());
  EXPECT_TRUE(IsUtf8(WholeFile(plan)));
  const std::string copies = LogLines(plan, "PLAN COPY");
  EXPECT_TRUE(Has(copies, ToUtf8(b.Pkg("čtěte mě.txt")) + "\" -> \"" + ToUtf8(b.Inst("čtěte mě.txt"))))
      << copies;
  EXPECT_TRUE(Has(copies, ToUtf8(b.Inst("Šablony\\faktura.qtp")))) << copies;
  EXPECT_TRUE(Has(copies, ToUtf8(b.Inst("Šablony\\účtenka.qtp")))) << copies;
  EXPECT_FALSE(Has(copies, "stará")) << copies;
  EXPECT_TRUE(Has(copies, ToUtf8(b.Inst("Nástroje\\převod.exe.(0)")))) << copies;
  EXPECT_TRUE(Has(LogLines(plan, "PLAN DELETE"), ToUtf8(b.Inst("mezivýpočet.tmp"))));
  EXPECT_TRUE(Has(LogLines(plan, "PLAN DELETE"), ToUtf8(b.Inst("záloha.tmp"))));
  EXPECT_TRUE(Has(LogLines(plan, "PLAN MOVE"), ToUtf8(b.Inst("původní nastavení.cfg"))));
  EXPECT_TRUE(Has(LogLines(plan, "PLAN INI"),
                  ToUtf8(b.Inst("Účetnictví.ini")) + "\" [Uživatel] Jméno: \"Jan Novák\" -> "
                                                     "\"Žofie Čermáková\""))
      << LogLines(plan, "PLAN INI");
  EXPECT_TRUE(Has(LogLines(plan, "PLAN RUN"), ToUtf8(b.Inst("Nástroje\\převod.exe"))))
      << LogLines(plan, "PLAN RUN");
  EXPECT_FALSE(e2e::PathIsFile(b.recorderLog)) << "the rehearsal started the program";

  // Stopped at the last line and rolled back: only the program's run stays.
  Scenario stop;
  stop.Answer(e2e::CzContinueQuestion(), IDNO, 1);
  stop.Answer(e2e::Message(47), IDOK, 1);
  r = b.Run(b.Script("[Copy]\nchybějící soubor.txt\n"), stop, "/rollback");
  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(4u, r.exitCode) << Describe(r);
  EXPECT_NE(nullptr, r.FindBox(e2e::Message(47))) << Describe(r);
  EXPECT_EQ(before, b.State());
  EXPECT_FALSE(e2e::PathIsDir(b.Inst("Setup-rollback")));
  EXPECT_EQ(Ansi("faktura č. 7\ndone\n"), FileText(b.recorderLog));
  ASSERT_TRUE(e2e::WriteFileBytes(b.recorderLog, ""));

  // The run.
  const std::string log = JoinPath(b.records, Ansi("průběh.log"));
  r = b.Run(b.Script(), e2e::FinalAnswers(), "/log \"" + log + "\"");
  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r) << WholeFile(log);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  EXPECT_EQ("nový text", FileText(b.Inst("čtěte mě.txt")));
  EXPECT_EQ("faktura", FileText(b.Inst("Šablony\\faktura.qtp")));
  EXPECT_EQ("účtenka", FileText(b.Inst("Šablony\\účtenka.qtp")));
  EXPECT_FALSE(e2e::PathIsFile(b.Inst("Šablony\\stará účtenka.qtp")));
  EXPECT_EQ(FileText(b.Pkg("Nástroje\\převod.exe")), FileText(b.Inst("Nástroje\\převod.exe")));
  EXPECT_EQ("MZ starý převod", FileText(b.Inst("Nástroje\\převod.exe.(0)")));
  EXPECT_FALSE(e2e::PathIsFile(b.Inst("mezivýpočet.tmp")));
  EXPECT_FALSE(e2e::PathIsFile(b.Inst("záloha.tmp")));
  EXPECT_EQ("keep", FileText(b.Inst("účty.tmpx")));
  EXPECT_FALSE(e2e::PathIsFile(b.Inst("nastavení.cfg")));
  EXPECT_EQ("nastavení", FileText(b.Inst("původní nastavení.cfg")));
  EXPECT_EQ(Ansi("Žofie Čermáková"),
            e2e::ReadIni(b.Inst("Účetnictví.ini"), Ansi("Uživatel"), Ansi("Jméno")));
  EXPECT_EQ(Ansi("faktura č. 7\ndone\n"), FileText(b.recorderLog));
  EXPECT_TRUE(IsUtf8(WholeFile(log)));
  EXPECT_TRUE(Has(LogLines(log, "COPY"), ToUtf8(b.Inst("Šablony\\účtenka.qtp")) + "\": new"))
      << LogLines(log, "COPY");
  EXPECT_TRUE(Has(LogLines(log, "INI"), "[Uživatel] Jméno: \"Jan Novák\" -> \"Žofie Čermáková\""))
      << LogLines(log, "INI");
  EXPECT_TRUE(Has(LogLines(log, "RUN"), ToUtf8(b.Inst("Nástroje\\převod.exe"))))
      << LogLines(log, "RUN");
}

}  // namespace
