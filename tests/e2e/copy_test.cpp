// [Copy] lines run by the real Setup.exe: which files arrive where, how
// failures are asked about, and how the answers steer the rest of the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/script_bed.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using e2e::Ansi;
using e2e::CrLf;
using e2e::Describe;
using e2e::FileText;
using e2e::ScriptBed;

namespace {

// Lines of a [Copy] section in a run that starts by itself.
std::string CopyScript(const std::string& lines) {
  return e2e::AutoStartScript("[Copy]\n" + lines);
}

std::vector<const BoxRecord*> BoxesWith(const RunResult& r, const std::string& head) {
  std::vector<const BoxRecord*> out;
  for (const driver::Event& e : r.events)
    if (e.kind == driver::EventKind::kBox && e.box.text.compare(0, head.size(), head) == 0)
      out.push_back(&e.box);
  return out;
}

TEST(CopyLine, WholePackageDirectoryLeavesSetupFilesAndDirectoriesBehind) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"SetUp.EXE", "one.txt", "two.bin", ".hidden"}));
  ASSERT_TRUE(e2e::WriteFiles(bed.Pkg("subdir"), {"inner.txt"}));
  // The Quillon.ini of the installation is there already.
  RunResult r = bed.Run(CopyScript("*.*\n"), e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("Quillon.ini one.txt two.bin", e2e::Listing(bed.inst()));
  EXPECT_EQ("one.txt", FileText(bed.Inst("one.txt")));
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
}

TEST(CopyLine, ExclusionListSkipsItsMatchesInTheSourceDirectory) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt", "old1.txt", "old2.txt", "b1.txt", "ccc.txt",
                                          "y.txt"}));
  ASSERT_TRUE(e2e::WriteFiles(bed.Pkg("sub"), {"y.txt", "z.txt"}));
  // Patterns are looked up where the source lies: for sub\ that is sub\,
  // so y*.txt there excludes sub\y.txt; empty patterns match nothing.
  RunResult r = bed.Run(CopyScript("*.txt=top\\|old*.txt,,b?.txt,\n"
                                   "sub\\*.txt=fromsub\\|y*.txt\n"),
                        e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("a.txt ccc.txt y.txt", e2e::Listing(bed.Inst("top")));
  EXPECT_EQ("z.txt", e2e::Listing(bed.Inst("fromsub")));
}

TEST(CopyLine, TargetsMakeTheirDirectoriesOrNameExistingOnes) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt", "b.txt", "c.txt", "d.txt"}));
  ASSERT_TRUE(e2e::MakeDirs(bed.Inst("existing")));
  RunResult r = bed.Run(CopyScript("a.txt=deep\\er\\dir\\\n"      // all levels made
                                   "b.txt=existing\n"            // into the directory
                                   "c.txt=new\\sub\\renamed.txt\n"  // a file in new dirs
                                   "d.txt=plainname\n"),         // a file of that name
                        e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("a.txt", FileText(bed.Inst("deep\\er\\dir\\a.txt")));
  EXPECT_EQ("b.txt", FileText(bed.Inst("existing\\b.txt")));
  EXPECT_EQ("c.txt", FileText(bed.Inst("new\\sub\\renamed.txt")));
  EXPECT_EQ("sub", e2e::Listing(bed.Inst("new")));
  EXPECT_EQ("d.txt", FileText(bed.Inst("plainname")));
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
}

TEST(CopyLine, AbsoluteSourceAndTargetAreTakenAsWritten) {
  ScriptBed bed;
  e2e::TempDir elsewhere("elsewhere");
  ASSERT_TRUE(e2e::WriteFiles(elsewhere.path(), {"far.txt"}));
  e2e::TempDir outside("outside");
  RunResult r = bed.Run(CopyScript(elsewhere / "far.txt=" + outside.path() + "\\got.txt\n" +
                                   "{src}setup.dat={des}copied.dat\n"),
                        e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("far.txt", FileText(outside / "got.txt"));
  // Named explicitly or not, the script itself is never copied.
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("copied.dat")));
}

