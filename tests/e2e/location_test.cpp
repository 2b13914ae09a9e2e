// Finding the installation from the command line, the file-type associations
// and the application's registry entry; the questions asked on the way; and
// whether the run starts by itself and in which directory it works.
#include <gtest/gtest.h>

#include "e2e/e2e_cases.h"
#include "e2e/e2e_support.h"

using driver::DialogSnapshot;
using driver::RunResult;
using driver::Scenario;
using driver::Step;
using e2e::BeforeStep;
using e2e::Describe;
using e2e::LocationArgs;
using e2e::MarkerMoved;
using e2e::MarkerUntouched;
using e2e::Message;
using e2e::MessageWith;
using e2e::WithSuccess;

namespace {

std::string Script(const std::string& options, const std::string& more = "") {
  return "[Options]\r\n" + options + e2e::kMarkerMove + more;
}

// A package, an installation with quillon.exe, and a clean slate of the
// registry entries that point to installations.
struct Setting : e2e::CaseDirs {
  e2e::RegistryKeysGuard keys{e2e::LocationKeys()};

  bool Prepare(const std::string& script) {
    return Make(script) && e2e::PlaceMarker(pkg.path()) && e2e::PlaceMarker(inst.path());
  }
};

bool SetApplicationEntry(const std::string& dir) {
  return e2e::RegWriteString(HKEY_LOCAL_MACHINE, e2e::kApplicationEntry, "", dir);
}

bool SetAssociation(const char* key, const std::string& command) {
  return e2e::RegWriteString(HKEY_CLASSES_ROOT, key, "", command);
}

// The usual open command of the application.
std::string OpenCommand(const std::string& programDir, const std::string& iniPath) {
  return "\"" + programDir + "\\quillon.exe\" /i \"" + iniPath + "\"";
}

// A run that starts by itself never reaches its steps: a Cancel step there
// catches a run that waits instead.
Scenario StartsByItself() {
  Scenario sc = WithSuccess();
  sc.Then(Step::PressCancel());
  return sc;
}

std::string Confirmation(const std::string& installDir, const std::string& programDir) {
  return MessageWith(11, installDir, programDir);
}

// Message 11 up to its first directory: matches any confirmation.
std::string ConfirmationPrefix() { return e2e::MessagePart(11, 0); }

// ---- the outcome table ----

TEST(LocationOutcome, NoDirWithoutInstallationStartsInThePackageWithoutQuestion) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("NoDir=1\r\n")));

  RunResult r = e2e::RunSetup(s.pkg.path(), "", StartsByItself());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(0u, r.stepsDone) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
}

TEST(LocationOutcome, NoDirWithInstallationCancelEndsWithOne) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("NoDir=1\r\n")));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc;
  sc.Answer(Confirmation(s.inst.path(), s.inst.path()), IDCANCEL, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
}

TEST(LocationOutcome, NoDirWithInstallationAnsweredNoStillStartsWithoutEnteringIt) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("NoDir=1\r\n")));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc = StartsByItself();
  sc.Answer(Confirmation(s.inst.path(), s.inst.path()), IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(0u, r.stepsDone) << Describe(r);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
}

TEST(LocationOutcome, NoDirWithMissingQuillonExeWarnsAndStillStarts) {
  Setting s;
  e2e::TempDir bare("bare");  // found, but without quillon.exe
  ASSERT_TRUE(s.Prepare(Script("NoDir=1\r\n")));
  ASSERT_TRUE(e2e::PlaceMarker(bare.path()));
  ASSERT_TRUE(SetApplicationEntry(bare.path()));
  Scenario sc = StartsByItself();
  sc.Answer(Message(9), IDOK, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(0u, r.stepsDone) << Describe(r);
  const driver::BoxRecord* warning = r.FindBox(Message(9));
  ASSERT_NE(nullptr, warning) << Describe(r);
  EXPECT_EQ(Message(10), warning->caption);
  EXPECT_EQ(std::vector<int>{IDOK}, warning->buttons);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(bare.path()));
}

TEST(LocationOutcome, NotFoundAnsweredNoEndsWithOne) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  Scenario sc;
  sc.Answer(Message(7), IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  std::vector<driver::BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(1u, boxes.size()) << Describe(r);
  EXPECT_EQ(Message(7), boxes[0].text);
  EXPECT_EQ(Message(8), boxes[0].caption);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), boxes[0].buttons);
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
}

