// The run's record (/log), runs that need no person (/noboxes) and the
// rehearsal that changes nothing (/plan), seen from outside: exit codes,
// the boxes that do or do not appear, the log's events, and the state of
// the installation and the registry.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_cases.h"
#include "e2e/script_bed.h"
#include "e2e/snapshot.h"

using driver::RunResult;
using driver::Scenario;
using driver::ToUtf8;
using e2e::AutoStartScript;
using e2e::Describe;
using e2e::LogLines;
using e2e::ScriptBed;

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The system's text for an error code, as Setup shows it, without its line end.
std::string SystemText(DWORD code) {
  char buffer[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
  std::string text = buffer;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string LogArg(const std::string& path) { return "/log \"" + path + "\""; }

TEST(RunRecord, UnattendedFailingCopyEndsByItselfAndLogsTheFailureAndItsAnswer) {
  ScriptBed bed;
  e2e::TempDir logs("logs");
  const std::string log = logs / "run.log";
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt", "b.txt"}));
  e2e::FileLock lock(bed.Pkg("a.txt"));
  ASSERT_TRUE(lock.held());

  // No rule: any box would end the run as a failure of the test.
  RunResult r = bed.Run(AutoStartScript("[Copy]\na.txt\nb.txt\n"), Scenario(),
                        "/silent /noboxes " + LogArg(log));

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("b.txt")));  // Abort stopped the line
  const std::string copies = LogLines(log, "COPY");
  EXPECT_TRUE(Has(copies, "\"" + bed.Pkg("a.txt") + "\" -> \"" + bed.Inst("a.txt") + "\": failed: " +
                              ToUtf8(SystemText(ERROR_SHARING_VIOLATION))))
      << copies;
  EXPECT_TRUE(Has(copies, "answer Abort")) << copies;
  EXPECT_TRUE(Has(LogLines(log, "BOX"), "Abort/Retry/Ignore: Abort (answered automatically)"))
      << LogLines(log, "BOX");
  EXPECT_TRUE(Has(LogLines(log, "END"), "errors: yes; stopped: yes; exit code 3"));
}

TEST(RunRecord, UnattendedRunWithoutAnInstallationEndsWithOneAndNoBox) {
  e2e::CaseDirs dirs;
  e2e::RegistryKeysGuard keys{e2e::LocationKeys()};
  e2e::TempDir logs("logs");
  const std::string log = logs / "run.log";
  ASSERT_TRUE(e2e::WriteFileBytes(dirs.pkg / "a.txt", "a"));
  ASSERT_TRUE(e2e::WriteSetupDat(dirs.pkg.path(), e2e::CrLf("[Options]\n[Copy]\na.txt\n")));

  RunResult r = e2e::RunSetup(dirs.pkg.path(), "/noboxes " + LogArg(log), Scenario());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  EXPECT_FALSE(e2e::PathIsFile(dirs.pkg / "Quillon.ini"));
  EXPECT_TRUE(Has(LogLines(log, "BOX"), ToUtf8(e2e::Message(7)) + "\" caption"));
  EXPECT_TRUE(Has(LogLines(log, "BOX"), "Yes/No: No (answered automatically)"));
  EXPECT_TRUE(Has(LogLines(log, "LOCATION"), "no installation found"));
  EXPECT_TRUE(Has(LogLines(log, "END"), "exit code 1"));
}

TEST(RunRecord, UnattendedGuardGivesUpWhenTheApplicationStaysOpen) {
  e2e::AppWindowLock windows;
  ASSERT_TRUE(windows.held());
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start("TQuillonMainWindowFrm"));
  ScriptBed bed;
  e2e::TempDir logs("logs");
  const std::string log = logs / "run.log";
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
  Scenario sc;
  sc.timeoutMs = 150000;

  RunResult r = bed.Run(e2e::CrLf("[Options]\nKillQuillon=1\nSkipWelcome=1\n[Copy]\na.txt\n"), sc,
                        "/noboxes " + LogArg(log));

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("a.txt")));
  const std::string guard = LogLines(log, "GUARD");
  EXPECT_TRUE(Has(guard, "waiting up to 60 s")) << guard;
  EXPECT_TRUE(Has(guard, "still runs")) << guard;
  EXPECT_TRUE(Has(LogLines(log, "END"), "exit code 1 (quillon-running)\n")) << LogLines(log, "END");
}

