// Nothing starts that cannot finish, seen from outside: a sealed package
// installs; one whose files are not as they were sealed, or whose copies do
// not fit on their volume, ends the run before its first change.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_cases.h"
#include "e2e/package_check.h"
#include "e2e/script_bed.h"
#include "e2e/small_volume.h"
#include "e2e/snapshot.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using driver::Session;
using driver::ToUtf8;
using e2e::Describe;
using e2e::FileText;
using e2e::LogLines;

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Bytes(size_t size, char fill) { return std::string(size, fill); }

std::string LogArg(const std::string& path) { return "/log \"" + path + "\""; }

// setupcheck --seal: the package's seal, made by the tool authors use.
::testing::AssertionResult Seal(const std::string& pkg) {
  std::string output;
  int status = e2e::RunSetupcheck("--seal \"" + pkg + "\"", &output);
  if (status == 0 && e2e::PathIsFile(e2e::JoinPath(pkg, "setup.sum"))) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "setupcheck --seal: status " << status << ": " << output;
}

// A package with files in a subdirectory, one with a Czech name, and an
// installation holding older copies of them; rollback is on.
const char kScript[] =
    "Rollback=1\n[Copy]\nbin\\*.dll=bin\\\nreadme.txt\n\x9a" "ablony\\*.qtp=\x9a" "ablony\\\n";

bool MakeSealedPackage(const e2e::ScriptBed& bed, int dlls) {
  bool made = e2e::WriteSetupDat(bed.pkg(), e2e::AutoStartScript(kScript)) &&
              e2e::WriteFileBytes(bed.Pkg("readme.txt"), "new readme") &&
              e2e::WriteFileBytes(bed.Pkg("\x9a" "ablony\\dopis.qtp"), "new letter");
  for (int i = 1; i <= dlls && made; ++i) {
    std::string name = "bin\\lib" + std::to_string(i) + ".dll";
    made = e2e::WriteFileBytes(bed.Pkg(name), Bytes(5000, static_cast<char>('a' + i))) &&
           e2e::WriteFileBytes(bed.Inst(name), "old " + name);
  }
  return made && Seal(bed.pkg());
}

TEST(Seal, SealedPackageInstallsAndTheLogInThePackageIsNoneOfItsFiles) {
  e2e::ScriptBed bed;
  // A log of an earlier run lies in the package and was sealed with it.
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Pkg("install.log"),
                                  "2026-12-01 10:00:00.000 START Setup 1.0.0.16; an earlier run\r\n"));
  ASSERT_TRUE(MakeSealedPackage(bed, 2));
  // A file no line takes may join the package after sealing.
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Pkg("notes.txt"), "added"));
  const std::string log = bed.Pkg("install.log");

  RunResult r = e2e::RunSetup(bed.pkg(), bed.LocationArgs() + " /silent /noboxes " + LogArg(log),
                              Scenario());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_TRUE(Bytes(5000, 'c') == FileText(bed.Inst("bin\\lib2.dll")));
  EXPECT_EQ("new letter", FileText(bed.Inst("\x9a" "ablony\\dopis.qtp")));
  EXPECT_TRUE(Has(LogLines(log, "SEAL"), "setup.sum: 5 files are as they were sealed; the run's log \"install.log\" is none"))
      << LogLines(log, "SEAL");
}

TEST(Seal, UnsealedPackageInstallsAsBeforeAndTheLogSaysSo) {
  e2e::ScriptBed bed;
  e2e::TempDir logs("logs");
  ASSERT_TRUE(e2e::WriteFiles(bed.pkg(), {"a.txt"}));

  RunResult r = bed.Run(e2e::AutoStartScript("[Copy]\na.txt\n"), Scenario(),
                        "/silent /noboxes " + LogArg(logs / "run.log"));

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_TRUE(e2e::PathIsFile(bed.Inst("a.txt")));
  EXPECT_TRUE(Has(LogLines(logs / "run.log", "SEAL"), "no setup.sum: the package is not sealed"));
}

// What damages the package after sealing, and how the log names it.
struct Damage {
  const char* name;
  const char* file;  // in the package
  enum { kFlipByte, kCut, kRemove, kAdd, kReplace } how;
  const char* logged;  // in the SEAL event
};

