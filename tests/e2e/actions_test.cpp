// [Run], [Delete], [Move], [ChangeDir], [WriteIni] and [DelIni] lines run by
// the real Setup.exe against real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/script_bed.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using e2e::AutoStartScript;
using e2e::CrLf;
using e2e::Describe;
using e2e::FileText;
using e2e::ScriptBed;

namespace {

TEST(RunLine, WaitsForTheProgramAndPassesTheTextBetweenApostrophes) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::CopyFixture("recorder.exe", bed.Inst("recorder.exe")));
  e2e::EnvVar log("RECORDER_LOG", bed.RecorderLog());
  // Each copy of the log shows what the recorder had written by the time
  // the next line ran: its "done" proves the wait.
  const std::string script = AutoStartScript(
      "[Run]\n"
      "recorder.exe 'first one'\n"
      "[Copy]\n"
      "recorder.log=after-first.log\n"
      "[Run]\n"
      "recorder.exe'second'ignored\n"
      "recorder.exe 'a=b'\n"  // everything from '=' on is dropped
      "{des}recorder.exe\n"   // no parameters
      "recorder.exe 'open to the end\n"
      "[Copy]\n"
      "recorder.log=after-all.log\n");

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  EXPECT_EQ("first one\ndone\n", FileText(bed.Inst("after-first.log")));
  EXPECT_EQ("first one\ndone\nsecond\ndone\na\ndone\n\ndone\nopen to the end\ndone\n",
            FileText(bed.Inst("after-all.log")));
}

TEST(RunLine, RetryStartsTheSameProgramAgainAndIgnoreGoesOn) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::CopyFixture("recorder.exe", bed.Inst("recorder.exe")));
  e2e::EnvVar log("RECORDER_LOG", bed.RecorderLog());
  const std::string lateFailed = e2e::CzRunFailed("late.exe ");
  const std::string goneFailed = e2e::CzRunFailed("gone.exe");
  Scenario sc;
  // The program appears only before Retry is pressed.
  sc.AnswerThen(lateFailed, IDRETRY,
                [&bed](driver::Session&, const BoxRecord&) {
                  e2e::CopyFixture("recorder.exe", bed.Inst("late.exe"));
                },
                1);
  sc.Answer(goneFailed, IDRETRY, 1);
  sc.Answer(goneFailed, IDIGNORE, 1);
  sc.Answer(e2e::CzFinalErrors(), IDOK, 1);

  RunResult r =
      bed.Run(AutoStartScript("[Run]\nlate.exe 'retried'\ngone.exe\nrecorder.exe 'after'\n"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(4u, boxes.size()) << Describe(r);
  EXPECT_EQ(lateFailed, boxes[0].text);
  EXPECT_EQ(e2e::Message(4), boxes[0].caption);
  EXPECT_EQ((std::vector<int>{IDABORT, IDRETRY, IDIGNORE}), boxes[0].buttons);
  EXPECT_EQ(goneFailed, boxes[1].text);
  EXPECT_EQ(goneFailed, boxes[2].text);
  EXPECT_EQ(goneFailed, e2e::FinalErrorDetail(r));
  EXPECT_EQ("retried\ndone\nafter\ndone\n", FileText(bed.RecorderLog()));
}

TEST(RunLine, AbortStopsBeforeTheNextLine) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::CopyFixture("recorder.exe", bed.Inst("recorder.exe")));
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
  e2e::EnvVar log("RECORDER_LOG", bed.RecorderLog());
  Scenario sc = e2e::FinalAnswers();
  sc.Answer(e2e::CzRunFailed("gone.exe"), IDABORT, 1);

  RunResult r =
      bed.Run(AutoStartScript("[Run]\ngone.exe\nrecorder.exe 'after'\n[Copy]\na.txt\n"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  EXPECT_EQ(2u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(e2e::CzRunFailed("gone.exe"), e2e::FinalErrorDetail(r));
  EXPECT_FALSE(e2e::PathIsFile(bed.RecorderLog()));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("a.txt")));
}

