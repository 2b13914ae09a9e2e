// The program's one dialog, driven from outside like a user would: what it
// shows, how it ends, and how Install checks the program directory.
#include <gtest/gtest.h>

#include "e2e/e2e_cases.h"
#include "e2e/e2e_support.h"

using driver::DialogSnapshot;
using driver::RunResult;
using driver::Scenario;
using driver::Step;
using e2e::Ansi;
using e2e::BeforeStep;
using e2e::BoxIndex;
using e2e::Describe;
using e2e::Message;
using e2e::NoInstallationQuestion;
using e2e::StepIndex;
using e2e::WaitingDialog;

namespace {

const char kOptionsOnly[] = "[Options]\r\n";

void ExpectQuestionIfShown(const RunResult& r) {
  const driver::BoxRecord* q = r.FindBox(NoInstallationQuestion());
  if (!q) return;
  EXPECT_EQ(Message(8), q->caption);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), q->buttons);
}

TEST(MainDialog, ShowsCatalogueTextsAndCancelEndsWithOne) {
  e2e::TempDir pkg;
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), kOptionsOnly));
  Scenario sc = WaitingDialog();
  sc.Then(Step::Snapshot()).Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  ASSERT_EQ(2u, r.stepsDone) << Describe(r);
  ExpectQuestionIfShown(r);

  DialogSnapshot d = BeforeStep(r, 0);
  ASSERT_TRUE(d.valid);
  EXPECT_TRUE(d.visible);
  EXPECT_EQ(Message(4), d.caption);
  // Without Info the description repeats the caption.
  EXPECT_EQ(Message(4), d.info);
  EXPECT_EQ(Message(41), d.installLabel);
  EXPECT_EQ(Message(42), d.programLabel);
  EXPECT_EQ(Message(43), d.installText);
  EXPECT_EQ(Message(44), d.cancelText);
  EXPECT_EQ("", d.installDir);
  EXPECT_EQ("", d.programDir);
  EXPECT_EQ("", d.status);
  for (int i = 0; i < 11; ++i)
    EXPECT_TRUE(d.controlEnabled[i]) << "control " << driver::kSnapshotControls[i];
}

TEST(MainDialog, CloseWhileWaitingEndsWithOne) {
  e2e::TempDir pkg;
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), kOptionsOnly));
  Scenario sc = WaitingDialog();
  sc.Then(Step::Close());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.stepsDone) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
}

TEST(MainDialog, InstallWithoutQuillonExeWarnsAndKeepsWaiting) {
  e2e::TempDir pkg;
  e2e::TempDir noProgram("noprog");
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), kOptionsOnly));
  const std::string typed = "\"" + noProgram.path() + "\\\"";
  Scenario sc = WaitingDialog();
  sc.Answer(Message(40), IDOK, 2);
  sc.Then(Step::SetProgramDir(typed))
      .Then(Step::PressInstall())
      .Then(Step::Snapshot())
      .Then(Step::SetProgramDir(""))
      .Then(Step::PressInstall())
      .Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  ASSERT_EQ(6u, r.stepsDone) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  ASSERT_EQ(2u, r.CountBoxes(Message(40))) << Describe(r);
  const driver::BoxRecord* box = r.FindBox(Message(40));
  EXPECT_TRUE(box->isMessageBox);
  EXPECT_EQ(Message(40), box->text);
  EXPECT_EQ(Message(10), box->caption);
  EXPECT_EQ(std::vector<int>{IDOK}, box->buttons);

  // The warning came from the first Install, and afterwards the dialog
  // waited again with the field as typed and nothing disabled.
  EXPECT_LT(StepIndex(r, 1), BoxIndex(r, Message(40))) << Describe(r);
  EXPECT_LT(BoxIndex(r, Message(40)), StepIndex(r, 2)) << Describe(r);
  DialogSnapshot after = BeforeStep(r, 2);
  EXPECT_TRUE(after.visible);
  EXPECT_EQ(typed, after.programDir);
  EXPECT_TRUE(after.IsEnabled(driver::kInstallButton));
  EXPECT_TRUE(after.IsEnabled(driver::kProgramDirField));
  EXPECT_TRUE(after.IsEnabled(driver::kCancelButton));
}