bool Apply(const e2e::ScriptBed& bed, const Damage& damage) {
  const std::string path = bed.Pkg(damage.file);
  std::string bytes;
  switch (damage.how) {
    case Damage::kFlipByte:
      if (!e2e::ReadFileBytes(path, &bytes) || bytes.size() < 100) return false;
      bytes[100] ^= 1;
      return e2e::WriteFileBytes(path, bytes);
    case Damage::kCut:
      return e2e::ReadFileBytes(path, &bytes) && e2e::WriteFileBytes(path, bytes.substr(0, 4096));
    case Damage::kRemove:
      return DeleteFileA(path.c_str()) != 0;
    case Damage::kAdd:
      return e2e::WriteFileBytes(path, "not sealed");
    case Damage::kReplace:
      return e2e::WriteFileBytes(path, "setup.sum 1\n12 beef bin\\lib1.dll\n");
  }
  return false;
}

TEST(Seal, DamagedPackageChangesNothingAndNamesTheFile) {
  const Damage damages[] = {
      {"one changed byte", "bin\\lib1.dll", Damage::kFlipByte,
       "\"bin\\lib1.dll\": changed (SHA-256 differs)"},
      {"a cut file", "bin\\lib2.dll", Damage::kCut,
       "\"bin\\lib2.dll\": changed (4096 bytes, sealed with 5000)"},
      {"a missing file", "readme.txt", Damage::kRemove,
       "\"readme.txt\": missing (sealed with the package)"},
      {"an added file that a [Copy] line takes", "bin\\extra.dll", Damage::kAdd,
       "\"bin\\extra.dll\": not in the seal (the script takes it)"},
      {"a malformed seal", "setup.sum", Damage::kReplace,
       "\"setup.sum\": cannot be read (malformed: line 2: no SHA-256"}};
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    e2e::ScriptBed bed;
    e2e::TempDir logs("logs");
    const std::string log = logs / "run.log";
    ASSERT_TRUE(MakeSealedPackage(bed, 2));
    ASSERT_TRUE(Apply(bed, damage));
    const std::string before = e2e::TreeSnapshot(bed.inst()) + e2e::TreeSnapshot(bed.prog());

    // No rule: a box would fail the run.
    RunResult r = e2e::RunSetup(bed.pkg(), bed.LocationArgs() + " /noboxes " + LogArg(log),
                                Scenario());

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(1u, r.exitCode) << Describe(r);
    // Nothing changed, not even the rollback journal was made.
    EXPECT_TRUE(before == e2e::TreeSnapshot(bed.inst()) + e2e::TreeSnapshot(bed.prog()));
    EXPECT_TRUE(Has(LogLines(log, "SEAL"), damage.logged)) << LogLines(log, "SEAL");
    EXPECT_TRUE(Has(LogLines(log, "BOX"), "buttons OK: OK (answered automatically)"))
        << LogLines(log, "BOX");
    EXPECT_TRUE(Has(LogLines(log, "END"), "exit code 1")) << LogLines(log, "END");
  }
}