TEST(DeleteLine, DeletesOnlyFilesOfTheLiteralExtension) {
  ScriptBed bed;
  const std::string junk = bed.Inst("junk");
  ASSERT_TRUE(e2e::WriteFiles(junk, {"a.tmp", "b.TMP", "c.tmpx", "d.txt", "x.log", "keep.logx"}));
  ASSERT_TRUE(e2e::MakeReadOnly(e2e::JoinPath(junk, "b.TMP")));
  ASSERT_TRUE(e2e::MakeDirs(e2e::JoinPath(junk, "dir.tmp")));
  ASSERT_TRUE(e2e::WriteFiles(bed.Inst("junk2"), {"f.tmp", "g.tmp2"}));
  ASSERT_TRUE(e2e::WriteFiles(bed.inst(), {"e.tmp"}));
  const std::string script = AutoStartScript(
      "[Delete]\n"
      "junk\\*.*\n"             // the extension '*' is taken literally
      "junk\\d*\n"              // no extension at all
      "e.tmp\n"                 // no directory part
      "junk\\*.tmp\n"           // relative to the current directory
      "junk\\*.log=ignored\n"   // the rest from '=' is dropped
      "{des}junk2\\*.tmp\n");  // absolute

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  for (const char* gone : {"a.tmp", "b.TMP", "x.log"})
    EXPECT_FALSE(e2e::PathIsFile(e2e::JoinPath(junk, gone))) << gone;
  for (const char* kept : {"c.tmpx", "d.txt", "keep.logx"})
    EXPECT_TRUE(e2e::PathIsFile(e2e::JoinPath(junk, kept))) << kept;
  EXPECT_TRUE(e2e::PathIsDir(e2e::JoinPath(junk, "dir.tmp")));
  EXPECT_TRUE(e2e::PathIsFile(bed.Inst("e.tmp")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("junk2\\f.tmp")));
  EXPECT_TRUE(e2e::PathIsFile(bed.Inst("junk2\\g.tmp2")));
}