// Every other way a run ends with exit code 1 before anything is done, and
// the one word its END line gives the cause.
TEST(RunRecord, EndNamesTheCauseOfExitCodeOne) {
  struct Case {
    const char* name;
    bool located;  // the installation on the command line
    bool script;
    const char* args;
    Scenario scenario;
    const char* cause;
  } cases[] = {
      {"the confirmation cancelled", true, true, "",
       Scenario().Answer(e2e::MessagePart(11, 0), IDCANCEL, 1), "cancelled"},
      {"the dialog cancelled", false, true, "",
       Scenario().Answer(e2e::Message(7), IDYES, 1).Then(driver::Step::PressCancel()), "cancelled"},
      {"no installation, declined", false, true, "", Scenario().Answer(e2e::Message(7), IDNO, 1),
       "no-installation"},
      {"no installation, unattended", false, true, "/noboxes", Scenario(), "no-installation"},
      {"no setup.dat", true, false, "", Scenario().Answer("Setup.dat", IDOK, 1), "no-script"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::CaseDirs dirs;
    e2e::RegistryKeysGuard keys{e2e::LocationKeys()};
    e2e::TempDir logs("logs");
    const std::string log = logs / "run.log";
    ASSERT_TRUE(e2e::MakeInstallation(dirs.inst.path(), "[Main]\r\n"));
    ASSERT_TRUE(e2e::WriteFileBytes(dirs.pkg / "a.txt", "a"));
    if (c.script) {
      ASSERT_TRUE(e2e::WriteSetupDat(dirs.pkg.path(), e2e::CrLf("[Options]\n[Copy]\na.txt\n")));
    }
    std::string args = std::string(c.args) + " " + LogArg(log);
    if (c.located) args += " " + dirs.LocationArgs();

    RunResult r = e2e::RunSetup(dirs.pkg.path(), args, c.scenario);

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(1u, r.exitCode) << Describe(r);
    EXPECT_FALSE(e2e::PathIsFile(dirs.inst / "a.txt"));
    EXPECT_EQ("END errors: no; stopped: no; exit code 1 (" + std::string(c.cause) + ")\n",
              LogLines(log, "END"));
  }
}

// The small volume the test command mounts (SETUP_SMALL_VOLUME), filled so
// that `room` bytes (whole pages) stay free; the filler goes at the end.
class FilledVolume {
 public:
  explicit FilledVolume(size_t room) {
    char path[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableA("SETUP_SMALL_VOLUME", path, sizeof path);
    ULARGE_INTEGER freeBytes, totalBytes;
    if (length == 0 || length >= sizeof path ||
        !GetDiskFreeSpaceExA(path, &freeBytes, &totalBytes, nullptr) ||
        totalBytes.QuadPart > 4u * 1024 * 1024) {
      why_ = "no small volume of its own (SETUP_SMALL_VOLUME, mounted by scripts/test.sh)";
      return;
    }
    volume_ = path;
    filler_ = e2e::JoinPath(volume_, "log-filler.bin");
    HANDLE file = CreateFileA(filler_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      why_ = "cannot make the filler";
      return;
    }
    // Page by page until the volume takes no more, then room is given back.
    std::string page(4096, 'f');
    DWORD written = 0;
    while (WriteFile(file, page.data(), 4096, &written, nullptr) && written == 4096) {
    }
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    size.QuadPart = size.QuadPart / 4096 * 4096 - static_cast<LONGLONG>(room);
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
  }
  ~FilledVolume() {
    if (!filler_.empty()) DeleteFileA(filler_.c_str());
  }
  FilledVolume(const FilledVolume&) = delete;
  FilledVolume& operator=(const FilledVolume&) = delete;
  const std::string& why() const { return why_; }
  std::string Path(const std::string& name) const { return e2e::JoinPath(volume_, name); }

 private:
  std::string volume_, filler_, why_;
};

// A log that runs out of room: the installation goes on, the log keeps its
// whole lines only, and the exit code says that the record is incomplete.
TEST(RunRecord, LogThatCannotBeCompletedEndsWithFiveAndKeepsWholeLines) {
  struct Case {
    const char* name;
    size_t room;
    const char* args;
    bool failing;     // a copy fails (exit code 3 stays)
    bool rehearsal;
    unsigned exitCode;
  } cases[] = {
      {"no room at all, the final message shown", 0, "", false, false, 5},
      {"room for the first lines", 4096, "/silent", false, false, 5},
      {"a run with a failure", 4096, "/silent /noboxes", true, false, 3},
      {"a rehearsal", 4096, "/silent /plan", false, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FilledVolume volume(c.room);
    if (!volume.why().empty()) GTEST_SKIP() << volume.why();
    const std::string log = volume.Path("run.log");
    ScriptBed bed;
    std::string lines = c.failing ? "[Copy]\nmissing.txt\n" : "";
    for (int i = 0; i < 40; ++i) {
      std::string name = "file" + std::to_string(100 + i) + ".txt";
      ASSERT_TRUE(e2e::WriteFileBytes(bed.Pkg(name), name));
      lines += "[Copy]\n" + name + "\n";
    }
    Scenario sc = e2e::FinalAnswers();

    RunResult r = bed.Run(AutoStartScript(lines), sc, std::string(c.args) + " " + LogArg(log));

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(c.exitCode, r.exitCode) << Describe(r);
    EXPECT_EQ(!c.rehearsal, e2e::PathIsFile(bed.Inst("file139.txt")));
    std::string bytes;
    ASSERT_TRUE(e2e::ReadFileBytes(log, &bytes));
    EXPECT_LE(bytes.size(), c.room);
    EXPECT_TRUE(bytes.empty() || bytes.compare(bytes.size() - 2, 2, "\r\n") == 0) << bytes;
    EXPECT_EQ(std::string::npos, bytes.find(" END ")) << bytes;
    if (c.room > 0) {
      EXPECT_NE(std::string::npos, bytes.find(" START ")) << bytes;
    }
    const driver::BoxRecord* box = r.FindBox(e2e::Message(5));
    if (*c.args == '\0') {
      ASSERT_NE(nullptr, box) << Describe(r);
      EXPECT_EQ(e2e::Message(5) + e2e::MessageWith(54, log), box->text);
    }
    e2e::DeleteTree(log);
  }
}

TEST(RunRecord, LogThatCannotBeMadeStopsTheRunWithMessage50) {
  e2e::TempDir logs("logs");
  const std::string missing = logs / "missing\\run.log";
  struct Case {
    std::string args;
    std::string path;  // as message 50 names it
    bool box;
  } cases[] = {{LogArg(missing), missing, true},
               {"/log", "", true},
               {"/log /noboxes", "/noboxes", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    ScriptBed bed;
    ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
    Scenario sc;
    sc.Answer(e2e::MessagePart(50, 0), IDOK, 1);

    RunResult r = bed.Run(AutoStartScript("[Copy]\na.txt\n"), sc, c.args);

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(1u, r.exitCode) << Describe(r);
    EXPECT_FALSE(e2e::PathIsFile(bed.Inst("a.txt")));
    const std::vector<driver::BoxRecord> boxes = r.Boxes();
    ASSERT_EQ(c.box ? 1u : 0u, boxes.size()) << Describe(r);
    if (!c.box) continue;
    const driver::BoxRecord& box = boxes[0];
    EXPECT_EQ(0u, box.text.find(e2e::MessagePart(50, 0) + c.path + e2e::MessagePart(50, 1)))
        << Describe(r);
    EXPECT_EQ(e2e::Message(4), box.caption);
    EXPECT_EQ((std::vector<int>{IDOK}), box.buttons);
  }
}

// The log replaces only a missing or empty file or an earlier log of Setup;
// it never writes the script, another file or through a link, and a value
// longer than 259 characters is refused whatever the system would take.
TEST(RunRecord, LogReplacesOnlyAnEarlierLogOrAnEmptyFile) {
  e2e::TempDir logs("logs");
  e2e::TempDir elsewhere("elsewhere");
  ASSERT_TRUE(e2e::MakeSymbolicLink(elsewhere.path(), logs / "linked"));
  const std::string earlier = "2026-12-07 14:36:46.123 START Setup 1.0.0.16; an earlier run\r\n";
  std::string longest = logs.path() + "\\";
  longest += std::string(259 - longest.size() - 4, 'l') + ".log";
  struct Case {
    const char* name;
    std::string path;      // as given to /log; relative to the package
    std::string existing;  // its content before the run ("<none>": no file)
    bool used;             // the log is made; otherwise message 50, nothing changed
    DWORD refusal;
  } cases[] = {
      {"a new file", logs / "new.log", "<none>", true, 0},
      {"an empty file", logs / "empty.log", "", true, 0},
      {"an earlier log", logs / "earlier.log", earlier, true, 0},
      {"259 characters", longest, "<none>", true, 0},
      {"260 characters", longest + "x", "<none>", false, ERROR_FILENAME_EXCED_RANGE},
      {"the package's script", "setup.dat", "<the script>", false, ERROR_FILE_EXISTS},
      {"the installation's INI file", "<ini>", "[Main]\r\nName=test\r\n", false, ERROR_FILE_EXISTS},
      {"another file", logs / "letter.txt", "Dear Sir,\r\n", false, ERROR_FILE_EXISTS},
      {"a path through a link", logs / "linked\\run.log", "<none>", false, ERROR_FILE_EXISTS},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptBed bed;
    ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
    const std::string script = AutoStartScript("[Copy]\na.txt\n");
    if (c.path == "<ini>") c.path = bed.Inst("Quillon.ini");
    const std::string file = c.path == "setup.dat" ? bed.Pkg("setup.dat") : c.path;
    if (c.existing == "<the script>") c.existing = script;
    if (c.existing != "<none>" && c.path != "setup.dat") {
      ASSERT_TRUE(e2e::WriteFileBytes(file, c.existing));
    }
    Scenario sc = e2e::WithSuccess();
    sc.Answer(e2e::MessagePart(50, 0), IDOK, 1);

    RunResult r = bed.Run(script, sc, LogArg(c.path));

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(c.used ? 0u : 1u, r.exitCode) << Describe(r);
    EXPECT_EQ(c.used, e2e::PathIsFile(bed.Inst("a.txt")));
    if (c.used) {
      EXPECT_TRUE(Has(LogLines(file, "END"), "exit code 0")) << e2e::FileText(file);
      EXPECT_FALSE(Has(e2e::FileText(file), "an earlier run"));
      continue;
    }
    const driver::BoxRecord* box = r.FindBox(e2e::MessagePart(50, 0));
    ASSERT_NE(nullptr, box) << Describe(r);
    EXPECT_TRUE(Has(box->text, e2e::MessagePart(50, 1) + SystemText(c.refusal))) << Describe(r);
    EXPECT_EQ(c.existing == "<none>" ? "<missing>" : c.existing, e2e::FileText(file));
    EXPECT_EQ("", e2e::Listing(elsewhere.path()));
  }
}

TEST(RunRecord, LogFollowsTheRunFromStartToEnd) {
  ScriptBed bed;
  e2e::TempDir logs("logs");
  const std::string log = logs / "run.log";
  ASSERT_TRUE(bed.PutQuillonFixture("version_3_10_0_5.exe"));
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
  const std::string script = e2e::CrLf(
      "[Options]\nSkipWelcome=1\nVerProg={exe}quillon.exe\nMinVer=3.5:\n"
      "[readini]\nName={des}Quillon.ini;Main;Name\nGone={des}Quillon.ini;Main;Gone\n"
      "[Copy]\na.txt\n[WriteIni]\n{des}Quillon.ini=Main;Name;{ini=Name}x\n[Bogus]\n");

  RunResult r = bed.Run(script, Scenario(), "/silent " + LogArg(log));

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::string all = LogLines(log, "");
  const char* const order[] = {"START Setup 1.0.0.16", "OPTIONS ", "LOCATION ", "DEFINE {ini=Name} = \"test\\\"",
                               "DEFINE {ini=Gone}: nothing found", "GATE ", "GATE MinVer 3.*.*.*",
                               "SECTION [Copy]", "LINE a.txt", "COPY ", "SECTION [WriteIni]",
                               "INI ", "SECTION [Bogus]: no action", "END errors: no"};
  size_t at = 0;
  for (const char* event : order) {
    size_t found = all.find(event, at);
    EXPECT_NE(std::string::npos, found) << event << " after " << at << " in\n" << all;
    if (found != std::string::npos) at = found;
  }
  EXPECT_TRUE(Has(LogLines(log, "INI"), "[Main] Name: \"test\" -> \"test\\x\"")) << all;
}

// ---- the rehearsal ----

// A handle that lets others read and rename the file but not write it: a
// running program.
class RunningProgram {
 public:
  explicit RunningProgram(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~RunningProgram() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

TEST(Rehearsal, ChangesNothingAndNamesEveryChangeItWouldMake) {
  ScriptBed bed;
  const std::string key = "Software\\SetupE2E\\Rehearsal";
  e2e::RegistryKeysGuard keys{{{HKEY_CURRENT_USER, key}}};
  ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, key, "Old", "1"));
  e2e::TempDir logs("logs");
  const std::string log = logs / "plan.log";
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"new.txt"}));
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Pkg("quillon.exe"), "new program"));
  ASSERT_TRUE(e2e::WriteFiles(bed.inst(), {"old.tmp", "settings.cfg"}));
  e2e::EnvVar recorder("RECORDER_LOG", logs / "recorder.log");
  const std::string script = AutoStartScript(
      "[Copy]\nnew.txt\nquillon.exe={exe}\n"
      "[Delete]\n{des}*.tmp\n"
      "[Move]\n{des}settings.cfg={des}settings.old\n"
      "[WriteIni]\n{des}Quillon.ini=Setup;Key;Value\n"
      "[WriteReg]\nHKCU;" + key + "\\Sub;Name;Data\n"
      "[DelReg]\nHKCU;" + key + ";Old;\n"
      "[Run]\n" + e2e::FixturePath("recorder.exe") + " 'planned'\n");
  ASSERT_TRUE(e2e::WriteSetupDat(bed.pkg(), script));
  const std::string before = e2e::TreeSnapshot(bed.pkg()) + e2e::TreeSnapshot(bed.inst()) +
                             e2e::TreeSnapshot(bed.prog()) +
                             e2e::RegistrySnapshot(HKEY_CURRENT_USER, key);
  RunningProgram running(bed.Prog("quillon.exe"));
  ASSERT_TRUE(running.held());

  RunResult r = bed.Run(script, Scenario(), "/plan " + LogArg(log));

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  EXPECT_EQ(before, e2e::TreeSnapshot(bed.pkg()) + e2e::TreeSnapshot(bed.inst()) +
                        e2e::TreeSnapshot(bed.prog()) +
                        e2e::RegistrySnapshot(HKEY_CURRENT_USER, key));
  EXPECT_FALSE(e2e::PathIsFile(logs / "recorder.log"));
  const std::string plan = LogLines(log, "PLAN");
  const std::string expected[] = {
      "PLAN COPY \"" + bed.Pkg("new.txt") + "\" -> \"" + bed.Inst("new.txt") + "\": new",
      "PLAN COPY \"" + bed.Pkg("quillon.exe") + "\" -> \"" + bed.Prog("quillon.exe") +
          "\": would replace it; the old program would be renamed to \"" +
          bed.Prog("quillon.exe.(0)") + "\"",
      "PLAN DELETE \"" + bed.Inst("old.tmp") + "\"",
      "PLAN MOVE \"" + bed.Inst("settings.cfg") + "\" -> \"" + bed.Inst("settings.old") + "\"\n",
      "PLAN INI \"" + bed.Inst("Quillon.ini") + "\" [Setup] Key: absent -> \"Value\"",
      "PLAN REG HKCU\\" + key + "\\Sub: key created",
      "PLAN REG HKCU\\" + key + "\\Sub value \"Name\": absent -> REG_SZ \"Data\"",
      "PLAN REG HKCU\\" + key + " value \"Old\": REG_SZ \"1\" -> deleted",
      "PLAN RUN \"" + e2e::FixturePath("recorder.exe") + " \" parameters \"planned\": would be started",
  };
  for (const std::string& line : expected) EXPECT_TRUE(Has(plan, line)) << line << "\nin\n" << plan;
}