TEST(Seal, MessageNamesTenFilesWithWhatIsWrongAndCountsTheRest) {
  e2e::ScriptBed bed;
  ASSERT_TRUE(MakeSealedPackage(bed, 12));
  for (int i = 1; i <= 12; ++i) {
    ASSERT_TRUE(e2e::WriteFileBytes(bed.Pkg("bin\\lib" + std::to_string(i) + ".dll"), "changed"));
  }
  ASSERT_TRUE(DeleteFileA(bed.Pkg("readme.txt").c_str()));
  Scenario sc;
  sc.Answer(e2e::MessagePart(55, 0), IDOK, 1);

  RunResult r = e2e::RunSetup(bed.pkg(), bed.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  const BoxRecord box = r.Boxes()[0];
  EXPECT_EQ("OK", box.ButtonList());
  // The seal lists its files sorted by their bytes: lib1, lib10, lib11,
  // lib12, lib2 ... lib9, readme.txt; the first ten are named.
  const std::string changed = ": " + e2e::Message(60);
  EXPECT_TRUE(Has(box.text, "\nbin\\lib1.dll" + changed + "\nbin\\lib10.dll" + changed))
      << ToUtf8(box.text);
  EXPECT_TRUE(Has(box.text, "\nbin\\lib7.dll" + changed + "\n" + e2e::MessageWith(63, "3")))
      << ToUtf8(box.text);
  EXPECT_FALSE(Has(box.text, "lib8")) << ToUtf8(box.text);
  // The status line still shows the check that found it.
  EXPECT_EQ(e2e::Message(57) + ": 100 %", box.dialogStatus) << ToUtf8(box.dialogStatus);
  EXPECT_EQ("old bin\\lib1.dll", FileText(bed.Inst("bin\\lib1.dll")));
}

TEST(Seal, RehearsalChecksTheSealAndPredictsExitCodeOne) {
  e2e::ScriptBed bed;
  e2e::TempDir logs("logs");
  const std::string log = logs / "plan.log";
  ASSERT_TRUE(MakeSealedPackage(bed, 1));
  ASSERT_TRUE(e2e::WriteFileBytes(bed.Pkg("bin\\lib1.dll"), "changed"));

  RunResult r = e2e::RunSetup(bed.pkg(), bed.LocationArgs() + " /plan " + LogArg(log), Scenario());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  const std::string seal = LogLines(log, "PLAN SEAL");
  EXPECT_TRUE(Has(seal, "\"bin\\lib1.dll\": changed")) << seal;
  EXPECT_TRUE(Has(seal, "a real run stops here (message 55)")) << seal;
  EXPECT_EQ("", LogLines(log, "PLAN COPY"));
}

// --- the space check

const size_t kNewSize = 400 * 1024;

TEST(Space, CopiesThatDoNotFitAskForRoomAndRetryAfterRoomWasMadeInstalls) {
  std::string why;
  const std::string volume = e2e::SmallVolume(&why);
  if (volume.empty()) GTEST_SKIP() << why;

  struct Case {
    const char* name;
    const char* args;
    int answer;  // to message 56; 0: no box
    unsigned exitCode;
    const char* logged;  // keyword of the log's events of the check
  } cases[] = {{"unattended: Cancel", "/noboxes", 0, 1, "SPACE"},
               {"a rehearsal reports it", "/plan", 0, 1, "PLAN SPACE"},
               {"Cancel", "", IDCANCEL, 1, "SPACE"},
               {"Retry after room was made", "", IDRETRY, 0, "SPACE"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::FullVolume full;
    ASSERT_TRUE(full.Make(volume));
    const std::string target = e2e::JoinPath(full.inst, "lib.dll");
    ASSERT_TRUE(e2e::WriteFileBytes(target, "old"));
    ASSERT_TRUE(full.Fill(kNewSize / 2));
    e2e::TempDir pkg("pkg");
    e2e::TempDir logs("logs");
    const std::string log = logs / "run.log";
    ASSERT_TRUE(e2e::WriteFileBytes(pkg / "lib.dll", Bytes(kNewSize, 'n')));
    ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), e2e::AutoStartScript("[Copy]\nlib.dll\n")));
    const std::string before = e2e::TreeSnapshot(full.inst);
    Scenario sc = e2e::WithSuccess();
    const std::string filler = full.filler;
    if (c.answer) {
      sc.AnswerThen(e2e::MessagePart(56, 0), c.answer,
                    [filler](Session&, const BoxRecord&) { e2e::DeleteTree(filler); }, 1);
    }

    RunResult r = e2e::RunSetup(
        pkg.path(),
        e2e::LocationArgs(full.inst, e2e::JoinPath(full.inst, "Quillon.ini")) + " " + c.args +
            " " + LogArg(log),
        sc);

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(c.exitCode, r.exitCode) << Describe(r);
    const std::string space = LogLines(log, c.logged);
    std::string root = volume + "\\";
    EXPECT_TRUE(Has(space, "\"" + ToUtf8(root) + "\": the copies need " +
                               std::to_string(kNewSize) + " bytes at most")) << space;
    EXPECT_TRUE(Has(space, "\": too little")) << space;
    if (c.answer) {
      const BoxRecord* box = r.FindBox(e2e::MessagePart(56, 0));
      ASSERT_NE(nullptr, box) << Describe(r);
      EXPECT_EQ("CANCEL,RETRY", box->ButtonList());
      EXPECT_TRUE(Has(box->text, e2e::MessagePart(56, 0) + root + e2e::MessagePart(56, 1) +
                                     "400 kB" + e2e::MessagePart(56, 2)))
          << ToUtf8(box->text);
    } else {
      EXPECT_EQ(nullptr, r.FindBox(e2e::MessagePart(56, 0))) << Describe(r);
    }
    if (c.exitCode == 0) {
      EXPECT_TRUE(Has(space, "\": enough")) << space;
      EXPECT_TRUE(Bytes(kNewSize, 'n') == FileText(target));
    } else {
      EXPECT_TRUE(before == e2e::TreeSnapshot(full.inst));
    }
  }
}