TEST(MoveLine, MovesOneNamedFileAndNothingElse) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.inst(), {"old.txt", "a1.txt", "noequals.txt", "keep.txt",
                                           "src.txt", "exists.txt", "ro.txt", "abs.txt"}));
  ASSERT_TRUE(e2e::MakeReadOnly(bed.Inst("exists.txt")));
  ASSERT_TRUE(e2e::MakeReadOnly(bed.Inst("ro.txt")));
  ASSERT_TRUE(e2e::MakeDirs(bed.Inst("moved")));
  const std::string script = AutoStartScript(
      "[Move]\n"
      "old.txt=new.txt\n"
      "a*.txt=b.txt\n"
      "noequals.txt\n"
      "=x.txt\n"
      "keep.txt=\n"
      "src.txt=exists.txt\n"
      "ro.txt=ro2.txt\n"
      "{des}abs.txt={des}moved\\abs.txt\n");

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  EXPECT_EQ("old.txt", FileText(bed.Inst("new.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("old.txt")));
  EXPECT_TRUE(e2e::PathIsFile(bed.Inst("a1.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("b.txt")));
  EXPECT_TRUE(e2e::PathIsFile(bed.Inst("noequals.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("x.txt")));
  EXPECT_TRUE(e2e::PathIsFile(bed.Inst("keep.txt")));
  // No move onto an existing file; its read-only mark goes all the same.
  EXPECT_EQ("src.txt", FileText(bed.Inst("src.txt")));
  EXPECT_EQ("exists.txt", FileText(bed.Inst("exists.txt")));
  EXPECT_FALSE(e2e::IsReadOnly(bed.Inst("exists.txt")));
  EXPECT_EQ("ro.txt", FileText(bed.Inst("ro2.txt")));
  EXPECT_FALSE(e2e::IsReadOnly(bed.Inst("ro2.txt")));
  EXPECT_EQ("abs.txt", FileText(bed.Inst("moved\\abs.txt")));
}

TEST(ChangeDirLine, MissingDirectoryKeepsThePreviousOne) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::CopyFixture("recorder.exe", bed.Inst("sub\\recorder.exe")));
  ASSERT_TRUE(e2e::WriteFiles(bed.Inst("sub"), {"x.tmp"}));
  ASSERT_TRUE(e2e::WriteFiles(bed.inst(), {"y.tmp"}));
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
  e2e::EnvVar log("RECORDER_LOG", bed.RecorderLog());
  const std::string script = AutoStartScript(
      "[ChangeDir]\n"
      "sub\n"
      "no-such-directory\n"
      "[Delete]\n"
      ".\\*.tmp\n"
      "[Run]\n"
      "recorder.exe 'in sub'\n"
      "[Copy]\n"
      "a.txt\n");

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("sub\\x.tmp")));
  EXPECT_TRUE(e2e::PathIsFile(bed.Inst("y.tmp")));
  EXPECT_EQ("in sub\ndone\n", FileText(bed.RecorderLog()));
  // [Copy] targets stay relative to the install directory.
  EXPECT_EQ("a.txt", FileText(bed.Inst("a.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("sub\\a.txt")));
}

TEST(IniLines, WriteAndDeleteEntriesOfARealIniFile) {
  ScriptBed bed;
  const std::string ini = bed.Inst("Quillon.ini");
  ASSERT_TRUE(e2e::WriteFileBytes(
      ini, CrLf("[Main]\nKeep=1\nDrop=2\n[Old]\nA=1\n[Other]\nK=v\nL=w\n")));
  const std::string script = AutoStartScript(
      "[WriteIni]\n"
      "{des}{inifile}=Main;Path;D:\\Data\n"
      "{des}Quillon.ini=Main;Semi;a;b;\n"
      "{des}Quillon.ini=Main;Empty;;\n"
      "{des}Quillon.ini=Main;NoValue;\n"
      "{des}Quillon.ini=;k;v\n"
      "{des}created.ini=Sec;K;V\n"
      ";{des}Quillon.ini=Main;Comment;1\n"
      "[DelIni]\n"
      "{des}Quillon.ini=Main;Drop\n"
      "{des}Quillon.ini=Old;;\n"
      "{des}Quillon.ini=Other;\n"
      "{des}Quillon.ini=Other\n"
      "{des}Quillon.ini=Other;L;anything\n");
  const std::string none = "<none>";

  RunResult r = bed.Run(script, e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  EXPECT_EQ("D:\\Data", e2e::ReadIni(ini, "Main", "Path", none));
  EXPECT_EQ("a;b", e2e::ReadIni(ini, "Main", "Semi", none));
  EXPECT_EQ("", e2e::ReadIni(ini, "Main", "Empty", none));
  EXPECT_EQ(none, e2e::ReadIni(ini, "Main", "NoValue", none));
  EXPECT_EQ(none, e2e::ReadIni(ini, "Main", "Comment", none));
  EXPECT_EQ(none, e2e::ReadIni(ini, ";k", "v", none));
  EXPECT_EQ("1", e2e::ReadIni(ini, "Main", "Keep", none));
  EXPECT_EQ(none, e2e::ReadIni(ini, "Main", "Drop", none));
  EXPECT_EQ(none, e2e::ReadIni(ini, "Old", "A", none));
  EXPECT_EQ("v", e2e::ReadIni(ini, "Other", "K", none));
  EXPECT_EQ(none, e2e::ReadIni(ini, "Other", "L", none));
  EXPECT_EQ("V", e2e::ReadIni(bed.Inst("created.ini"), "Sec", "K", none));
  std::string text = FileText(ini);
  EXPECT_EQ(std::string::npos, text.find("[Old]")) << text;
}

}  // namespace
