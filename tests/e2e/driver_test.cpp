// The harness itself: a run that the scenario does not cover must fail and
// stop the program instead of hanging or passing, and the callbacks must
// run between the answers where a test needs them.
#include <gtest/gtest.h>

#include "e2e/e2e_cases.h"
#include "e2e/e2e_support.h"

using driver::RunResult;
using driver::Scenario;
using driver::Step;
using e2e::Describe;
using e2e::Message;

namespace {

const DWORD kKilledCode = 0xDEAD;

TEST(Driver, UnansweredBoxFailsTheRunAndEndsTheProgram) {
  e2e::TempDir pkg;  // no setup.dat: the program reports it and waits for OK
  Scenario sc;
  sc.timeoutMs = 20000;

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  EXPECT_TRUE(r.started);
  EXPECT_FALSE(r.Clean());
  EXPECT_TRUE(r.unansweredBox) << Describe(r);
  EXPECT_TRUE(r.killed);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(kKilledCode, r.exitCode);
  ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(0, r.Boxes()[0].pressed);
  EXPECT_NE(std::string::npos, r.Boxes()[0].text.find("Setup.dat"));
}

TEST(Driver, AnswerWithAButtonTheBoxLacksFailsTheRun) {
  e2e::TempDir pkg;
  Scenario sc;
  sc.Answer("Setup.dat", IDYES);  // the box has only OK

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  EXPECT_TRUE(r.unansweredBox) << Describe(r);
  EXPECT_TRUE(r.killed);
  EXPECT_NE(std::string::npos, r.error.find("YES")) << r.error;
}

TEST(Driver, RuleIsUsedOnlyAsOftenAsAllowed) {
  e2e::TempDir pkg;
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), "[Options]\r\n"));
  Scenario sc = e2e::WaitingDialog();
  sc.Answer(Message(40), IDOK, 1);
  sc.Then(Step::PressInstall()).Then(Step::PressInstall()).Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  // The second warning finds no rule left.
  EXPECT_TRUE(r.unansweredBox) << Describe(r);
  EXPECT_EQ(2u, r.CountBoxes(Message(40))) << Describe(r);
  EXPECT_EQ(2u, r.stepsDone) << Describe(r);
}

TEST(Driver, TimeBoundEndsAProgramThatWaits) {
  e2e::TempDir pkg;
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), "[Options]\r\n"));
  Scenario sc = e2e::WaitingDialog();
  sc.timeoutMs = 2000;

  DWORD start = GetTickCount();
  RunResult r = e2e::RunSetup(pkg.path(), "", sc);
  DWORD took = GetTickCount() - start;

  EXPECT_TRUE(r.timedOut) << Describe(r);
  EXPECT_TRUE(r.killed);
  EXPECT_EQ(kKilledCode, r.exitCode);
  EXPECT_GE(took, 2000u);
  // The waiting dialog was seen before the bound passed.
  ASSERT_FALSE(r.Snapshots().empty()) << Describe(r);
  EXPECT_TRUE(r.Snapshots()[0].visible);
}

TEST(Driver, FailingActionStepEndsTheRun) {
  e2e::TempDir pkg;
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), "[Options]\r\n"));
  Scenario sc = e2e::WaitingDialog();
  bool sawDialog = false;
  sc.Then(Step::Action([&](driver::Session& s) {
      sawDialog = s.MainDialog() != nullptr;
      return false;
    }))
      .Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  EXPECT_TRUE(sawDialog);
  EXPECT_TRUE(r.actionFailed) << Describe(r);
  EXPECT_TRUE(r.killed);
  EXPECT_EQ(1u, r.stepsDone);
}

// The stand-in application is started from an action step while the dialog
// waits, and closed from the answer to the guard's first question.
TEST(Driver, CallbacksRunBetweenStepsAndAnswers) {
  e2e::AppWindowLock lock;
  e2e::TempDir pkg;
  e2e::TempDir installation("inst");
  ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), "[Options]\r\nKillQuillon=1\r\n"));
  ASSERT_TRUE(e2e::MakeInstallation(installation.path()));
  e2e::AppWindow app;
  bool closedBeforeOk = false;

  Scenario sc = e2e::WaitingDialog();
  sc.AnswerThen(Message(1), IDOK,
                [&](driver::Session&, const driver::BoxRecord&) { closedBeforeOk = app.Close(); },
                1);
  sc.Answer(Message(5), IDOK, 1);
  sc.Then(Step::Action([&](driver::Session&) { return app.Start("TQuillonMainWindowFrm"); }))
      .Then(Step::SetProgramDir(installation.path()))
      .Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(pkg.path(), "", sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_TRUE(closedBeforeOk);
  EXPECT_FALSE(app.Running());
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  const driver::BoxRecord* guard = r.FindBox(Message(1));
  ASSERT_NE(nullptr, guard) << Describe(r);
  EXPECT_EQ(Message(2), guard->caption);
  EXPECT_EQ((std::vector<int>{IDOK, IDCANCEL}), guard->buttons);
  // Closed before OK: the guard does not ask again.
  EXPECT_EQ(nullptr, r.FindBox(Message(3))) << Describe(r);
}

}  // namespace

namespace {

// The stand-in window goes away by itself once its stop file appears.
TEST(AppWindowFixture, ClosesWhenTheStopFileAppears) {
  e2e::TempDir dir;
  const std::string stop = dir / "stop";
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start("SetupE2eProbeWindow", stop));
  ASSERT_NE(nullptr, app.Window());
  Sleep(200);
  EXPECT_TRUE(app.Running());
  ASSERT_TRUE(e2e::WriteFileBytes(stop, ""));
  for (int i = 0; i < 200 && app.Running(); ++i) Sleep(50);
  EXPECT_FALSE(app.Running());
}

}  // namespace
