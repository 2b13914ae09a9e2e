// The catalogue, the status line, the message-box rules and the text helpers
// of the installer context, against the program's real resources.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/text.h"
#include "unit/unit_support.h"

namespace {

class ContextTest : public ::testing::Test {
 protected:
  void SetUp() override { unit::ResetInstaller(); }
  void TearDown() override {
    if (dialog_) DestroyWindow(dialog_);
    unit::ResetInstaller();
  }

  // Dialog 101 from the resources, as the status line's home.
  HWND OpenDialog() {
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                 [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; }, 0);
    installer.ownerWindow = dialog_;
    return dialog_;
  }

  std::string StatusText() {
    char text[2048];
    GetDlgItemTextA(dialog_, IDC_STATUS, text, sizeof text);
    return text;
  }

  HWND dialog_ = nullptr;
};

TEST_F(ContextTest, StartsWithTheDocumentedDefaults) {
  EXPECT_EQ(installer.languageId, 1);
  EXPECT_EQ(installer.scriptFile, nullptr);
  EXPECT_FALSE(installer.packageDate.valid);
  for (int i = 0; i < kDefinitionSlots; ++i) EXPECT_EQ(installer.iniDefinitions[i], nullptr);
  EXPECT_EQ(installer.msgTitle[0], '\0');
}

TEST_F(ContextTest, CatalogueFallsBackToCzechThenToEmpty) {
  installer.languageId = 2;
  EXPECT_EQ(installer.LoadMessage(4), unit::Message(2004));
  EXPECT_NE(unit::Message(2004), unit::Message(1004));
  installer.languageId = 3;
  EXPECT_EQ(installer.LoadMessage(4), unit::Message(1004));
  installer.languageId = 0;
  EXPECT_EQ(installer.LoadMessage(4), unit::Message(1004));
  installer.languageId = 70000;  // its ids would leave the table's range
  EXPECT_EQ(installer.LoadMessage(4), unit::Message(1004));
  installer.languageId = -5;
  EXPECT_EQ(installer.LoadMessage(4), unit::Message(1004));
  installer.languageId = 1;
  EXPECT_STREQ(installer.LoadMessage(38), "");  // no such text in any language
  EXPECT_STREQ(installer.LoadMessage(99), "");
}

TEST_F(ContextTest, CatalogueRotatesThroughThreeBuffers) {
  const char* first = installer.LoadMessage(2);
  EXPECT_EQ(first, installer.messageBuffers[1]);  // the first lookup uses buffer 1
  const char* second = installer.LoadMessage(3);
  const char* third = installer.LoadMessage(4);
  EXPECT_NE(first, second);
  EXPECT_NE(second, third);
  EXPECT_EQ(std::string(first), unit::Message(1002));  // still valid after two more
  const char* fourth = installer.LoadMessage(5);
  EXPECT_EQ(first, fourth);
  EXPECT_EQ(std::string(fourth), unit::Message(1005));
}

TEST_F(ContextTest, StatusLineShowsEachActionsTitle) {
  OpenDialog();
  const std::string m = "";
  installer.ShowStatus(1, nullptr);
  EXPECT_EQ(StatusText(), unit::Message(1020) + unit::Message(1021));
  installer.ShowStatus(1, "a.dll");
  EXPECT_EQ(StatusText(), unit::Message(1020) + ": a.dll");
  installer.ShowStatus(2, nullptr);
  EXPECT_EQ(StatusText(), unit::Message(1022) + "...");
  installer.ShowStatus(2, "x.exe 'p'");
  EXPECT_EQ(StatusText(), unit::Message(1022) + ": x.exe 'p'");
  installer.ShowStatus(3, nullptr);
  EXPECT_EQ(StatusText(), unit::Message(1023) + "...");
  for (int action = 4; action <= 9; ++action) {
    installer.ShowStatus(action, nullptr);
    EXPECT_EQ(StatusText(), unit::Message(1020 + action)) << action;
    installer.ShowStatus(action, "d");
    EXPECT_EQ(StatusText(), unit::Message(1020 + action) + ": d") << action;
  }
  installer.ShowStatus(10, "detail");
  EXPECT_EQ(StatusText(), "detail");
  installer.ShowStatus(0, installer.LoadMessage(30));
  EXPECT_EQ(StatusText(), unit::Message(1030));
  installer.ShowStatus(0, nullptr);
  EXPECT_EQ(StatusText(), "");
}

TEST_F(ContextTest, StatusLineInSlovakAndCutToItsBuffer) {
  OpenDialog();
  installer.languageId = 2;
  installer.ShowStatus(1, nullptr);
  EXPECT_EQ(StatusText(), unit::Message(2020) + unit::Message(2021));
  std::string longDetail(1400, 'x');
  installer.ShowStatus(1, longDetail.c_str());
  EXPECT_EQ(StatusText().size(), 1300u);
}

TEST_F(ContextTest, StatusLineWithoutOwnerTouchesNoWindow) {
  // A dialog that is shown and active, as a careless fallback would find it.
  HWND dialog = OpenDialog();
  ShowWindow(dialog, SW_SHOW);
  SetActiveWindow(dialog);
  SetDlgItemTextA(dialog, IDC_STATUS, "before");
  installer.ownerWindow = nullptr;
  installer.ShowStatus(1, "file");
  installer.ShowStatus(10, "detail");
  EXPECT_EQ(StatusText(), "before");
}

