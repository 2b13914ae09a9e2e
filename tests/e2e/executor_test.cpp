// Whole scripts run by the real Setup.exe: which lines are executed, in
// which order, how the run ends and which exit code it leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/script_bed.h"

using driver::RunResult;
using driver::Scenario;
using e2e::Ansi;
using e2e::AutoStartScript;
using e2e::CrLf;
using e2e::Describe;
using e2e::FileText;
using e2e::ScriptBed;

namespace {

TEST(ScriptRun, WorkedExampleCopiesRunsAndReplacesTheProgram) {
  ScriptBed bed;
  ASSERT_TRUE(bed.PutQuillonFixture("version_3_10_0_5.exe"));
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.dll", "b.dll", "old1.dll", "c.ocx", "readme.txt"}));
  ASSERT_TRUE(e2e::CopyFixture("version_4_0_0_1.exe", bed.Pkg("quillon.exe")));
  // The program of the [Run] line is found in the current directory, which
  // is the install directory.
  ASSERT_TRUE(e2e::CopyFixture("recorder.exe", bed.Inst("recorder.exe")));
  e2e::EnvVar log("RECORDER_LOG", bed.RecorderLog());
  const std::string script = CrLf(
      "[Options]\n"
      "MsgTitle=Update\n"
      "SkipWelcome=1\n"
      "[Copy]\n"
      ";libraries\n"
      "*.dll|old*.dll\n"
      "*.ocx=bin\\\n"
      "readme.txt=doc\\readme.txt\n"
      "[Run]\n"
      "recorder.exe 'readme.txt'\n"
      "[VersionCopy]\n"
      "VerProg={exe}quillon.exe\n"
      "MinVer=3.10.0.5:\n"
      "quillon.exe={exe}\n");
  Scenario sc;
  sc.Answer(e2e::Message(5), IDOK, 1);

  RunResult r = bed.Run(script, sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(e2e::Message(5), r.Boxes()[0].text);
  EXPECT_EQ("Update", r.Boxes()[0].caption);

  EXPECT_EQ("a.dll", FileText(bed.Inst("a.dll")));
  EXPECT_EQ("b.dll", FileText(bed.Inst("b.dll")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("old1.dll")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("c.ocx")));
  EXPECT_EQ("c.ocx", FileText(bed.Inst("bin\\c.ocx")));
  EXPECT_EQ("readme.txt", FileText(bed.Inst("doc\\readme.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("readme.txt")));
  EXPECT_EQ("readme.txt\ndone\n", FileText(bed.RecorderLog()));

  std::string newProgram, oldProgram;
  ASSERT_TRUE(e2e::ReadFileBytes(e2e::FixturePath("version_4_0_0_1.exe"), &newProgram));
  ASSERT_TRUE(e2e::ReadFileBytes(e2e::FixturePath("version_3_10_0_5.exe"), &oldProgram));
  EXPECT_TRUE(FileText(bed.Prog("quillon.exe")) == newProgram) << "quillon.exe not replaced";
  EXPECT_TRUE(FileText(bed.Prog("quillon.exe.(0)")) == oldProgram) << "old program not kept aside";
  // Nothing of the package lands outside its targets.
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("quillon.exe")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Prog("a.dll")));
}


TEST(ScriptRun, FailedVersionCopyGateSkipsOnlyItsSection) {
  ScriptBed bed;
  ASSERT_TRUE(bed.PutQuillonFixture("version_3_10_0_5.exe"));
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"guarded.txt", "later.txt", "after.txt"}));
  // A bound with an empty message refuses without asking; the second
  // section starts with empty conditions and so copies unguarded.
  const std::string script = AutoStartScript(
      "[VersionCopy]\n"
      "VerProg={exe}quillon.exe\n"
      "MinVer=3.10.0.6:\n"
      "guarded.txt\n"
      "later.txt\n"
      "[VersionCopy]\n"
      "after.txt\n");

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(e2e::Message(5), r.Boxes()[0].text);
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("guarded.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("later.txt")));
  EXPECT_EQ("after.txt", FileText(bed.Inst("after.txt")));
}

TEST(ScriptRun, PassedVersionCopyLineIsCopiedAlsoAsTheLastLineWithoutLineEnd) {
  ScriptBed bed;
  ASSERT_TRUE(bed.PutQuillonFixture("version_3_10_0_5.exe"));
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"first.txt", "last.txt"}));
  const std::string script = AutoStartScript(
      "[VersionCopy]\n"
      "VerProg={exe}quillon.exe\n"
      "MinVer=3.10.0.5:\n"
      "MaxVer=3.10.0.5:\n"
      "first.txt=sub\\\n"
      "last.txt");

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("first.txt", FileText(bed.Inst("sub\\first.txt")));
  EXPECT_EQ("last.txt", FileText(bed.Inst("last.txt")));
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
}

TEST(ScriptRun, VersionCopyLineAloneAtTheEndWithoutLineEndIsCopied) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"only.txt"}));
  // The gate runs and passes on the very line that ends the file.
  RunResult r = bed.Run(AutoStartScript("[VersionCopy]\n") + "only.txt", e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("only.txt", FileText(bed.Inst("only.txt")));
}