TEST(LocationOutcome, NotFoundAnsweredYesWaitsAndInstallRunsInThePackage) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  Scenario sc = WithSuccess();
  sc.Answer(Message(7), IDYES, 1);
  sc.Then(Step::Snapshot())
      .Then(Step::SetInstallDir(s.inst.path()))
      .Then(Step::SetProgramDir(s.inst.path()))
      .Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(4u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  DialogSnapshot waiting = BeforeStep(r, 0);
  EXPECT_EQ("", waiting.installDir);
  EXPECT_EQ("", waiting.programDir);
  // Nothing in the dialog changes the current directory.
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
}

TEST(LocationOutcome, NotFoundSilentCannotEnterAnEmptyDirectoryAndWaits) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  Scenario sc;
  sc.Answer(Message(7), IDYES, 1);
  sc.Answer(Message(12), IDOK, 1);
  sc.Then(Step::SetProgramDir(s.inst.path())).Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(), "/silent", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  const driver::BoxRecord* pathError = r.FindBox(Message(12));
  ASSERT_NE(nullptr, pathError) << Describe(r);
  EXPECT_EQ(Message(13), pathError->caption);
  EXPECT_EQ(std::vector<int>{IDOK}, pathError->buttons);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
}

TEST(LocationOutcome, SkipWelcomeStartsInTheInstallationWithoutAnyCheck) {
  Setting s;
  e2e::TempDir bare("bare");  // no quillon.exe: not even looked for
  ASSERT_TRUE(s.Prepare(Script("SkipWelcome=1\r\n")));
  ASSERT_TRUE(e2e::PlaceMarker(bare.path()));
  ASSERT_TRUE(SetApplicationEntry(bare.path()));

  RunResult r = e2e::RunSetup(s.pkg.path(), "", StartsByItself());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(0u, r.stepsDone) << Describe(r);
  EXPECT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_TRUE(MarkerMoved(bare.path()));
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
}

TEST(LocationOutcome, SkipWelcomeWithoutInstallationStillAsks) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("SkipWelcome=1\r\n")));
  Scenario sc;
  sc.Answer(Message(7), IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
}

TEST(LocationOutcome, SkipWelcomeWithUnreachableDirectoryReportsAndWaits) {
  Setting s;
  const std::string missing = s.inst / "missing";
  ASSERT_TRUE(s.Prepare(Script("SkipWelcome=1\r\n")));
  Scenario sc = WithSuccess();
  sc.Answer(Message(12), IDOK, 1);
  sc.Then(Step::Snapshot()).Then(Step::SetProgramDir(s.inst.path())).Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(), LocationArgs(missing, missing + "\\Quillon.ini"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.CountBoxes(Message(12))) << Describe(r);
  EXPECT_EQ(missing, BeforeStep(r, 0).installDir);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
}

TEST(LocationOutcome, MissingQuillonExeWarnsAndWaitsWithTheFoundDirectories) {
  Setting s;
  e2e::TempDir bare("bare");
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(e2e::PlaceMarker(bare.path()));
  ASSERT_TRUE(SetApplicationEntry(bare.path()));
  Scenario sc = WithSuccess();
  sc.Answer(Message(9), IDOK, 1);
  sc.Then(Step::Snapshot()).Then(Step::SetProgramDir(s.inst.path())).Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, r.FindBox(ConfirmationPrefix())) << Describe(r);
  DialogSnapshot waiting = BeforeStep(r, 0);
  EXPECT_EQ(bare.path(), waiting.installDir);
  EXPECT_EQ(bare.path(), waiting.programDir);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(bare.path()));
}