TEST_F(ContextTest, BoxesCarryOwnerCaptionAndStyle) {
  unit::ScriptedBoxes boxes(IDNO);
  CopyText(installer.msgTitle, sizeof installer.msgTitle, "Title");
  EXPECT_EQ(installer.ShowBox(kBoxConfirm, "question", nullptr), IDNO);
  EXPECT_EQ(installer.ShowBox(kBoxMissingProgram, "missing", "Caption"), IDNO);
  ASSERT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(boxes.boxes()[0].caption, "Title");
  EXPECT_EQ(boxes.boxes()[0].style, UINT(MB_YESNOCANCEL | MB_ICONQUESTION | MB_SETFOREGROUND));
  EXPECT_EQ(boxes.boxes()[1].caption, "Caption");
  EXPECT_EQ(boxes.boxes()[1].style, UINT(MB_OK | MB_ICONWARNING));
  // Only the missing-program warnings and the version questions skip the
  // foreground request; the version question defaults to No.
  EXPECT_EQ(BoxStyle(kBoxVersionQuestion), UINT(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
  EXPECT_EQ(BoxStyle(kBoxMalformedBound) & MB_SETFOREGROUND, 0u);
  EXPECT_EQ(BoxStyle(kBoxMalformedBound) & MB_ICONMASK, UINT(MB_ICONERROR));
  EXPECT_EQ(BoxStyle(kBoxActionFailed), UINT(MB_ABORTRETRYIGNORE | MB_ICONERROR | MB_SETFOREGROUND));
  EXPECT_EQ(BoxStyle(kBoxAppRunning), UINT(MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND));
}

TEST_F(ContextTest, CloseScriptClosesAndClearsInstalling) {
  unit::TempDir dir;
  dir.Write("s.dat", "x");
  installer.scriptFile = std::fopen(dir.File("s.dat").c_str(), "rb");
  installer.installing = true;
  installer.CloseScript();
  EXPECT_EQ(installer.scriptFile, nullptr);
  EXPECT_FALSE(installer.installing);
  installer.CloseScript();  // nothing open: only clears the flag
  EXPECT_EQ(installer.scriptFile, nullptr);
}

TEST(TextHelpers, TrimLeadingQuotes) {
  char a[261] = "\"D:\\Program Files\\Q\"";
  TrimChar(a, 260, '"', true);
  EXPECT_STREQ(a, "D:\\Program Files\\Q");
  char b[261] = "\"\"\"";
  TrimChar(b, 260, '"', true);
  EXPECT_STREQ(b, "");
  char c[261] = "D:\\plain";
  TrimChar(c, 260, '"', true);
  EXPECT_STREQ(c, "D:\\plain");
  char d[261] = "D:\\a\"b";
  TrimChar(d, 260, '"', true);
  EXPECT_STREQ(d, "D:\\a");
  char e[261] = "\"D:\\x\" /i more";
  TrimChar(e, 260, '"', true);
  EXPECT_STREQ(e, "D:\\x");
}

TEST(TextHelpers, TrimLeadingCutsAtTheLimit) {
  char text[400];
  text[0] = '"';
  std::memset(text + 1, 'a', 300);
  text[301] = '\0';
  TrimChar(text, 260, '"', true);
  EXPECT_EQ(std::strlen(text), 259u);
}

TEST(TextHelpers, TrimTrailingBackslashes) {
  char a[261] = "D:\\App\\\\";
  TrimChar(a, 260, '\\', false);
  EXPECT_STREQ(a, "D:\\App");
  char b[261] = "\\";
  TrimChar(b, 260, '\\', false);
  EXPECT_STREQ(b, "");
  char c[300];
  std::memset(c, 'a', 259);
  c[259] = '\\';
  c[260] = '\0';  // 260 characters: at the limit, stays unchanged
  TrimChar(c, 260, '\\', false);
  EXPECT_EQ(std::strlen(c), 260u);
  c[258] = '\\';
  c[259] = '\0';  // 259 characters: below the limit, trimmed
  TrimChar(c, 260, '\\', false);
  EXPECT_EQ(std::strlen(c), 258u);
}

TEST(TextHelpers, FileExistsOnlyForReadableFiles) {
  unit::TempDir dir;
  dir.Write("f.txt", "x");
  EXPECT_TRUE(FileExists(dir.File("f.txt").c_str()));
  EXPECT_FALSE(FileExists(dir.File("missing.txt").c_str()));
  EXPECT_FALSE(FileExists(dir.path().c_str()));
  EXPECT_FALSE(FileExists(nullptr));
}

TEST(TextHelpers, BoundedCopiesNeverOverrun) {
  char guard[16];
  std::memset(guard, 'G', sizeof guard);
  EXPECT_FALSE(CopyText(guard, 8, "0123456789"));
  EXPECT_STREQ(guard, "0123456");
  EXPECT_EQ(guard[8], 'G');
  EXPECT_FALSE(AppendText(guard, 8, "x"));
  EXPECT_TRUE(FormatText(guard, 8, "%d", 1234567 / 10));
  EXPECT_FALSE(FormatText(guard, 8, "%s", "12345678"));
  EXPECT_STREQ(guard, "1234567");
}

}  // namespace