TEST(Rehearsal, WithoutALogThePlanGoesToTheTemporaryDirectoryAndIsNamed) {
  ScriptBed bed;
  char temp[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof temp, temp);
  ASSERT_TRUE(length > 0 && length < sizeof temp);
  const std::string planFile = std::string(temp) + "Setup-plan.log";
  DeleteFileA(planFile.c_str());
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));
  Scenario sc;
  sc.Answer(e2e::MessagePart(51, 0), IDOK, 1);

  RunResult r = bed.Run(AutoStartScript("[Copy]\na.txt\nmissing.txt\n"), sc, "/plan /silent");

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.exitCode) << Describe(r);  // missing.txt would fail
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(e2e::MessageWith(51, planFile), r.Boxes()[0].text);
  EXPECT_EQ(e2e::Message(4), r.Boxes()[0].caption);
  EXPECT_FALSE(e2e::PathIsFile(bed.Inst("a.txt")));
  const std::string plan = LogLines(planFile, "PLAN COPY");
  EXPECT_TRUE(Has(plan, bed.Inst("a.txt") + "\": new")) << plan;
  EXPECT_TRUE(Has(plan, bed.Pkg("missing.txt") + "\": would fail")) << plan;
}

}  // namespace

namespace {

// A rehearsal answers a failure as the run it rehearses would: unattended
// with Abort, which stops the run (and undoes it with rollback on); with a
// person it plans on as after Ignore. Its exit code is the one it predicts.
TEST(Rehearsal, AnswersFailuresAsTheRunWouldAndExitsWithThePredictedCode) {
  struct Case {
    const char* name;
    const char* args;
    bool rollback;
    bool missingProgram;  // else a source that cannot be read
    bool plansOn;
    unsigned exitCode;
    const char* answer;
  } cases[] = {
      {"unattended", "/noboxes", false, false, false, 3, "answered Abort automatically: the "
       "installation stops\n"},
      {"unattended with rollback", "/noboxes", true, false, false, 4, "the installation stops and "
       "is undone"},
      {"unattended, a program that is not there", "/noboxes", false, true, false, 3,
       "not found; answered Abort automatically"},
      {"with a person", "", false, false, true, 3, "the user would be asked (planned on as after "
       "Ignore)"},
      {"with a person and rollback", "", true, true, true, 3, "the user would be asked"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptBed bed;
    e2e::TempDir logs("logs");
    const std::string log = logs / "plan.log";
    ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"locked.txt", "after.txt"}));
    e2e::FileLock lock(bed.Pkg("locked.txt"));
    ASSERT_TRUE(lock.held());
    std::string failing = c.missingProgram ? "[Run]\nnothere-e2e.exe\n" : "[Copy]\nlocked.txt\n";