TEST(CopyLine, MissingNamedSourceAsksAndYesGoesOn) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
  Scenario sc = e2e::FinalAnswers();
  sc.Answer(e2e::CzContinueQuestion(), IDYES, 1);

  RunResult r = bed.Run(CopyScript("missing.txt=x\\\na.txt\n"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(2u, boxes.size()) << Describe(r);
  const std::string head = e2e::CzMissingSourceHead(bed.Pkg("missing.txt"));
  const std::string question = e2e::CzContinueQuestion();
  EXPECT_EQ(0u, boxes[0].text.find(head)) << Describe(r);
  ASSERT_GT(boxes[0].text.size(), head.size() + question.size()) << Describe(r);
  EXPECT_EQ(question, boxes[0].text.substr(boxes[0].text.size() - question.size()));
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), boxes[0].buttons);
  EXPECT_EQ(e2e::Message(4), boxes[0].caption);
  // The final message repeats message 33 alone, system text included.
  EXPECT_EQ(boxes[0].text.substr(0, boxes[0].text.size() - question.size()),
            e2e::FinalErrorDetail(r));
  EXPECT_EQ((std::vector<int>{IDOK}), boxes[1].buttons);
  EXPECT_EQ("a.txt", FileText(bed.Inst("a.txt")));
  EXPECT_FALSE(e2e::PathIsDir(bed.Inst("x")));
}

TEST(CopyLine, MissingNamedSourceAnsweredNoStopsTheRun) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt", "b.txt"}));
  Scenario sc = e2e::FinalAnswers();
  sc.Answer(e2e::CzContinueQuestion(), IDNO, 1);

  RunResult r = bed.Run(CopyScript("a.txt\nmissing.txt\nb.txt\n"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  EXPECT_EQ(2u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(0u, e2e::FinalErrorDetail(r).find(e2e::CzMissingSourceHead(bed.Pkg("missing.txt"))))
      << Describe(r);
  EXPECT_EQ("a.txt", FileText(bed.Inst("a.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("b.txt")));
}

TEST(CopyLine, WildcardThatMatchesNothingIsSilent) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
  RunResult r = bed.Run(CopyScript("*.none\nnothing?.txt=made\\\na.txt\n"), e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(e2e::Message(5), r.Boxes()[0].text);
  EXPECT_FALSE(e2e::PathIsDir(bed.Inst("made")));
  EXPECT_EQ("a.txt", FileText(bed.Inst("a.txt")));
}

TEST(CopyLine, ReadOnlyTargetsAreOverwrittenAndKeepTheSourcesAttribute) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"plain.txt", "ro.txt", "fresh.txt"}));
  ASSERT_TRUE(e2e::MakeReadOnly(bed.Pkg("ro.txt")));
  ASSERT_TRUE(e2e::MakeReadOnly(bed.Pkg("fresh.txt")));
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Inst("plain.txt"), "old"));
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Inst("ro.txt"), "old"));
  ASSERT_TRUE(e2e::MakeReadOnly(bed.Inst("plain.txt")));
  ASSERT_TRUE(e2e::MakeReadOnly(bed.Inst("ro.txt")));

  RunResult r = bed.Run(CopyScript("plain.txt\nro.txt\nfresh.txt\n"), e2e::FinalAnswers());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  EXPECT_EQ("plain.txt", FileText(bed.Inst("plain.txt")));
  // The system refuses to write the read-only target (Wine runs as a user,
  // not as root); the copy after clearing the attribute leaves the target
  // writable like its source.
  ASSERT_TRUE(e2e::ReadOnlyRefusesWrites()) << "Wine runs with root's rights";
  EXPECT_FALSE(e2e::IsReadOnly(bed.Inst("plain.txt")));
  EXPECT_EQ("ro.txt", FileText(bed.Inst("ro.txt")));
  EXPECT_TRUE(e2e::IsReadOnly(bed.Inst("ro.txt")));
  EXPECT_EQ("fresh.txt", FileText(bed.Inst("fresh.txt")));
  EXPECT_TRUE(e2e::IsReadOnly(bed.Inst("fresh.txt")));
}