TEST(ScriptRun, OnlyLinesOfKnownActionSectionsAreExecuted) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"top.txt", "opt.txt", "first.txt", "second.txt",
                                          "unknown.txt", "third.txt", "trailing.txt", "upper.txt",
                                          "indented.txt", "comment.txt", "readini.txt"}));
  const std::string script = CrLf(
      "top.txt\n"
      "[Options]\n"
      "SkipWelcome=1\n"
      "[Copy]\n"
      "first.txt\n"
      ";comment.txt\n"
      "[Options]\n"
      "opt.txt\n"
      "[Copy]\n"
      "second.txt\n"
      "[Unknown]\n"
      "unknown.txt\n"
      "[Copy]\n"
      "third.txt\n"
      "[Copy] \n"
      "trailing.txt\n"
      "[ReadIni]\n"
      "readini.txt\n"
      "[COPY]\n"
      "upper.txt\n"
      "   \t[copy]\n"
      " \t \n"
      "\tindented.txt\n");

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  for (const char* copied : {"first.txt", "second.txt", "third.txt", "upper.txt", "indented.txt"})
    EXPECT_EQ(copied, FileText(bed.Inst(copied))) << copied;
  for (const char* skipped :
       {"top.txt", "opt.txt", "unknown.txt", "trailing.txt", "comment.txt", "readini.txt"})
    EXPECT_FALSE(e2e::PathIsFile(bed.Inst(skipped))) << skipped;
}

TEST(ScriptRun, CarriageReturnsAloneEndLinesLikeCrLf) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt", "b.txt"}));
  const std::string script =
      "[Options]\rSkipWelcome=1\r[Copy]\ra.txt\r;b.txt\rb.txt=sub\\b2.txt\r[Unknown]\ra.txt=x.txt\r";

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("a.txt", FileText(bed.Inst("a.txt")));
  EXPECT_EQ("b.txt", FileText(bed.Inst("sub\\b2.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("b.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("x.txt")));
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
}

TEST(ScriptRun, SkipInfoSuppressesTheSuccessMessageButNotTheErrorMessage) {
  {
    ScriptBed bed;
    ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
    RunResult r = bed.Run(AutoStartScript("SkipInfo=1\n[Copy]\na.txt\n"), Scenario());
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(0u, r.exitCode) << Describe(r);
    EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
    EXPECT_EQ("a.txt", FileText(bed.Inst("a.txt")));
  }
  {
    ScriptBed bed;
    ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
    Scenario sc = e2e::FinalAnswers();
    sc.Answer(e2e::CzContinueQuestion(), IDYES, 1);
    RunResult r = bed.Run(AutoStartScript("SkipInfo=1\n[Copy]\nmissing.txt\na.txt\n"), sc);
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(3u, r.exitCode) << Describe(r);
    ASSERT_EQ(2u, r.Boxes().size()) << Describe(r);
    EXPECT_NE(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
    EXPECT_EQ("a.txt", FileText(bed.Inst("a.txt")));
  }
}

TEST(ScriptRun, SilentSwitchAsksNothingAndShowsOnlyErrors) {
  {
    // No SkipWelcome: /silent alone skips the confirmation question.
    ScriptBed bed;
    ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
    RunResult r = bed.Run(CrLf("[Options]\n[Copy]\na.txt\n"), Scenario(), "/silent");
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(0u, r.exitCode) << Describe(r);
    EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
    EXPECT_EQ("a.txt", FileText(bed.Inst("a.txt")));
  }
  {
    ScriptBed bed;
    ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
    Scenario sc = e2e::FinalAnswers();
    sc.Answer(e2e::CzContinueQuestion(), IDNO, 1);
    RunResult r = bed.Run(CrLf("[Options]\n[Copy]\nmissing.txt\na.txt\n"), sc, "/SILENT");
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(3u, r.exitCode) << Describe(r);
    EXPECT_NE(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
    EXPECT_EQ(nullptr, r.FindBox(e2e::Message(5))) << Describe(r);
    // No stopped the run before the next line.
    EXPECT_FALSE(e2e::PathIsFile(bed.Inst("a.txt")));
  }
}

TEST(ScriptRun, OptionsAloneInstallNothingAndSaySo) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
  RunResult r = bed.Run(AutoStartScript(""), e2e::FinalAnswers());
  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(e2e::Message(5), r.Boxes()[0].text);
  EXPECT_EQ(e2e::Message(4), r.Boxes()[0].caption);
  EXPECT_EQ((std::vector<int>{IDOK}), r.Boxes()[0].buttons);
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("a.txt")));
}

TEST(ScriptRun, LineTooLongAfterExpansionIsRefusedAndTheRestRuns) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt", "b.txt"}));
  std::string repeated;
  for (int i = 0; i < 200; ++i) repeated += "{des}";  // 1000 characters as written
  ASSERT_LT(repeated.size() + 10, 1300u);
  const std::string script = AutoStartScript("[Copy]\n" + repeated + "a.txt\nb.txt\n");

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  const std::string detail = e2e::FinalErrorDetail(r);
  EXPECT_EQ(0u, detail.find(e2e::CzRefusedLine())) << Describe(r);
  // The refused line is quoted, shortened, as it read after expansion.
  EXPECT_NE(std::string::npos, detail.find(bed.inst().substr(0, 40))) << Describe(r);
  EXPECT_LT(detail.size(), 300u) << Describe(r);
  EXPECT_EQ("b.txt", FileText(bed.Inst("b.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("a.txt")));
}

TEST(ScriptRun, CopyLineWhosePathsDoNotFitIsRefusedNotCut) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt", "b.txt"}));
  // A relative target that fits the line but not the target field once
  // joined to the install directory.
  const std::string longTarget(250, 'x');
  const std::string script = AutoStartScript("[Copy]\na.txt=" + longTarget + "\nb.txt\n");

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  // The line is quoted as far as the executor had taken it apart.
  EXPECT_EQ(e2e::CzRefusedLine() + "a.txt", e2e::FinalErrorDetail(r)) << Describe(r);
  EXPECT_EQ("b.txt", FileText(bed.Inst("b.txt")));
  // Nothing was copied under a cut name.
  EXPECT_EQ("", e2e::Listing(bed.inst(), "x*"));
}

}  // namespace