    RunResult r = bed.Run(e2e::CrLf(std::string("[Options]\nSkipWelcome=1\n") +
                                    (c.rollback ? "Rollback=1\n" : "") + failing +
                                    "[Copy]\nafter.txt\n"),
                          Scenario(), std::string("/silent /plan ") + c.args + " " + LogArg(log));

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(c.exitCode, r.exitCode) << Describe(r);
    const std::string plan = LogLines(log, "PLAN");
    EXPECT_TRUE(Has(plan, c.answer)) << plan;
    EXPECT_EQ(c.plansOn, Has(plan, bed.Inst("after.txt") + "\": new")) << plan;
    EXPECT_TRUE(Has(LogLines(log, "END"), "predicted exit code " + std::to_string(c.exitCode) +
                                              (*c.args ? ", with the boxes answered automatically"
                                                       : ", if every failure is answered with "
                                                         "Ignore or Yes")))
        << LogLines(log, "END");
  }
}

}  // namespace

namespace {

// The deployment recipe: rehearse, run unattended, and run again. A bound
// that the updated program no longer meets, with an empty message, makes
// the second run end with 2 and change nothing.
TEST(Deployment, RehearsalRunAndASecondRunOfAGatedPackage) {
  ScriptBed bed;
  e2e::TempDir logs("logs");
  ASSERT_TRUE(bed.PutQuillonFixture("version_3_10_0_5.exe"));
  ASSERT_TRUE(e2e::CopyFixture("version_4_0_0_1.exe", bed.Pkg("quillon.exe")));
  const std::string script = e2e::CrLf(
      "[Options]\nVerProg={exe}quillon.exe\nMaxVer=3.99.0.0:\n[Copy]\nquillon.exe={exe}\n");
  struct Step {
    const char* args;
    unsigned exitCode;
    const char* end;
  } steps[] = {
      {"/plan", 0, "END errors: no; stopped: no; predicted exit code 0, with the boxes answered "
                   "automatically\n"},
      {"", 0, "END errors: no; stopped: no; exit code 0\n"},
      {"", 2, "END errors: no; stopped: yes; exit code 2\n"},
  };
  for (const Step& step : steps) {
    const std::string log = logs / "update.log";
    RunResult r = bed.Run(script, Scenario(),
                          std::string("/silent /noboxes ") + step.args + " " + LogArg(log));
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(step.exitCode, r.exitCode) << Describe(r);
    EXPECT_EQ(step.end, LogLines(log, "END"));
  }
  std::string bytes, fresh;
  ASSERT_TRUE(e2e::ReadFileBytes(bed.Prog("quillon.exe"), &bytes));
  ASSERT_TRUE(e2e::ReadFileBytes(bed.Pkg("quillon.exe"), &fresh));
  EXPECT_TRUE(bytes == fresh);
  EXPECT_TRUE(e2e::PathIsFile(bed.Prog("quillon.exe.(0)")));
  EXPECT_FALSE(e2e::PathIsFile(bed.Prog("quillon.exe.(1)")));  // the second run renamed nothing
}

}  // namespace
