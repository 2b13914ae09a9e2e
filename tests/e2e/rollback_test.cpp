// Rollback (Rollback=1): a run that the user stops, or that is killed,
// gives the installation, its INI files and the registry back byte for byte
// (every file with its attributes, every key and value), and a run whose
// result stands leaves no journal behind.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "e2e/rollback_bed.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using driver::Session;
using e2e::Describe;
using e2e::KillerLine;
using e2e::RollbackBed;

namespace {

// A handle that lets others read and rename the file but not write it: a
// running program.
struct RunningProgram {
  explicit RunningProgram(const std::string& path)
      : handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~RunningProgram() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  HANDLE handle;
};

TEST(Rollback, AbortGivesEverythingBackAndEndsWithFour) {
  RollbackBed b;
  ASSERT_TRUE(b.Prepare());
  const std::string before = b.State();
  RunningProgram running(b.bed.Prog("quillon.exe"));
  ASSERT_NE(running.handle, INVALID_HANDLE_VALUE);
  e2e::FileLock lock(b.bed.Pkg("locked.txt"));
  ASSERT_TRUE(lock.held());
  Scenario sc;
  sc.Answer(e2e::MessagePart(32, 0), IDABORT, 1);
  sc.Answer(e2e::Message(47), IDOK, 1);

  RunResult r = b.bed.Run(b.Script("", "[Copy]\nlocked.txt\n"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(4u, r.exitCode) << Describe(r);
  EXPECT_NE(nullptr, r.FindBox(e2e::Message(47))) << Describe(r);
  EXPECT_EQ(nullptr, e2e::FinalErrorBox(r)) << Describe(r);
  EXPECT_EQ(before, b.State());
  EXPECT_FALSE(b.JournalLeft());
}

TEST(Rollback, FailureLetPassEndsWithThreeAndKeepsNoJournal) {
  RollbackBed b;
  ASSERT_TRUE(b.Prepare());
  e2e::FileLock lock(b.bed.Pkg("locked.txt"));
  Scenario sc = e2e::FinalAnswers();
  sc.Answer(e2e::MessagePart(32, 0), IDIGNORE, 1);

  RunResult r = b.bed.Run(b.Script("", "[Copy]\nlocked.txt\n"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  EXPECT_EQ("new library", e2e::FileText(b.bed.Inst("lib.dll")));
  EXPECT_FALSE(b.JournalLeft());
}

TEST(Rollback, KilledRunIsUndoneByTheNextStartOrKeptWithNo) {
  struct Case {
    const char* name;
    std::string middle, end;
    int answer;
  } cases[] = {
      {"killed after the first file", "", "", IDYES},
      {"killed in the middle of the registry lines", KillerLine(), "", IDYES},
      {"killed at the end, kept with No", "", KillerLine(), IDNO},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    RollbackBed b;
    ASSERT_TRUE(b.Prepare());
    const std::string before = b.State();
    std::string script = b.Script(c.middle, c.end);
    if (c.middle.empty() && c.end.empty()) {
      // Right after the first [Copy] line.
      script.insert(script.find("new.txt"), e2e::CrLf(KillerLine() + "[Copy]\n"));
    }
    RunResult killed = b.bed.Run(script, Scenario());
    ASSERT_TRUE(killed.Clean()) << Describe(killed);
    ASSERT_EQ(0xDEADu, killed.exitCode) << Describe(killed);
    ASSERT_TRUE(b.JournalLeft());
    const std::string afterKill = b.State();
    ASSERT_NE(before, afterKill);

    // A rehearsal only notes the journal; it neither asks nor undoes.
    RunResult rehearsal = e2e::RunSetup(b.later.path(), b.bed.LocationArgs() + " /plan /silent",
                                        Scenario().Answer(e2e::MessagePart(51, 0), IDOK, 1));
    ASSERT_TRUE(rehearsal.Clean()) << Describe(rehearsal);
    EXPECT_EQ(0u, rehearsal.CountBoxes(e2e::Message(49))) << Describe(rehearsal);
    EXPECT_EQ(afterKill, b.State());

    RunResult next = b.StartAgain(c.answer);

    ASSERT_TRUE(next.Clean()) << Describe(next);
    EXPECT_EQ(0u, next.exitCode) << Describe(next);
    EXPECT_EQ(1u, next.CountBoxes(e2e::Message(49))) << Describe(next);
    EXPECT_EQ(c.answer == IDYES ? before : afterKill, b.State());
    EXPECT_FALSE(b.JournalLeft());
  }
}

TEST(Rollback, JournalThatCannotBeMadeStopsTheRunWithMessage52) {
  RollbackBed b;
  ASSERT_TRUE(b.Prepare());
  ASSERT_TRUE(e2e::WriteFileBytes(b.bed.Inst("Setup-rollback"), "a file in the folder's way"));
  const std::string before = b.State();
  Scenario sc;
  sc.Answer(e2e::MessagePart(52, 0), IDOK, 1);

  RunResult r = b.bed.Run(b.Script(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  const BoxRecord* box = r.FindBox(e2e::MessagePart(52, 0));
  ASSERT_NE(nullptr, box) << Describe(r);
  EXPECT_EQ(0u, box->text.find(e2e::MessagePart(52, 0) + b.bed.Inst("Setup-rollback\\")))
      << Describe(r);
  EXPECT_EQ(e2e::Message(4), box->caption);
  EXPECT_EQ(before, b.State());
}

TEST(Rollback, RunKilledInTheMiddleOfALargeCopyIsUndone) {
  RollbackBed b;
  ASSERT_TRUE(b.Prepare());
  // A file big enough that its copy takes a while; the old one is small.
  {
    HANDLE big = CreateFileA(b.bed.Pkg("big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             0, nullptr);
    ASSERT_NE(big, INVALID_HANDLE_VALUE);
    std::string chunk(1 << 20, 'b');
    DWORD written = 0;
    for (int i = 0; i < 256; ++i) WriteFile(big, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
    CloseHandle(big);
  }
  ASSERT_TRUE(e2e::WriteFileBytes(b.bed.Inst("big.bin"), "the old big file"));
  const std::string before = b.State();
  ASSERT_TRUE(e2e::WriteSetupDat(b.bed.pkg(), b.Script("", "[Copy]\nbig.bin\n")));
  driver::LaunchOptions launch{e2e::SetupExe(), b.bed.LocationArgs(), b.bed.pkg()};
  Session session(launch, Scenario());
  std::atomic<bool> done{false};
  std::atomic<bool> caught{false};
  const std::string temporary = b.bed.Inst("big.bin.~tmp");
  std::thread killer([&] {
    while (!done) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      DWORD pid = session.ProcessId();
      if (pid && GetFileAttributesExA(temporary.c_str(), GetFileExInfoStandard, &data) &&
          data.nFileSizeLow > 0) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        if (process) {
          caught = TerminateProcess(process, 0xDEAD) != 0;
          CloseHandle(process);
        }
        return;
      }
      Sleep(1);
    }
  });
  RunResult killed = session.Run();
  done = true;
  killer.join();
  ASSERT_TRUE(caught) << "the copy ended before it could be caught" << Describe(killed);
  ASSERT_TRUE(b.JournalLeft());

  RunResult next = b.StartAgain(IDYES);

  ASSERT_TRUE(next.Clean()) << Describe(next);
  EXPECT_EQ(0u, next.exitCode) << Describe(next);
  EXPECT_EQ(before, b.State());
  EXPECT_FALSE(b.JournalLeft());
}

TEST(Rollback, UndoThatMeetsALockedFileSaysWhatRemainsAndTheNextStartFinishesIt) {
  RollbackBed b;
  ASSERT_TRUE(b.Prepare());
  const std::string before = b.State();
  e2e::FileLock lockSource(b.bed.Pkg("locked.txt"));
  std::unique_ptr<e2e::FileLock> lockTarget;
  const std::string target = b.bed.Inst("lib.dll");
  Scenario sc = e2e::FinalAnswers();
  sc.AnswerThen(e2e::MessagePart(32, 0), IDABORT,
                [&](Session&, const BoxRecord&) { lockTarget.reset(new e2e::FileLock(target)); }, 1);
  sc.Answer(e2e::MessagePart(48, 0), IDOK, 1);

  RunResult r = b.bed.Run(b.Script("", "[Copy]\nlocked.txt\n"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  const BoxRecord* box = r.FindBox(e2e::MessagePart(48, 0));
  ASSERT_NE(nullptr, box) << Describe(r);
  EXPECT_NE(std::string::npos, box->text.find(target)) << Describe(r);
  EXPECT_TRUE(b.JournalLeft());
  // The journal that keeps the rest keeps only the backup it needs.
  EXPECT_EQ("000001.bak", e2e::Listing(b.Folder() + "\\000", "*.bak"));
  lockTarget.reset();

  RunResult next = b.StartAgain(IDYES);

  ASSERT_TRUE(next.Clean()) << Describe(next);
  EXPECT_EQ(0u, next.exitCode) << Describe(next);
  EXPECT_EQ(before, b.State());
  EXPECT_FALSE(b.JournalLeft());
}

}  // namespace