TEST(Space, CopiesFitBecauseEachReplacedFileGivesItsRoomBack) {
  std::string why;
  const std::string volume = e2e::SmallVolume(&why);
  if (volume.empty()) GTEST_SKIP() << why;
  const size_t kSize = 200 * 1024;
  e2e::FullVolume full;
  ASSERT_TRUE(full.Make(volume));
  e2e::TempDir pkg("pkg");
  e2e::TempDir logs("logs");
  const std::string log = logs / "run.log";
  for (const char* name : {"a.dll", "b.dll", "c.dll"}) {
    ASSERT_TRUE(e2e::WriteFileBytes(e2e::JoinPath(full.inst, name), Bytes(kSize, 'o')));
    ASSERT_TRUE(e2e::WriteFileBytes(pkg / name, Bytes(kSize, 'n')));
  }
  // Room for one new file beside its old one, not for three new ones.
  ASSERT_TRUE(full.Fill(kSize + kSize / 2));
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), e2e::AutoStartScript("[Copy]\n*.dll\n")));

  RunResult r = e2e::RunSetup(
      pkg.path(),
      e2e::LocationArgs(full.inst, e2e::JoinPath(full.inst, "Quillon.ini")) + " /noboxes " +
          LogArg(log),
      Scenario());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_TRUE(Has(LogLines(log, "SPACE"), "the copies need " + std::to_string(kSize) +
                                              " bytes at most"))
      << LogLines(log, "SPACE");
  for (const char* name : {"a.dll", "b.dll", "c.dll"}) {
    EXPECT_TRUE(Bytes(kSize, 'n') == FileText(e2e::JoinPath(full.inst, name))) << name;
  }
}

TEST(Space, DeletedFilesGiveRoomAndARefusedVersionCopyNeedsNone) {
  std::string why;
  const std::string volume = e2e::SmallVolume(&why);
  if (volume.empty()) GTEST_SKIP() << why;
  const size_t kSize = 300 * 1024;
  e2e::FullVolume full;
  ASSERT_TRUE(full.Make(volume));
  ASSERT_TRUE(e2e::CopyFixture("version_3_10_0_5.exe", e2e::JoinPath(full.inst, "quillon.exe")));
  ASSERT_TRUE(e2e::WriteFileBytes(e2e::JoinPath(full.inst, "old.dat"), Bytes(kSize, 'o')));
  ASSERT_TRUE(full.Fill(kSize * 2 / 3));
  e2e::TempDir pkg("pkg");
  e2e::TempDir logs("logs");
  ASSERT_TRUE(e2e::WriteFileBytes(pkg / "big.dat", Bytes(kSize, 'n')));
  ASSERT_TRUE(e2e::WriteFileBytes(pkg / "huge.dat", Bytes(kSize * 2, 'h')));
  // big.dat fits once old.dat is gone; huge.dat never comes: its section's
  // check refuses without a question (Quillon 3.10 is installed).
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), e2e::AutoStartScript(
      "[Delete]\n{des}old.dat\n[Copy]\nbig.dat\n"
      "[VersionCopy]\nVerProg={exe}quillon.exe\nMinVer=4.0.0.0:\nhuge.dat\n")));

  RunResult r = e2e::RunSetup(
      pkg.path(),
      e2e::LocationArgs(full.inst, e2e::JoinPath(full.inst, "Quillon.ini")) + " /noboxes " +
          LogArg(logs / "run.log"),
      Scenario());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_TRUE(Has(LogLines(logs / "run.log", "SPACE"), "the copies need 0 bytes at most"))
      << LogLines(logs / "run.log", "SPACE");
  EXPECT_TRUE(Bytes(kSize, 'n') == FileText(e2e::JoinPath(full.inst, "big.dat")));
  EXPECT_FALSE(e2e::PathIsFile(e2e::JoinPath(full.inst, "huge.dat")));
}

}  // namespace