TEST(LocationOutcome, MissingQuillonExeSilentWarnsThenStartsInTheInstallation) {
  Setting s;
  e2e::TempDir bare("bare");
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(e2e::PlaceMarker(bare.path()));
  ASSERT_TRUE(SetApplicationEntry(bare.path()));
  Scenario sc;
  sc.Answer(Message(9), IDOK, 1);
  sc.Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(s.pkg.path(), "/silent", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(0u, r.stepsDone) << Describe(r);
  EXPECT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_TRUE(MarkerMoved(bare.path()));
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
}

TEST(LocationOutcome, MissingQuillonExeSilentWithUnreachableDirectoryWaits) {
  Setting s;
  const std::string missing = s.inst / "missing";
  ASSERT_TRUE(s.Prepare(Script("")));
  Scenario sc;
  sc.Answer(Message(9), IDOK, 1);
  sc.Answer(Message(12), IDOK, 1);
  sc.Then(Step::SetProgramDir(s.inst.path())).Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(),
                              LocationArgs(missing, missing + "\\Quillon.ini") + " /silent", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::vector<driver::BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(2u, boxes.size()) << Describe(r);
  EXPECT_EQ(Message(9), boxes[0].text);
  EXPECT_EQ(Message(12), boxes[1].text);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
}

TEST(LocationOutcome, SilentAsksNothingAndStartsInTheInstallation) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc;
  sc.Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(s.pkg.path(), "/silent", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(0u, r.stepsDone) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
}

TEST(LocationOutcome, SilentWithUnreachableInstallDirectoryReportsAndWaits) {
  Setting s;
  const std::string missing = s.inst / "missing";
  ASSERT_TRUE(s.Prepare(Script("")));
  Scenario sc;
  sc.Answer(Message(12), IDOK, 1);
  sc.Then(Step::PressInstall());

  RunResult r =
      e2e::RunSetup(s.pkg.path(), LocationArgs(s.inst.path(), missing + "\\Quillon.ini") + " /silent", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(Message(12), r.Boxes()[0].text);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
}

TEST(LocationOutcome, ConfirmedWithYesStartsInTheInstallation) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  const std::string question = Confirmation(s.inst.path(), s.inst.path());
  Scenario sc = StartsByItself();
  sc.Answer(question, IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(0u, r.stepsDone) << Describe(r);
  const driver::BoxRecord* box = r.FindBox(question);
  ASSERT_NE(nullptr, box) << Describe(r);
  EXPECT_EQ(question, box->text);
  EXPECT_EQ(Message(4), box->caption);
  EXPECT_EQ((std::vector<int>{IDCANCEL, IDYES, IDNO}), box->buttons);
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
}

TEST(LocationOutcome, ConfirmedWithYesButUnreachableReportsAndWaits) {
  Setting s;
  const std::string missing = s.inst / "missing";
  ASSERT_TRUE(s.Prepare(Script("")));
  Scenario sc = WithSuccess();
  sc.Answer(Confirmation(missing, s.inst.path()), IDYES, 1);
  sc.Answer(Message(12), IDOK, 1);
  sc.Then(Step::PressInstall());

  RunResult r =
      e2e::RunSetup(s.pkg.path(), LocationArgs(s.inst.path(), missing + "\\Quillon.ini"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.CountBoxes(Message(12))) << Describe(r);
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
}

TEST(LocationOutcome, AnsweredNoWaitsWithTheFoundDirectoriesAndStaysInThePackage) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc = WithSuccess();
  sc.Answer(Confirmation(s.inst.path(), s.inst.path()), IDNO, 1);
  sc.Then(Step::Snapshot()).Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  DialogSnapshot waiting = BeforeStep(r, 0);
  EXPECT_EQ(s.inst.path(), waiting.installDir);
  EXPECT_EQ(s.inst.path(), waiting.programDir);
  EXPECT_TRUE(waiting.IsEnabled(driver::kInstallButton));
  EXPECT_TRUE(MarkerMoved(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
}

TEST(LocationOutcome, AnsweredCancelEndsWithOne) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc;
  sc.Answer(Confirmation(s.inst.path(), s.inst.path()), IDCANCEL, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
}

// ---- where the location comes from ----

// Writes {des}, {exe} and {inifile} of the run into the package's probe file.
const char kProbeLines[] =
    "[WriteIni]\r\n"
    "{src}probe.ini=Run;des;{des}\r\n"
    "{src}probe.ini=Run;exe;{exe}\r\n"
    "{src}probe.ini=Run;inifile;{inifile}\r\n";

std::string Probe(const Setting& s, const char* key) {
  return e2e::ReadIni(s.pkg / "probe.ini", "Run", key, "<none>");
}

TEST(LocationSource, CommandLineWinsOverTheRegistryAndSkipsBinDir) {
  Setting s;
  e2e::TempDir other("other");
  ASSERT_TRUE(s.Prepare(Script("", kProbeLines + std::string("[ReadIni]\r\nBinDir={des}Other.ini;Paths;Bin\r\n"))));
  // BinDir would lead elsewhere, and so would the association.
  ASSERT_TRUE(e2e::MakeInstallation(other.path()));
  ASSERT_TRUE(e2e::WriteFileBytes(s.inst / "Other.ini", "[Paths]\r\nBin=" + other.path() + "\r\n"));
  ASSERT_TRUE(SetAssociation(e2e::kFirstAssociation,
                             OpenCommand(other.path(), other.path() + "\\Quillon.ini")));
  Scenario sc = WithSuccess();
  sc.Answer(Confirmation(s.inst.path(), s.inst.path()), IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), LocationArgs(s.inst.path(), s.inst / "Other.ini"), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(s.inst.path() + "\\", Probe(s, "des"));
  EXPECT_EQ(s.inst.path() + "\\", Probe(s, "exe"));
  EXPECT_EQ("Other.ini", Probe(s, "inifile"));
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

TEST(LocationSource, ExeAloneIsReplacedByTheApplicationEntry) {
  Setting s;
  e2e::TempDir other("other");
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(e2e::MakeInstallation(other.path()));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc;
  sc.Answer(ConfirmationPrefix(), IDCANCEL, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "/exe \"" + other.path() + "\"", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(Confirmation(s.inst.path(), s.inst.path()), r.Boxes()[0].text);
}

TEST(LocationSource, IniSwitchWithSecondExtensionStaysWholeAsTheDirectory) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  const std::string value = s.inst / "a.ini.bak";
  Scenario sc;
  sc.Answer(ConfirmationPrefix(), IDCANCEL, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), LocationArgs(s.inst.path(), value), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(Confirmation(value, s.inst.path()), r.Boxes()[0].text);
}

TEST(LocationSource, FirstAssociationGivesQuotedDirectoriesAndIsEnteredEvenAfterNo) {
  Setting s;
  const std::string bin = s.inst / "bin";
  ASSERT_TRUE(s.Prepare(Script("", kProbeLines)));
  ASSERT_TRUE(e2e::MakeInstallation(bin));
  ASSERT_TRUE(SetAssociation(e2e::kFirstAssociation,
                             OpenCommand(bin, s.inst / "Quillon.ini") + " /x"));
  ASSERT_TRUE(SetApplicationEntry(s.pkg.path()));  // never reached
  Scenario sc = WithSuccess();
  sc.Answer(Confirmation(s.inst.path(), bin), IDNO, 1);
  sc.Then(Step::Snapshot()).Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(2u, r.stepsDone) << Describe(r);
  DialogSnapshot waiting = BeforeStep(r, 0);
  EXPECT_EQ(s.inst.path(), waiting.installDir);
  EXPECT_EQ(bin, waiting.programDir);
  EXPECT_EQ("Quillon.ini", Probe(s, "inifile"));
  EXPECT_EQ(bin + "\\", Probe(s, "exe"));
  // Reading the association entered the installation; No did not undo it.
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
  EXPECT_TRUE(MarkerUntouched(s.pkg.path()));
}

TEST(LocationSource, SecondAssociationAfterAnUnreachableFirstTakesUpperCaseIni) {
  Setting s;
  const std::string missing = s.inst / "missing";
  ASSERT_TRUE(s.Prepare(Script("", kProbeLines)));
  ASSERT_TRUE(SetAssociation(e2e::kFirstAssociation, OpenCommand(missing, missing + "\\Quillon.ini")));
  ASSERT_TRUE(SetAssociation(e2e::kSecondAssociation,
                             OpenCommand(s.inst.path(), s.inst / "QUILLON.INI")));
  Scenario sc = WithSuccess();
  sc.Answer(Confirmation(s.inst.path(), s.inst.path()), IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("QUILLON.INI", Probe(s, "inifile"));
  EXPECT_EQ(s.inst.path() + "\\", Probe(s, "des"));
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

TEST(LocationSource, AssociationIniWithSecondExtensionIsTakenAsIni) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("", kProbeLines)));
  ASSERT_TRUE(SetAssociation(e2e::kSecondAssociation,
                             OpenCommand(s.inst.path(), s.inst / "a.ini.bak")));
  Scenario sc = WithSuccess();
  sc.Answer(Confirmation(s.inst.path(), s.inst.path()), IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("a.ini", Probe(s, "inifile"));
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

TEST(LocationSource, CommandsWithoutLowerCaseSlashIFallThroughToTheApplicationEntry) {
  Setting s;
  e2e::TempDir other("other");
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(e2e::MakeInstallation(other.path()));
  ASSERT_TRUE(SetAssociation(e2e::kFirstAssociation,
                             "\"" + other.path() + "\\quillon.exe\" \"" + other.path() + "\\Quillon.ini\""));
  ASSERT_TRUE(SetAssociation(e2e::kSecondAssociation,
                             "\"" + other.path() + "\\quillon.exe\" /I \"" + other.path() + "\\Quillon.ini\""));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc;
  sc.Answer(ConfirmationPrefix(), IDCANCEL, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(Confirmation(s.inst.path(), s.inst.path()), r.Boxes()[0].text);
}

TEST(LocationSource, UnreachableAssociationLeavesItsTextsAsSuggestions) {
  Setting s;
  // Short, whatever the user's temporary directory: the command names it
  // twice and must fit in the 260 bytes that are read.
  const std::string missing = "C:\setup-e2e-missing\program";
  ASSERT_FALSE(e2e::PathIsDir("C:\setup-e2e-missing"));
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(SetAssociation(e2e::kFirstAssociation, OpenCommand(missing, missing + "\\Quillon.ini")));
  Scenario sc;
  sc.Answer(Message(7), IDYES, 1);
  sc.Then(Step::Snapshot()).Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  DialogSnapshot waiting = BeforeStep(r, 0);
  EXPECT_EQ(missing, waiting.installDir);
  // Not found, so never unquoted: the quoted program directory as parsed.
  EXPECT_EQ("\"" + missing + "\"", waiting.programDir);
}

TEST(LocationSource, EmptyApplicationEntryCountsAsNotFound) {
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(SetApplicationEntry(""));
  Scenario sc;
  sc.Answer(Message(7), IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.CountBoxes(Message(7))) << Describe(r);
}

TEST(LocationSource, ApplicationEntryOfZeroBytesAfterAnUnusableAssociationIsNotFound) {
  // The association's text reaches the value buffer first; an entry stored
  // without any byte must not leave that text standing as an installation.
  Setting s;
  ASSERT_TRUE(s.Prepare(Script("")));
  ASSERT_TRUE(SetAssociation(e2e::kFirstAssociation, s.inst.path()));  // no "/i "
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, e2e::kApplicationEntry, 0, nullptr, 0,
                                           KEY_SET_VALUE, nullptr, &key, nullptr));
  LONG written = RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0);
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, written);
  Scenario sc;
  sc.Answer(Message(7), IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.CountBoxes(Message(7))) << Describe(r);
  EXPECT_EQ(0u, r.CountBoxes(ConfirmationPrefix())) << Describe(r);
}

TEST(LocationSource, BinDirOfTheInstallationsIniNamesTheProgramDirectory) {
  Setting s;
  const std::string prog = s.inst / "prog";
  ASSERT_TRUE(s.Prepare(Script("", kProbeLines + std::string("[ReadIni]\r\nBinDir={des}Quillon.ini;Paths;Bin\r\n"))));
  ASSERT_TRUE(e2e::MakeInstallation(prog));
  ASSERT_TRUE(e2e::WriteFileBytes(s.inst / "Quillon.ini", "[Paths]\r\nBin=\"" + prog + "\\\"\r\n"));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc = WithSuccess();
  sc.Answer(Confirmation(s.inst.path(), prog), IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(prog + "\\", Probe(s, "exe"));
  EXPECT_EQ(s.inst.path() + "\\", Probe(s, "des"));
}

TEST(LocationSource, BinDirWithoutQuillonExeLeavesTheProgramDirectory) {
  Setting s;
  const std::string empty = s.inst / "empty";
  ASSERT_TRUE(s.Prepare(Script("", "[ReadIni]\r\nBinDir={des}Quillon.ini;Paths;Bin\r\n")));
  ASSERT_TRUE(e2e::MakeDirs(empty));
  ASSERT_TRUE(e2e::WriteFileBytes(s.inst / "Quillon.ini", "[Paths]\r\nBin=" + empty + "\r\n"));
  ASSERT_TRUE(SetApplicationEntry(s.inst.path()));
  Scenario sc;
  sc.Answer(ConfirmationPrefix(), IDCANCEL, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(Confirmation(s.inst.path(), s.inst.path()), r.Boxes()[0].text);
}

}  // namespace