TEST(MainDialog, InstallAcceptsQuotedProgramDirWithFinalBackslash) {
  e2e::TempDir pkg;
  e2e::TempDir installation("inst");
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), kOptionsOnly));
  ASSERT_TRUE(e2e::MakeInstallation(installation.path()));
  Scenario sc = WaitingDialog();
  sc.Answer(Message(5), IDOK, 1);
  sc.Then(Step::SetProgramDir("\"" + installation.path() + "\\\"")).Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(nullptr, r.FindBox(Message(40))) << Describe(r);
  const driver::BoxRecord* bye = r.FindBox(Message(5));
  ASSERT_NE(nullptr, bye) << Describe(r);
  EXPECT_EQ(Message(4), bye->caption);
  EXPECT_EQ(std::vector<int>{IDOK}, bye->buttons);
}

// The file picker's file-name box.
const int kPickerFileName = 0x47C;

TEST(MainDialog, IniPickerPutsTheChosenDirectoryIntoTheInstallField) {
  e2e::TempDir pkg;
  e2e::TempDir installation("inst");
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), kOptionsOnly));
  ASSERT_TRUE(e2e::MakeInstallation(installation.path(), "[Main]\r\n"));
  const std::string chosen = installation / "Quillon.ini";
  Scenario sc = WaitingDialog();
  // Any other window now is the picker: choose the INI file in it.
  sc.AnswerFilling("", IDOK, {{kPickerFileName, chosen}}, 1);
  sc.Then(Step::SetProgramDir("typed by hand"))
      .Then(Step::PressBrowseIni())
      .Then(Step::Snapshot())
      .Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  ASSERT_EQ(4u, r.stepsDone) << Describe(r);
  EXPECT_EQ(1u, r.exitCode);
  std::vector<driver::BoxRecord> boxes = r.Boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_FALSE(boxes.back().isMessageBox) << Describe(r);
  DialogSnapshot after = BeforeStep(r, 2);
  EXPECT_EQ(installation.path() + "\\", after.installDir) << Describe(r);
  // No BinDir definition: the program field keeps what was typed.
  EXPECT_EQ("typed by hand", after.programDir);
}

TEST(MainDialog, CancelledFolderPickerLeavesTheProgramField) {
  e2e::TempDir pkg;
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), kOptionsOnly));
  const std::string title = Message(39);
  Scenario sc = WaitingDialog();
  sc.Answer(title, IDCANCEL, 1);
  sc.Then(Step::SetProgramDir("C:\\before"))
      .Then(Step::PressBrowseProgram())
      .Then(Step::Snapshot())
      .Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  ASSERT_EQ(4u, r.stepsDone) << Describe(r);
  const driver::BoxRecord* picker = r.FindBox(title);
  ASSERT_NE(nullptr, picker) << Describe(r);
  EXPECT_FALSE(picker->isMessageBox);
  EXPECT_EQ("C:\\before", BeforeStep(r, 2).programDir);
  EXPECT_EQ(1u, r.exitCode);
}

TEST(MainDialog, MissingSetupDatIsReportedAndEndsWithOne) {
  e2e::TempDir pkg;  // no setup.dat
  e2e::WriteFileBytes(pkg / "readme.txt", "not a script");
  Scenario sc;
  sc.Answer("Setup.dat", IDOK, 1);

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  std::vector<driver::BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(1u, boxes.size()) << Describe(r);
  EXPECT_EQ(Ansi("Soubor Setup.dat nenalezen! Nelze pokračovat v instalaci!"), boxes[0].text);
  EXPECT_EQ(Ansi("Chyba souboru..."), boxes[0].caption);
  EXPECT_EQ(std::vector<int>{IDOK}, boxes[0].buttons);
  // The dialog ends before it is ever shown.
  for (const DialogSnapshot& d : r.Snapshots()) EXPECT_FALSE(d.visible) << Describe(r);
}

}  // namespace
