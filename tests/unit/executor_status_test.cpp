// The executor in-process, with the status line's every text recorded: what
// a user sees while a script runs, and what the run leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/text.h"
#include "unit/unit_support.h"

namespace {

std::vector<std::string> statusLog;
WNDPROC originalStatusProc = nullptr;
DWORD statusDelay = 0;  // milliseconds each status text keeps the run waiting

LRESULT CALLBACK RecordingStatusProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_SETTEXT) {
    statusLog.push_back(reinterpret_cast<const char*>(l));
    if (statusDelay) Sleep(statusDelay);
  }
  return CallWindowProcA(originalStatusProc, window, message, w, l);
}

class ExecutorStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit::ResetInstaller();
    char current[MAX_PATH + 1];
    GetCurrentDirectoryA(sizeof current, current);
    savedDirectory_ = current;
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                 [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; }, 0);
    HWND status = GetDlgItem(dialog_, IDC_STATUS);
    originalStatusProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(status, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingStatusProc)));
    statusLog.clear();
    installer.ownerWindow = dialog_;
  }
  void TearDown() override {
    DestroyWindow(dialog_);
    SetCurrentDirectoryA(savedDirectory_.c_str());
    unit::ResetInstaller();
  }

  // Opens the script as the start-up configuration would, with the package
  // and installation directories of this test.
  void Prepare(const std::string& script) {
    package_.Write("setup.dat", script);
    CopyText(installer.packageDir, sizeof installer.packageDir, (package_.path() + "\\").c_str());
    CopyText(installer.installDir, sizeof installer.installDir, install_.path().c_str());
    CopyText(installer.programDir, sizeof installer.programDir, install_.path().c_str());
    CopyText(installer.iniFileName, sizeof installer.iniFileName, "Quillon.ini");
    installer.scriptFile = std::fopen(package_.File("setup.dat").c_str(), "rb");
    ASSERT_NE(installer.scriptFile, nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(install_.path().c_str()));
  }

  bool Logged(const std::string& text) const {
    for (const std::string& entry : statusLog)
      if (entry == text) return true;
    return false;
  }

  HWND dialog_ = nullptr;
  std::string savedDirectory_;
  unit::TempDir package_;
  unit::TempDir install_;
};

TEST_F(ExecutorStatusTest, StatusLineFollowsTheRun) {
  package_.Write("a.txt", "a");
  package_.Write("b.txt", "b");
  Prepare("[Copy]\r\n*.txt\r\n[WriteIni]\r\n" + install_.File("q.ini") + "=S;k;v\r\n[Move]\r\n");
  unit::ScriptedBoxes boxes(IDOK);
  installer.RunScript();

  // The first file of a line is always named; a file that follows within a
  // moment may go unnamed, so the second name is not required.
  std::vector<std::string> shown;
  for (const std::string& entry : statusLog)
    if (entry != unit::Message(1020) + ": b.txt") shown.push_back(entry);
  std::vector<std::string> expected = {
      unit::Message(1030), unit::Message(1031),
      unit::Message(1057),  // the package's seal is looked for; there is none
      unit::Message(1020) + unit::Message(1021),
      unit::Message(1020) + ": a.txt",
      unit::Message(1024), "", ""};
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(unit::ReadFileBytes(install_.File("b.txt")), "b");
  ASSERT_EQ(boxes.boxes().size(), 1u);  // the success message, after the line was cleared
  EXPECT_EQ(boxes.boxes()[0].style, UINT(MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND));
  EXPECT_FALSE(installer.installing);
  EXPECT_EQ(installer.scriptFile, nullptr);
  EXPECT_EQ(installer.RunExitCode(), kExitInstalled);
}

TEST_F(ExecutorStatusTest, FilesOfALineAreNamedAtLeastEveryFewHundredths) {
  // Under a slow copy every file is named: the name stays no longer than it
  // takes to see it.
  for (char c = 'a'; c <= 'c'; ++c) package_.Write(std::string(1, c) + ".dat", std::string(1, c));
  Prepare("[Copy]\r\n*.dat\r\n");
  unit::ScriptedBoxes boxes(IDOK);
  statusDelay = 60;
  installer.RunScript();
  statusDelay = 0;
  for (char c = 'a'; c <= 'c'; ++c)
    EXPECT_TRUE(Logged(unit::Message(1020) + ": " + c + ".dat")) << c;
}

