// The version gates on the version fixtures and the running-application
// guard against a real top-level window of the main application's class.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/text.h"
#include "unit/unit_support.h"

namespace {

using unit::FixturePath;

class GateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit::ResetInstaller();
    CopyText(installer.verProg, sizeof installer.verProg, FixturePath("version_3_10_0_5.exe").c_str());
  }
  void TearDown() override { unit::ResetInstaller(); }
  void Bounds(const char* minimum, const char* maximum) {
    CopyText(installer.minVer, sizeof installer.minVer, minimum);
    CopyText(installer.maxVer, sizeof installer.maxVer, maximum);
  }
};

TEST_F(GateTest, NoProgramMeansNoGate) {
  unit::ScriptedBoxes boxes(IDNO);
  installer.verProg[0] = '\0';
  Bounds("9.0:Too old", "1.0:Too new");
  EXPECT_TRUE(installer.CheckProgramVersion(16));
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(GateTest, BoundsMetPassSilently) {
  unit::ScriptedBoxes boxes(IDNO);
  Bounds("3.10.0.5:Old", "3.10.0.5:New");
  EXPECT_TRUE(installer.CheckProgramVersion(16));
  Bounds("3.10:Old", "");  // only the first part is set: 3 against 3
  EXPECT_TRUE(installer.CheckProgramVersion(16));
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(GateTest, FailedBoundWithMessageAsksWithNoAsDefault) {
  unit::ScriptedBoxes boxes;
  boxes.Answer(IDNO);
  boxes.Answer(IDYES);
  Bounds("", "3.9.0.0:New");
  EXPECT_FALSE(installer.CheckProgramVersion(16));
  EXPECT_TRUE(installer.CheckProgramVersion(45));
  ASSERT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(boxes.boxes()[0].text, "New" + unit::Message(1016));
  EXPECT_EQ(boxes.boxes()[1].text, "New" + unit::Message(1045));
  EXPECT_EQ(boxes.boxes()[0].caption, unit::Message(1017));
  EXPECT_EQ(boxes.boxes()[0].style, UINT(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
}

TEST_F(GateTest, FailedBoundWithoutMessageRefusesSilently) {
  unit::ScriptedBoxes boxes(IDYES);
  Bounds("4.0.0.0:", "");
  EXPECT_FALSE(installer.CheckProgramVersion(16));
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(GateTest, MalformedBoundNamesTheVersionText) {
  unit::ScriptedBoxes boxes;
  boxes.Answer(IDYES);
  boxes.Answer(IDNO);
  Bounds("3.1x:Old", "");
  EXPECT_TRUE(installer.CheckProgramVersion(16));
  Bounds("3.10.0.0", "");
  EXPECT_FALSE(installer.CheckProgramVersion(16));
  ASSERT_EQ(boxes.boxes().size(), 2u);
  std::string expected = unit::Message(1014);
  expected.replace(expected.find("%s"), 2, "3.1x");
  EXPECT_EQ(boxes.boxes()[0].text, expected);
  EXPECT_EQ(boxes.boxes()[0].caption, unit::Message(1015));
  EXPECT_EQ(boxes.boxes()[0].style, UINT(MB_YESNO | MB_ICONERROR));
  EXPECT_NE(boxes.boxes()[1].text.find("'3.10.0.0'"), std::string::npos);
}

TEST_F(GateTest, UnreadableVersionAsksOnceAndIgnoresTheBounds) {
  unit::ScriptedBoxes boxes(IDYES);
  CopyText(installer.verProg, sizeof installer.verProg, FixturePath("noversion.exe").c_str());
  Bounds("9.0.0.0:", "");  // would refuse silently if it were looked at
  EXPECT_TRUE(installer.CheckProgramVersion(16));
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_NE(boxes.boxes()[0].text.find(FixturePath("noversion.exe")), std::string::npos);
  EXPECT_EQ(boxes.boxes()[0].caption, unit::Message(1019));
}

TEST_F(GateTest, BoundsAreExpandedBeforeUse) {
  unit::ScriptedBoxes boxes(IDNO);
  CopyText(installer.programDir, sizeof installer.programDir, "D:\\P\\");
  Bounds("{fver=" SETUP_FIXTURE_DIR "\\version_3_10_0_5.exe}:Old", "");
  EXPECT_TRUE(installer.CheckProgramVersion(16));
  EXPECT_TRUE(boxes.boxes().empty());
}

// --- running-application guard

LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcA(window, message, w, l);
}

HWND OpenAppWindow(const char* className) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = AppWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  return CreateWindowA(className, "Another title", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                       GetModuleHandleA(nullptr), nullptr);
}

HWND appWindow = nullptr;
int closeAfterBox = -1;

void CloseAppAfter(int index) {
  if (index == closeAfterBox && appWindow) {
    DestroyWindow(appWindow);
    appWindow = nullptr;
  }
}

class GuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit::ResetInstaller();
    installer.killApp = true;
  }
  void TearDown() override {
    if (appWindow) DestroyWindow(appWindow);
    appWindow = nullptr;
    unit::ResetInstaller();
  }
};

TEST_F(GuardTest, WithoutTheFlagNothingIsSought) {
  unit::ScriptedBoxes boxes(IDCANCEL);
  appWindow = OpenAppWindow("TQuillonMainWindowFrm");
  installer.killApp = false;
  EXPECT_TRUE(installer.WaitForAppClosed());
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(installer.runningAppWindow, nullptr);
}

TEST_F(GuardTest, NoWindowNoBox) {
  unit::ScriptedBoxes boxes(IDCANCEL);
  EXPECT_TRUE(installer.WaitForAppClosed());
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(GuardTest, ClosedBeforeOkStartsWithoutTheSecondMessage) {
  unit::ScriptedBoxes boxes(IDOK);
  appWindow = OpenAppWindow("TQuillonMainWindowFrm");
  closeAfterBox = 0;
  boxes.OnBox(CloseAppAfter);
  EXPECT_TRUE(installer.WaitForAppClosed());
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, unit::Message(1001));
  EXPECT_EQ(boxes.boxes()[0].caption, unit::Message(1002));
  EXPECT_EQ(boxes.boxes()[0].style, UINT(MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND));
}

TEST_F(GuardTest, StillRunningRepeatsUntilGone) {
  unit::ScriptedBoxes boxes(IDOK);
  appWindow = OpenAppWindow("TMainWindowFrm");  // another program's window counts too
  closeAfterBox = 3;
  boxes.OnBox(CloseAppAfter);
  EXPECT_TRUE(installer.WaitForAppClosed());
  ASSERT_EQ(boxes.boxes().size(), 4u);
  EXPECT_EQ(boxes.boxes()[0].text, unit::Message(1001));
  for (int i = 1; i < 4; ++i) EXPECT_EQ(boxes.boxes()[i].text, unit::Message(1003));
}

TEST_F(GuardTest, CancelInEitherBoxRefuses) {
  appWindow = OpenAppWindow("TQuillonMainWindowFrm");
  {
    unit::ScriptedBoxes boxes(IDCANCEL);
    EXPECT_FALSE(installer.WaitForAppClosed());
    EXPECT_EQ(boxes.boxes().size(), 1u);
  }
  {
    unit::ScriptedBoxes boxes;
    boxes.Answer(IDOK);
    boxes.Answer(IDOK);
    boxes.Answer(IDCANCEL);
    EXPECT_FALSE(installer.WaitForAppClosed());
    EXPECT_EQ(boxes.boxes().size(), 3u);
  }
}

}  // namespace