TEST(CopyLine, ProgramFilesAreRenamedAsideBeforeTheCopy) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"quillon.exe", "TOOL.EXE", "lib.com", "data.txt"}));
  for (const char* name : {"quillon.exe", "TOOL.EXE", "lib.com", "data.txt"})
    ASSERT_TRUE(e2e::WriteFileBytes(bed.Prog(name), std::string("old ") + name));
  // A read-only leftover of an earlier update is cleared away.
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Prog("quillon.exe.(0)"), "leftover"));
  ASSERT_TRUE(e2e::MakeReadOnly(bed.Prog("quillon.exe.(0)")));
  // .(0) is taken and busy: the next free number is used.
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Prog("lib.com.(0)"), "busy leftover"));
  e2e::FileLock busy(bed.Prog("lib.com.(0)"));
  ASSERT_TRUE(busy.held());

  RunResult r = bed.Run(CopyScript("*.*={exe}\n"), e2e::FinalAnswers());
  busy.Release();

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("quillon.exe", FileText(bed.Prog("quillon.exe")));
  EXPECT_EQ("old quillon.exe", FileText(bed.Prog("quillon.exe.(0)")));
  EXPECT_EQ("TOOL.EXE", FileText(bed.Prog("TOOL.EXE")));
  EXPECT_EQ("old TOOL.EXE", FileText(bed.Prog("TOOL.EXE.(0)")));
  EXPECT_EQ("lib.com", FileText(bed.Prog("lib.com")));
  EXPECT_EQ("busy leftover", FileText(bed.Prog("lib.com.(0)")));
  EXPECT_EQ("old lib.com", FileText(bed.Prog("lib.com.(1)")));
  EXPECT_EQ("data.txt", FileText(bed.Prog("data.txt")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Prog("data.txt.(0)")));
}

TEST(CopyLine, RunningProgramIsReplaced) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::CopyFixture("version_4_0_0_1.exe", bed.Pkg("quillon.exe")));
  ASSERT_TRUE(e2e::CopyFixture("app_window.exe", bed.Prog("quillon.exe")));
  std::string exe = bed.Prog("quillon.exe");
  std::string cmd = "\"" + exe + "\" SetupE2eRunningQuillon";
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back('\0');
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi));
  WaitForInputIdle(pi.hProcess, 5000);
  // While it runs its file cannot be overwritten, only renamed.
  EXPECT_FALSE(CopyFileA(bed.Pkg("quillon.exe").c_str(), exe.c_str(), FALSE));

  RunResult r = bed.Run(CopyScript("quillon.exe={exe}\n"), e2e::FinalAnswers());
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::string fresh, running;
  ASSERT_TRUE(e2e::ReadFileBytes(e2e::FixturePath("version_4_0_0_1.exe"), &fresh));
  ASSERT_TRUE(e2e::ReadFileBytes(e2e::FixturePath("app_window.exe"), &running));
  EXPECT_TRUE(FileText(exe) == fresh);
  EXPECT_TRUE(FileText(exe + ".(0)") == running);
}