TEST_F(ExecutorStatusTest, RefusedVersionCopyShowsTheSkipAndCopiesNothingOfIt) {
  package_.Write("first.txt", "1");
  package_.Write("later.txt", "2");
  std::string fixture = std::string(SETUP_FIXTURE_DIR) + "\\version_3_10_0_5.exe";
  Prepare("[VersionCopy]\r\nVerProg=" + fixture + "\r\nMinVer=4.0.0.0:\r\nfirst.txt\r\nlater.txt\r\n"
          "MinVer=1.0:\r\n[Copy]\r\nlater.txt\r\n");
  unit::ScriptedBoxes boxes(IDOK);
  installer.RunScript();

  EXPECT_TRUE(Logged(unit::Message(1029)));
  EXPECT_TRUE(Logged(unit::Message(1036)));
  EXPECT_FALSE(unit::ReadFileBytes(install_.File("first.txt")) == "1");
  EXPECT_EQ(unit::ReadFileBytes(install_.File("later.txt")), "2");  // from the [Copy] section
  EXPECT_FALSE(installer.errorsOccurred);
  EXPECT_FALSE(installer.stopRequested);
}

TEST_F(ExecutorStatusTest, PackageWideRefusalRunsNothingAndSaysNothing) {
  package_.Write("a.txt", "a");
  std::string fixture = std::string(SETUP_FIXTURE_DIR) + "\\version_3_10_0_5.exe";
  Prepare("[Copy]\r\na.txt\r\n");
  CopyText(installer.verProg, sizeof installer.verProg, fixture.c_str());
  CopyText(installer.minVer, sizeof installer.minVer, "9.0.0.0:");
  installer.iniDefinitions[0] = DuplicateText("X=1");  // must be released at the end
  unit::ScriptedBoxes boxes(IDOK);
  installer.RunScript();

  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(unit::ReadFileBytes(install_.File("a.txt")), "<missing>");
  EXPECT_EQ(installer.RunExitCode(), kExitVersionRefused);
  EXPECT_EQ(installer.scriptFile, nullptr);
  EXPECT_EQ(installer.iniDefinitions[0], nullptr);
}

TEST_F(ExecutorStatusTest, LinesOutsideActionsAreNeverRefused) {
  package_.Write("a.txt", "a");
  std::string tooLong(1400, 'x');
  std::string growing;  // far over a line once expanded
  for (int i = 0; i < 60; ++i) growing += "{des}";
  Prepare(tooLong + "\r\n[Options]\r\nInfo=" + tooLong + "\r\n[Unknown]\r\n" + growing +
          "\r\n[Copy]\r\na.txt\r\n");
  unit::ScriptedBoxes boxes(IDOK);
  installer.RunScript();
  EXPECT_FALSE(installer.errorsOccurred);
  EXPECT_EQ(installer.RunExitCode(), kExitInstalled);
  EXPECT_EQ(unit::ReadFileBytes(install_.File("a.txt")), "a");
}

TEST_F(ExecutorStatusTest, OverlongLineIsRefusedAndReported) {
  package_.Write("a.txt", "a");
  std::string tooLong(1400, 'x');
  Prepare("[Copy]\r\n" + tooLong + "\r\na.txt\r\n");
  unit::ScriptedBoxes boxes(IDOK);
  installer.RunScript();

  EXPECT_EQ(unit::ReadFileBytes(install_.File("a.txt")), "a");  // the next line still runs
  ASSERT_EQ(boxes.boxes().size(), 1u);
  std::string refused = unit::Message(1046);
  refused = refused.substr(0, refused.find("%s"));
  EXPECT_NE(boxes.boxes()[0].text.find(refused), std::string::npos);
  EXPECT_EQ(boxes.boxes()[0].style, UINT(MB_OK | MB_ICONWARNING | MB_SETFOREGROUND));
  EXPECT_EQ(installer.RunExitCode(), kExitFailed);
}

}  // namespace
