// The wait for the running application: which windows hold the run back,
// the two questions, and what OK and Cancel lead to.
#include <gtest/gtest.h>

#include "e2e/e2e_cases.h"
#include "e2e/e2e_support.h"

using driver::BoxRecord;
using driver::DialogSnapshot;
using driver::RunResult;
using driver::Scenario;
using driver::Session;
using driver::Step;
using e2e::BeforeStep;
using e2e::Describe;
using e2e::MarkerMoved;
using e2e::MarkerUntouched;
using e2e::Message;

namespace {

const char kMainClass[] = "TQuillonMainWindowFrm";
const char kOtherClass[] = "TMainWindowFrm";

// An installation given on the command line with "/silent": the run starts
// by itself and shows no box of its own besides the guard's.
struct Setting : e2e::CaseDirs {
  e2e::AppWindowLock lock;

  bool Prepare(bool killFlag) {
    std::string script = "[Options]\r\n";
    if (killFlag) script += "KillQuillon=1\r\n";
    script += e2e::kMarkerMove;
    return lock.held() && Make(script) && e2e::PlaceMarker(inst.path());
  }
  std::string Arguments() const { return LocationArgs() + " /silent"; }
};

void ExpectGuardBox(const BoxRecord& box, int message) {
  EXPECT_EQ(Message(message), box.text);
  EXPECT_EQ(Message(2), box.caption);
  EXPECT_EQ((std::vector<int>{IDOK, IDCANCEL}), box.buttons);
}

TEST(AppGuard, WithoutTheFlagARunningApplicationIsNotLookedFor) {
  Setting s;
  ASSERT_TRUE(s.Prepare(false));
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start(kMainClass));

  RunResult r = e2e::RunSetup(s.pkg.path(), s.Arguments(), Scenario());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
  EXPECT_TRUE(app.Running());
}

TEST(AppGuard, WithTheFlagAndNoWindowTheRunStartsWithoutABox) {
  Setting s;
  ASSERT_TRUE(s.Prepare(true));

  RunResult r = e2e::RunSetup(s.pkg.path(), s.Arguments(), Scenario());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

TEST(AppGuard, ApplicationClosedBeforeOkLetsTheRunStartWithoutAskingAgain) {
  Setting s;
  ASSERT_TRUE(s.Prepare(true));
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start(kMainClass));
  bool heldBack = false;
  Scenario sc;
  sc.AnswerThen(Message(1), IDOK, [&](Session&, const BoxRecord&) {
    heldBack = MarkerUntouched(s.inst.path());
    app.Close();
  }, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.Arguments(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(1u, boxes.size()) << Describe(r);
  ExpectGuardBox(boxes[0], 1);
  EXPECT_TRUE(heldBack);
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

TEST(AppGuard, StillRunningRepeatsTheSecondQuestionUntilTheWindowIsGone) {
  Setting s;
  ASSERT_TRUE(s.Prepare(true));
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start(kMainClass));
  int stillRunning = 0;
  Scenario sc;
  sc.Answer(Message(1), IDOK, 1);
  sc.AnswerThen(Message(3), IDOK, [&](Session&, const BoxRecord&) {
    if (++stillRunning == 3) app.Close();
  });

  RunResult r = e2e::RunSetup(s.pkg.path(), s.Arguments(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(4u, boxes.size()) << Describe(r);
  ExpectGuardBox(boxes[0], 1);
  for (size_t i = 1; i < boxes.size(); ++i) ExpectGuardBox(boxes[i], 3);
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

TEST(AppGuard, CancelWaitsForInstallWhichRunsTheWholeGuardAgain) {
  Setting s;
  ASSERT_TRUE(s.Prepare(true));
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start(kMainClass));
  Scenario sc;
  sc.Answer(Message(1), IDCANCEL, 1);
  sc.AnswerThen(Message(1), IDOK, [&](Session&, const BoxRecord&) { app.Close(); }, 1);
  bool waitedUntouched = false;
  sc.Then(Step::Snapshot())
      .Then(Step::Action([&](Session&) {
        waitedUntouched = MarkerUntouched(s.inst.path());
        return true;
      }))
      .Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(), s.Arguments(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(2u, r.CountBoxes(Message(1))) << Describe(r);
  EXPECT_EQ(0u, r.CountBoxes(Message(3))) << Describe(r);
  EXPECT_TRUE(waitedUntouched);
  DialogSnapshot waiting = BeforeStep(r, 0);
  EXPECT_TRUE(waiting.visible);
  for (int i = 0; i < 11; ++i)
    EXPECT_TRUE(waiting.controlEnabled[i]) << "control " << driver::kSnapshotControls[i];
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

TEST(AppGuard, CancelInTheSecondQuestionAlsoWaitsForInstall) {
  Setting s;
  ASSERT_TRUE(s.Prepare(true));
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start(kMainClass));
  Scenario sc;
  sc.Answer(Message(1), IDOK, 1);
  sc.Answer(Message(3), IDCANCEL, 1);
  sc.Then(Step::Snapshot())
      .Then(Step::Action([&](Session&) { return app.Close(); }))
      .Then(Step::PressInstall());

  RunResult r = e2e::RunSetup(s.pkg.path(), s.Arguments(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(3u, r.stepsDone) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  // The second start found no window: no further question.
  EXPECT_EQ(1u, r.CountBoxes(Message(1))) << Describe(r);
  EXPECT_EQ(1u, r.CountBoxes(Message(3))) << Describe(r);
  EXPECT_TRUE(BeforeStep(r, 0).IsEnabled(driver::kInstallButton));
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

TEST(AppGuard, CancelWithTheApplicationStillRunningEndsWithOne) {
  Setting s;
  ASSERT_TRUE(s.Prepare(true));
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start(kMainClass));
  Scenario sc;
  sc.Answer(Message(1), IDCANCEL, 1);
  sc.Then(Step::PressCancel());

  RunResult r = e2e::RunSetup(s.pkg.path(), s.Arguments(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  EXPECT_TRUE(MarkerUntouched(s.inst.path()));
  EXPECT_TRUE(app.Running());
}

TEST(AppGuard, AWindowOfTheOtherClassHoldsTheRunBackToo) {
  Setting s;
  ASSERT_TRUE(s.Prepare(true));
  e2e::AppWindow app;
  ASSERT_TRUE(app.Start(kOtherClass));
  bool heldBack = false;
  Scenario sc;
  sc.AnswerThen(Message(1), IDOK, [&](Session&, const BoxRecord&) {
    heldBack = MarkerUntouched(s.inst.path());
  }, 1);
  sc.AnswerThen(Message(3), IDOK, [&](Session&, const BoxRecord&) { app.Close(); }, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.Arguments(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.CountBoxes(Message(1))) << Describe(r);
  EXPECT_EQ(1u, r.CountBoxes(Message(3))) << Describe(r);
  EXPECT_TRUE(heldBack);
  EXPECT_TRUE(MarkerMoved(s.inst.path()));
}

}  // namespace