TEST(CopyLine, FailedCopyOfAProgramPutsTheOldFileBack) {
  ScriptBed bed;
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"quillon.exe", "next.txt"}));
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Prog("quillon.exe"), "old program"));
  // The source cannot be read, so the copy fails after the rename.
  e2e::FileLock source(bed.Pkg("quillon.exe"));
  ASSERT_TRUE(source.held());
  Scenario sc = e2e::FinalAnswers();
  sc.Answer(Ansi("Nepodařilo se zkopírovat soubor"), IDIGNORE, 1);

  RunResult r = bed.Run(CopyScript("quillon.exe={exe}\nnext.txt\n"), sc);
  source.Release();

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  EXPECT_EQ("old program", FileText(bed.Prog("quillon.exe")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Prog("quillon.exe.(0)")));
  EXPECT_EQ("next.txt", FileText(bed.Inst("next.txt")));
  std::vector<const BoxRecord*> failed =
      BoxesWith(r, e2e::CzCopyFailedHead(bed.Pkg("quillon.exe"), bed.Prog("quillon.exe")));
  ASSERT_EQ(1u, failed.size()) << Describe(r);
  EXPECT_EQ((std::vector<int>{IDABORT, IDRETRY, IDIGNORE}), failed[0]->buttons);
  EXPECT_EQ(failed[0]->text, e2e::FinalErrorDetail(r));
}

// Three lines; the target of the second is held open by the test.
struct LockedSecondTarget {
  ScriptBed bed;
  e2e::FileLock lock;
  LockedSecondTarget() : lock(Prepare(bed)) {}
  static std::string Prepare(ScriptBed& bed) {
    e2e::WriteFiles(bed.pkg(), {"a.txt", "b.txt", "c.txt"});
    e2e::WriteFileBytes(bed.Inst("b.txt"), "old b");
    return bed.Inst("b.txt");
  }
  std::string FailedHead() const { return e2e::CzCopyFailedHead(bed.Pkg("b.txt"), bed.Inst("b.txt")); }
  RunResult Run(Scenario sc) { return bed.Run(CopyScript("a.txt\nb.txt\nc.txt\n"), sc); }
};

TEST(CopyLine, RetryCopiesAgainUntilTheTargetIsFree) {
  LockedSecondTarget t;
  ASSERT_TRUE(t.lock.held());
  Scenario sc;
  sc.Answer(t.FailedHead(), IDRETRY, 1);
  sc.AnswerThen(t.FailedHead(), IDRETRY,
                [&t](driver::Session&, const BoxRecord&) { t.lock.Release(); }, 1);
  sc.Answer(e2e::CzFinalErrors(), IDOK, 1);

  RunResult r = t.Run(sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, BoxesWith(r, t.FailedHead()).size()) << Describe(r);
  EXPECT_EQ("b.txt", FileText(t.bed.Inst("b.txt")));
  EXPECT_EQ("c.txt", FileText(t.bed.Inst("c.txt")));
  // A failure mended by Retry is still a failure of the run.
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  EXPECT_EQ(0u, e2e::FinalErrorDetail(r).find(t.FailedHead())) << Describe(r);
  EXPECT_EQ(nullptr, r.FindBox(e2e::Message(5))) << Describe(r);
}

TEST(CopyLine, IgnoreGoesOnWithTheNextLine) {
  LockedSecondTarget t;
  ASSERT_TRUE(t.lock.held());
  Scenario sc = e2e::FinalAnswers();
  sc.Answer(t.FailedHead(), IDIGNORE, 1);

  RunResult r = t.Run(sc);
  t.lock.Release();

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  EXPECT_EQ(2u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ("a.txt", FileText(t.bed.Inst("a.txt")));
  EXPECT_EQ("old b", FileText(t.bed.Inst("b.txt")));
  EXPECT_EQ("c.txt", FileText(t.bed.Inst("c.txt")));
}

TEST(CopyLine, AbortStopsBeforeTheNextLine) {
  LockedSecondTarget t;
  ASSERT_TRUE(t.lock.held());
  Scenario sc = e2e::FinalAnswers();
  sc.Answer(t.FailedHead(), IDABORT, 1);

  RunResult r = t.Run(sc);
  t.lock.Release();

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  EXPECT_EQ(2u, r.Boxes().size()) << Describe(r);
  EXPECT_NE(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  EXPECT_EQ("a.txt", FileText(t.bed.Inst("a.txt")));
  EXPECT_EQ("old b", FileText(t.bed.Inst("b.txt")));
  EXPECT_FALSE(e2e::PathIsFile(t.bed.Inst("c.txt")));
}

}  // namespace
