// Rollback (Rollback=1): a run that the user stops, or that is killed,
// gives the installation, its INI files and the registry back byte for byte
// (every file with its attributes, every key and value), and a run whose
// result stands leaves no journal behind.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "e2e/e2e_cases.h"
#include "e2e/script_bed.h"
#include "e2e/snapshot.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using driver::Session;
using e2e::Describe;
using e2e::ScriptBed;

namespace {

const char kKey[] = "Software\\SetupE2E\\Rollback";

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

// An installation and a package that changes it in every way a script can:
// replaced, new and read-only files, a new directory, a busy program renamed
// aside, deleted and moved files, INI entries in an existing and a new INI
// file, registry values and keys made, changed and deleted.
struct RollbackBed {
  ScriptBed bed;
  e2e::RegistryKeysGuard keys{{{HKEY_CURRENT_USER, kKey}}};
  e2e::TempDir later{"later"};  // the package of the next start

  bool Prepare() {
    bool ok = e2e::WriteFileBytes(bed.Pkg("lib.dll"), "new library") &&
              e2e::WriteFileBytes(bed.Pkg("new.txt"), "new text") &&
              e2e::WriteFileBytes(bed.Pkg("sub\\deep.txt"), "deep") &&
              e2e::WriteFileBytes(bed.Pkg("quillon.exe"), "new program") &&
              e2e::WriteFileBytes(bed.Pkg("locked.txt"), "cannot be read") &&
              e2e::WriteFileBytes(bed.Inst("lib.dll"), "old library") &&
              e2e::WriteFileBytes(bed.Inst("ro.txt"), "old read-only") &&
              e2e::WriteFileBytes(bed.Pkg("ro.txt"), "new read-only") &&
              e2e::WriteFileBytes(bed.Inst("cache.tmp"), "cache") &&
              e2e::WriteFileBytes(bed.Inst("settings.cfg"), "settings") &&
              e2e::WriteFileBytes(bed.Prog("quillon.exe.(0)"), "a leftover of an old update") &&
              e2e::RegWriteString(HKEY_CURRENT_USER, kKey, "Existing", "before") &&
              e2e::RegWriteString(HKEY_CURRENT_USER, kKey, "Old", "1") &&
              e2e::RegWriteDword(HKEY_CURRENT_USER, std::string(kKey) + "\\Gone", "Count", 7) &&
              e2e::WriteSetupDat(later.path(), e2e::AutoStartScript(""));
    SetFileAttributesA(bed.Inst("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    return ok;
  }

  // The script; `middle` goes between the registry lines, `before` ahead of
  // the file that makes the run fail.
  std::string Script(const std::string& middle = "", const std::string& end = "") const {
    const std::string k = kKey;
    return e2e::CrLf(
        "[Options]\nSkipWelcome=1\nRollback=1\n"
        "[Copy]\nlib.dll\nnew.txt\nsub\\deep.txt=newdir\\\nro.txt\nquillon.exe={exe}\n"
        "[Delete]\n{des}*.tmp\n"
        "[Move]\n{des}settings.cfg={des}settings.old\n"
        "[WriteIni]\n{des}Quillon.ini=Setup;Key;Value\n{des}fresh.ini=S;K;V\n"
        "[DelIni]\n{des}Quillon.ini=Main;Name\n"
        "[WriteReg]\nHKCU;" + k + "\\Sub\\Deeper;Name;Data\n" + middle +
        "[WriteReg]\nHKCU;" + k + ";Existing;after\n"
        "[DelReg]\nHKCU;" + k + ";Old;\nHKCU;" + k + "\\Gone;\n" + end);
  }

  // Files with attributes and bytes, keys and values; the journal's own
  // folder is no part of the installation.
  std::string State() const {
    std::string files = e2e::TreeSnapshot(bed.inst());
    std::string kept;
    for (size_t at = 0; at < files.size();) {
      size_t end = files.find('\n', at) + 1;
      if (files.compare(at, 14, "Setup-rollback") != 0) kept += files.substr(at, end - at);
      at = end;
    }
    return kept + e2e::TreeSnapshot(bed.prog()) + e2e::RegistrySnapshot(HKEY_CURRENT_USER, kKey);
  }
  bool JournalLeft() const { return e2e::PathIsDir(bed.Inst("Setup-rollback")); }

  // The next start, from another package: the unfinished journal is offered.
  RunResult StartAgain(int answer) {
    Scenario sc = e2e::FinalAnswers();
    sc.Answer(e2e::Message(49), answer, 1);
    return e2e::RunSetup(later.path(), bed.LocationArgs(), sc);
  }
};

std::string KillerLine() { return "[Run]\n" + e2e::FixturePath("killer.exe") + "\n"; }

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
  lockTarget.reset();

  RunResult next = b.StartAgain(IDYES);

  ASSERT_TRUE(next.Clean()) << Describe(next);
  EXPECT_EQ(0u, next.exitCode) << Describe(next);
  EXPECT_EQ(before, b.State());
  EXPECT_FALSE(b.JournalLeft());
}

}  // namespace
