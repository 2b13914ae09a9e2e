// The file actions against Wine's real file system: [Copy] with its filters,
// targets and busy program files, [Run] and its wait, [Delete], [Move] and
// [ChangeDir], with the user's answers scripted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "actions/file_actions.h"
#include "app/text.h"
#include "unit/unit_support.h"

namespace {

using unit::ReadFileBytes;
using unit::ScriptedBoxes;
using unit::TempDir;

const char kTitle[] = "Aktualizace";
const UINT kActionFailedStyle = MB_ABORTRETRYIGNORE | MB_ICONERROR | MB_SETFOREGROUND;
const UINT kMissingSourceStyle = MB_YESNO | MB_ICONERROR | MB_SETFOREGROUND;

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnly(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

void SetReadOnly(const std::string& path) {
  SetFileAttributesA(path.c_str(), GetFileAttributesA(path.c_str()) | FILE_ATTRIBUTE_READONLY);
}

bool ReadOnlyRefusesWrites() {
  char base[MAX_PATH + 1];
  GetTempPathA(sizeof base, base);
  std::string probe = std::string(base) + "setup-unit-readonly-probe-" +
                      std::to_string(GetCurrentProcessId());
  SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_READONLY, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  bool refused = file == INVALID_HANDLE_VALUE;
  if (!refused) CloseHandle(file);
  SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(probe.c_str());
  return refused;
}

// Names of the files (not directories) in a directory, sorted, "|"-joined.
std::string Listing(const std::string& directory) {
  std::string names[64];
  int count = 0;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return "<none>";
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && count < 64) {
      names[count++] = entry.cFileName;
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  for (int i = 1; i < count; ++i) {
    for (int j = i; j > 0 && names[j] < names[j - 1]; --j) names[j].swap(names[j - 1]);
  }
  std::string joined;
  for (int i = 0; i < count; ++i) joined += (i ? "|" : "") + names[i];
  return joined;
}

// A handle that keeps a file open the way a test needs it; closed on scope exit.
struct OpenFile {
  OpenFile(const std::string& path, DWORD share)
      : handle(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~OpenFile() { Close(); }
  void Close() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  HANDLE handle;
};

class FileActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit::ResetInstaller();
    CopyText(installer.msgTitle, sizeof installer.msgTitle, kTitle);
    GetCurrentDirectoryA(sizeof savedDirectory_, savedDirectory_);
    packageDir_ = temp_.path() + "\\pkg";
    installDir_ = temp_.path() + "\\app";
    CreateDirectoryA(packageDir_.c_str(), nullptr);
    CreateDirectoryA(installDir_.c_str(), nullptr);
  }

  void TearDown() override {
    SetCurrentDirectoryA(savedDirectory_);
    SetEnvironmentVariableA("RECORDER_LOG", nullptr);
    unit::ResetInstaller();
    if (systemErrorText) LocalFree(systemErrorText);
    systemErrorText = nullptr;
  }

  void WritePackage(const std::string& name, const std::string& bytes) {
    WriteAt(packageDir_ + "\\" + name, bytes);
  }
  static void WriteAt(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }

  // The fields of a [Copy] line as the executor hands them over: the source
  // text relative to the package directory, an absolute target, the list.
  void RunCopy(const std::string& source, const std::string& target, const char* filter = nullptr) {
    CopyText(installer.lineBuffer, sizeof installer.lineBuffer, source.c_str());
    std::string scratch = packageDir_ + "\\" + source;
    CopyText(installer.scratchPath, sizeof installer.scratchPath, scratch.c_str());
    std::string directory = scratch.substr(0, scratch.rfind('\\') + 1);
    CopyText(installer.sourceDir, sizeof installer.sourceDir, directory.c_str());
    CopyText(installer.targetSpec, sizeof installer.targetSpec, target.c_str());
    if (filter) CopyText(filter_, sizeof filter_, filter);
    installer.copyFilter = filter ? filter_ : nullptr;
    installer.ApplyCopyLine();
  }

  void RunLine(void (InstallerContext::*action)(), const std::string& line) {
    CopyText(installer.lineBuffer, sizeof installer.lineBuffer, line.c_str());
    (installer.*action)();
  }

  std::string App(const std::string& name) const { return installDir_ + "\\" + name; }
  std::string Pkg(const std::string& name) const { return packageDir_ + "\\" + name; }

  std::string CopyFailureText(const std::string& source, const std::string& target) {
    return "Nepoda\xf8ilo se zkop\xedrovat soubor " + source + " do " + target + "!\nChyba: ";
  }

  TempDir temp_;
  std::string packageDir_;
  std::string installDir_;
  char filter_[1301];
  char savedDirectory_[MAX_PATH + 1];
};

// --- [Copy]: which files, and where --------------------------------------------

TEST_F(FileActionsTest, WholePackageSkipsSetupFilesDotNamesAndDirectories) {
  WritePackage("Setup.EXE", "installer");
  WritePackage("SETUP.dat", "script");
  WritePackage("a.txt", "A");
  WritePackage("b.bin", "B");
  WritePackage(".hidden", "H");
  CreateDirectoryA(Pkg("sub").c_str(), nullptr);
  WriteAt(Pkg("sub\\c.txt"), "C");
  ScriptedBoxes boxes;

  RunCopy("*", installDir_ + "\\");

  EXPECT_EQ(Listing(installDir_), "a.txt|b.bin");
  EXPECT_FALSE(Exists(App("sub")));
  EXPECT_EQ(ReadFileBytes(App("b.bin")), "B");
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_FALSE(installer.errorsOccurred);
  EXPECT_EQ(installer.findHandle, INVALID_HANDLE_VALUE);
}

TEST_F(FileActionsTest, ExclusionListAppliesUnchangedToEveryFile) {
  for (const char* name : {"keep.txt", "old1.dat", "old2.dat", "new.dat", "x.bak", "Y.BAK",
                           "~lock.txt", "notold.dat"}) {
    WritePackage(name, name);
  }
  const char list[] = "*.bak,,old*.dat,~*,";
  ScriptedBoxes boxes;

  RunCopy("*", installDir_ + "\\", list);

  EXPECT_EQ(Listing(installDir_), "keep.txt|new.dat|notold.dat");
  EXPECT_STREQ(installer.copyFilter, list);
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(FileActionsTest, ExclusionPatternTooLongForASearchMatchesNothing) {
  WritePackage("a.txt", "A");
  WritePackage("b.bak", "B");
  std::string list = std::string(300, 'a') + "*,*.bak";
  RunCopy("*", installDir_ + "\\", list.c_str());
  EXPECT_EQ(Listing(installDir_), "a.txt");
}

TEST_F(FileActionsTest, CollectedExclusionsMatchWithoutRegardToAsciiCase) {
  WritePackage("Old1.DAT", "1");
  WritePackage("keep.dat", "2");
  std::string directory = packageDir_ + "\\";
  ExclusionNames names;
  CollectExclusionNames(directory.c_str(), "old*,none*", &names);
  EXPECT_FALSE(PassesExclusions(&names, "Old1.DAT"));
  EXPECT_FALSE(PassesExclusions(&names, "old1.dat"));
  EXPECT_TRUE(PassesExclusions(&names, "keep.dat"));
  EXPECT_TRUE(PassesExclusions(&names, "Old1.DA"));
  FreeExclusionNames(&names);

  CollectExclusionNames(directory.c_str(), nullptr, &names);
  EXPECT_TRUE(PassesExclusions(&names, "Old1.DAT"));
  FreeExclusionNames(&names);
}

TEST_F(FileActionsTest, TargetEndingInBackslashIsCreatedWithAllLevels) {
  WritePackage("a.txt", "A");
  WritePackage("b.txt", "B");
  RunCopy("*.txt", App("one\\two\\three\\"));
  EXPECT_EQ(Listing(App("one\\two\\three")), "a.txt|b.txt");
}

TEST_F(FileActionsTest, ExistingDirectoryWithoutBackslashReceivesFilesByName) {
  WritePackage("a.txt", "A");
  CreateDirectoryA(App("sub").c_str(), nullptr);
  RunCopy("a.txt", App("sub"));
  EXPECT_EQ(ReadFileBytes(App("sub\\a.txt")), "A");
  EXPECT_EQ(Listing(installDir_), "");
}

TEST_F(FileActionsTest, FileTargetInMissingDirectoryIsCreatedUnderTheGivenName) {
  WritePackage("a.txt", "A");
  RunCopy("a.txt", App("new\\deeper\\renamed.txt"));
  EXPECT_EQ(Listing(App("new\\deeper")), "renamed.txt");
  EXPECT_EQ(ReadFileBytes(App("new\\deeper\\renamed.txt")), "A");
}

TEST_F(FileActionsTest, WildcardIntoOneFileLeavesOneOfTheFound) {
  WritePackage("a.txt", "A");
  WritePackage("b.txt", "B");
  RunCopy("*.txt", App("one.txt"));
  EXPECT_EQ(Listing(installDir_), "one.txt");
  std::string content = ReadFileBytes(App("one.txt"));
  EXPECT_TRUE(content == "A" || content == "B") << content;
}

// --- [Copy]: a missing source --------------------------------------------------

TEST_F(FileActionsTest, MissingNamedSourceAsksAndYesGoesOn) {
  ScriptedBoxes boxes;
  boxes.Answer(IDYES);
  RunCopy("missing.txt", installDir_ + "\\");

  ASSERT_EQ(boxes.boxes().size(), 1u);
  std::string expectedInner = "Nepoda\xf8ilo se zkop\xedrovat soubor " + Pkg("missing.txt") + " !\nChyba: ";
  EXPECT_EQ(std::string(installer.errorText).rfind(expectedInner, 0), 0u) << installer.errorText;
  EXPECT_GT(std::strlen(installer.errorText), expectedInner.size());  // the system's reason
  EXPECT_EQ(boxes.boxes()[0].text,
            std::string(installer.errorText) + "\nChcete pokra\xe8ovat v instalaci bal\xed\xe8ku ?");
  EXPECT_EQ(boxes.boxes()[0].caption, kTitle);
  EXPECT_EQ(boxes.boxes()[0].style, kMissingSourceStyle);
  EXPECT_TRUE(installer.errorsOccurred);
  EXPECT_FALSE(installer.stopRequested);
  EXPECT_EQ(installer.findHandle, INVALID_HANDLE_VALUE);
}

TEST_F(FileActionsTest, MissingNamedSourceAnsweredNoStops) {
  ScriptedBoxes boxes;
  boxes.Answer(IDNO);
  RunCopy("sub\\missing.txt", installDir_ + "\\");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_TRUE(installer.stopRequested);
  EXPECT_TRUE(installer.errorsOccurred);
}

TEST_F(FileActionsTest, WildcardFindingNothingIsSilent) {
  ScriptedBoxes boxes;
  RunCopy("*.none", installDir_ + "\\");
  RunCopy("nothing?.txt", installDir_ + "\\");
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_FALSE(installer.errorsOccurred);
  EXPECT_EQ(Listing(installDir_), "");
}

// --- [Copy]: read-only targets and busy program files ------------------------

TEST_F(FileActionsTest, ReadOnlyTargetIsOverwrittenAndEndsReadOnlyOnlyLikeItsSource) {
  WritePackage("plain.txt", "new plain");
  WritePackage("locked.txt", "new locked");
  SetReadOnly(Pkg("locked.txt"));
  WriteAt(App("plain.txt"), "old");
  WriteAt(App("locked.txt"), "old");
  SetReadOnly(App("plain.txt"));
  SetReadOnly(App("locked.txt"));
  ScriptedBoxes boxes;

  RunCopy("*.txt", installDir_ + "\\");

  EXPECT_EQ(ReadFileBytes(App("plain.txt")), "new plain");
  EXPECT_EQ(ReadFileBytes(App("locked.txt")), "new locked");
  // The system refuses to write the read-only target (Wine runs as a user,
  // not as root); the retry after clearing the attribute is what leaves the
  // target writable.
  ASSERT_TRUE(ReadOnlyRefusesWrites()) << "Wine runs with root's rights";
  EXPECT_FALSE(IsReadOnly(App("plain.txt")));
  EXPECT_TRUE(IsReadOnly(App("locked.txt")));
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_FALSE(installer.errorsOccurred);
}

TEST_F(FileActionsTest, ExistingProgramFileIsRenamedAsideAndReplaced) {
  WritePackage("quillon.exe", "new program");
  WriteAt(App("quillon.exe"), "old program");
  RunCopy("quillon.exe", installDir_ + "\\");
  EXPECT_EQ(ReadFileBytes(App("quillon.exe")), "new program");
  EXPECT_EQ(ReadFileBytes(App("quillon.exe.(0)")), "old program");

  // Upper case: the same, and a read-only leftover of an earlier run is
  // cleared away to make room.
  WritePackage("TOOL.EXE", "new tool");
  WriteAt(App("TOOL.EXE"), "old tool");
  WriteAt(App("TOOL.EXE.(0)"), "older tool");
  SetReadOnly(App("TOOL.EXE.(0)"));
  RunCopy("TOOL.EXE", installDir_ + "\\");
  EXPECT_EQ(ReadFileBytes(App("TOOL.EXE")), "new tool");
  EXPECT_EQ(ReadFileBytes(App("TOOL.EXE.(0)")), "old tool");
}

TEST_F(FileActionsTest, BusyProgramFileMovesAsideToTheNextFreeNumber) {
  WritePackage("quillon.exe", "new program");
  WriteAt(App("quillon.exe"), "running program");
  WriteAt(App("quillon.exe.(0)"), "still running");
  ScriptedBoxes boxes;
  {
    // A running program: renaming is allowed, writing is not.
    OpenFile running(App("quillon.exe"), FILE_SHARE_READ | FILE_SHARE_DELETE);
    OpenFile alsoRunning(App("quillon.exe.(0)"), FILE_SHARE_READ);
    ASSERT_NE(running.handle, INVALID_HANDLE_VALUE);
    RunCopy("quillon.exe", installDir_ + "\\");
  }
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(ReadFileBytes(App("quillon.exe")), "new program");
  EXPECT_EQ(ReadFileBytes(App("quillon.exe.(0)")), "still running");
  EXPECT_EQ(ReadFileBytes(App("quillon.exe.(1)")), "running program");
}

TEST_F(FileActionsTest, BusyFileThatIsNoProgramIsReported) {
  WritePackage("data.txt", "new");
  WriteAt(App("data.txt"), "busy");
  ScriptedBoxes boxes;
  boxes.Answer(IDIGNORE);
  {
    OpenFile busy(App("data.txt"), FILE_SHARE_READ | FILE_SHARE_DELETE);
    RunCopy("data.txt", installDir_ + "\\");
  }
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(ReadFileBytes(App("data.txt")), "busy");
}

TEST_F(FileActionsTest, FailedCopyAfterRenameRestoresTheProgramFile) {
  WritePackage("quillon.exe", "new program");
  WriteAt(App("quillon.exe"), "old program");
  {
    OpenFile unreadable(Pkg("quillon.exe"), 0);
    ASSERT_NE(unreadable.handle, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReplaceFile(Pkg("quillon.exe").c_str(), App("quillon.exe").c_str()));
    EXPECT_EQ(ReadFileBytes(App("quillon.exe")), "old program");
    EXPECT_FALSE(Exists(App("quillon.exe.(0)")));

    ScriptedBoxes boxes;
    boxes.Answer(IDIGNORE);
    RunCopy("quillon.exe", installDir_ + "\\");
    ASSERT_EQ(boxes.boxes().size(), 1u);
  }
  EXPECT_EQ(ReadFileBytes(App("quillon.exe")), "old program");
  EXPECT_EQ(Listing(installDir_), "quillon.exe");
  EXPECT_TRUE(installer.errorsOccurred);
}

TEST_F(FileActionsTest, ExistingTargetIsReplacedOnlyByACompleteCopy) {
  // Each way a replacement can go: the old file stays whole (content and
  // attributes) unless the new one arrived complete, and no temporary copy
  // is ever left beside it.
  enum Hold { kNothing, kSourceLocked, kTargetWritableOnly, kReadOnlyLeftover };
  struct Case {
    const char* name;
    Hold hold;
    size_t nameLength;  // of the target's file name; 0: "lib.dll"
    const char* expected;
    size_t boxes;
  } cases[] = {
      {"unreadable source", kSourceLocked, 0, "old", 1},
      {"target open for writing but not renaming", kTargetWritableOnly, 0, "new", 0},
      {"read-only temporary copy of a killed run", kReadOnlyLeftover, 0, "new", 0},
      {"no room for the temporary name", kNothing, 257 - installDir_.size() - 1, "new", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unit::ResetInstaller();
    CopyText(installer.msgTitle, sizeof installer.msgTitle, kTitle);
    std::string name = c.nameLength ? std::string(c.nameLength - 4, 'n') + ".dll" : "lib.dll";
    WritePackage(name, "new");
    WriteAt(App(name), "old");
    // A failure must keep attributes too; a hidden target also makes sure no
    // copy was ever written over it in place.
    const DWORD oldAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    if (c.boxes) SetFileAttributesA(App(name).c_str(), oldAttributes);
    if (c.hold == kReadOnlyLeftover) {
      WriteAt(App(name + ".~tmp"), "fragment");
      SetReadOnly(App(name + ".~tmp"));
    }
    ScriptedBoxes boxes;
    boxes.Answer(IDIGNORE);
    {
      OpenFile source(Pkg(name), c.hold == kSourceLocked ? 0 : FILE_SHARE_READ);
      OpenFile target(App(name), c.hold == kTargetWritableOnly
                                     ? FILE_SHARE_READ | FILE_SHARE_WRITE
                                     : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
      RunCopy(name, installDir_ + "\\");
    }
    EXPECT_EQ(boxes.boxes().size(), c.boxes);
    EXPECT_EQ(ReadFileBytes(App(name)), c.expected);
    EXPECT_EQ(Listing(installDir_), name);
    if (c.boxes) {
      EXPECT_EQ(GetFileAttributesA(App(name).c_str()), oldAttributes);
    }
    DeleteFileA(App(name).c_str());
  }

  // A file copied onto itself fails as a plain copy over it always did.
  unit::ResetInstaller();
  WritePackage("self.txt", "self");
  ScriptedBoxes boxes;
  boxes.Answer(IDIGNORE);
  RunCopy("self.txt", packageDir_ + "\\");
  EXPECT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Pkg("self.txt")), "self");
  EXPECT_FALSE(Exists(Pkg("self.txt.~tmp")));
}

TEST_F(FileActionsTest, ReplaceFileRefusesNullPathsAndCopiesPlainFiles) {
  WritePackage("a.txt", "A");
  EXPECT_FALSE(ReplaceFile(nullptr, App("a.txt").c_str()));
  EXPECT_FALSE(ReplaceFile(Pkg("a.txt").c_str(), nullptr));
  EXPECT_TRUE(ReplaceFile(Pkg("a.txt").c_str(), App("a.txt").c_str()));
  EXPECT_EQ(ReadFileBytes(App("a.txt")), "A");
}

// --- [Copy]: Abort, Retry, Ignore ----------------------------------------------

OpenFile* lockedSource = nullptr;

TEST_F(FileActionsTest, FailedCopyRetriedSucceedsButStaysAnError) {
  WritePackage("a.txt", "A");
  OpenFile lock(Pkg("a.txt"), 0);
  lockedSource = &lock;
  ScriptedBoxes boxes;
  boxes.OnBox([](int) { lockedSource->Close(); });
  boxes.Answer(IDRETRY);

  RunCopy("a.txt", installDir_ + "\\");

  ASSERT_EQ(boxes.boxes().size(), 1u);
  const unit::RecordedBox& box = boxes.boxes()[0];
  std::string expected = CopyFailureText(Pkg("a.txt"), App("a.txt"));
  EXPECT_EQ(box.text.rfind(expected, 0), 0u) << box.text;
  EXPECT_GT(box.text.size(), expected.size());
  EXPECT_EQ(box.text, installer.errorText);
  EXPECT_EQ(box.caption, kTitle);
  EXPECT_EQ(box.style, kActionFailedStyle);
  EXPECT_EQ(ReadFileBytes(App("a.txt")), "A");
  EXPECT_TRUE(installer.errorsOccurred);
  EXPECT_FALSE(installer.stopRequested);
}

TEST_F(FileActionsTest, AbortStopsBeforeTheNextFileAndCancelToo) {
  for (int answer : {IDABORT, IDCANCEL}) {
    unit::ResetInstaller();
    WritePackage("a.txt", "A");
    WritePackage("b.txt", "B");
    OpenFile lockA(Pkg("a.txt"), 0);
    OpenFile lockB(Pkg("b.txt"), 0);
    ScriptedBoxes boxes;
    boxes.Answer(answer);
    RunCopy("*.txt", installDir_ + "\\");
    EXPECT_EQ(boxes.boxes().size(), 1u) << answer;
    EXPECT_TRUE(installer.stopRequested);
    EXPECT_TRUE(installer.errorsOccurred);
    EXPECT_EQ(installer.findHandle, INVALID_HANDLE_VALUE);
  }
}

TEST_F(FileActionsTest, IgnoreGoesOnWithTheNextFile) {
  WritePackage("a.txt", "A");
  WritePackage("b.txt", "B");
  WritePackage("c.txt", "C");
  OpenFile lockA(Pkg("a.txt"), 0);
  OpenFile lockC(Pkg("c.txt"), 0);
  ScriptedBoxes boxes;
  boxes.Answer(IDIGNORE);
  boxes.Answer(IDIGNORE);
  RunCopy("*.txt", installDir_ + "\\");
  EXPECT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(Listing(installDir_), "b.txt");
  EXPECT_FALSE(installer.stopRequested);
  EXPECT_TRUE(installer.errorsOccurred);
}

// --- system error texts ----------------------------------------------------------

TEST_F(FileActionsTest, ErrorWithoutSystemTextShowsItsCodeInDecimal) {
  char buffer[16];
  FormatSystemError(ERROR_FILE_NOT_FOUND);
  ASSERT_NE(systemErrorText, nullptr);
  EXPECT_EQ(SystemErrorOrCode(buffer, sizeof buffer), systemErrorText);

  FormatSystemError(0x2000ABCDu);  // an application code: the system has no text
  EXPECT_EQ(systemErrorText, nullptr);
  EXPECT_STREQ(SystemErrorOrCode(buffer, sizeof buffer), "536914893");
}

// --- [Run] -----------------------------------------------------------------------

std::string RecorderPath() { return unit::FixturePath("recorder.exe"); }

class RunLineTest : public FileActionsTest {
 protected:
  void SetUp() override {
    FileActionsTest::SetUp();
    log_ = temp_.File("run.log");
    SetEnvironmentVariableA("RECORDER_LOG", log_.c_str());
    ASSERT_TRUE(Exists(RecorderPath())) << RecorderPath();
  }
  std::string log_;
};

TEST_F(RunLineTest, StartsTheProgramWithItsParametersAndWaitsForItsEnd) {
  ScriptedBoxes boxes;
  RunLine(&InstallerContext::ApplyRunLine, RecorderPath() + " 'first \"two\" 3' ignored");
  // "done" is written after a pause: present only if the run was awaited.
  EXPECT_EQ(ReadFileBytes(log_), "first \"two\" 3\ndone\n");
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_FALSE(installer.errorsOccurred);
}

TEST_F(RunLineTest, NoApostropheMeansNoParametersAndOneTakesTheRest) {
  RunLine(&InstallerContext::ApplyRunLine, RecorderPath());
  EXPECT_EQ(ReadFileBytes(log_), "\ndone\n");
  DeleteFileA(log_.c_str());
  RunLine(&InstallerContext::ApplyRunLine, RecorderPath() + "'all of it");
  EXPECT_EQ(ReadFileBytes(log_), "all of it\ndone\n");
}

std::string pendingProgram;

TEST_F(RunLineTest, FailedStartRetriedRunsTheSameProgramWithTheSameParameters) {
  pendingProgram = temp_.File("later.exe");
  ScriptedBoxes boxes;
  // The program appears while the user looks at the message.
  boxes.OnBox([](int) { CopyFileA(RecorderPath().c_str(), pendingProgram.c_str(), FALSE); });
  boxes.Answer(IDRETRY);

  RunLine(&InstallerContext::ApplyRunLine, pendingProgram + " 'p q'");

  ASSERT_EQ(boxes.boxes().size(), 1u);
  // The program is the text before the apostrophe, its blank included.
  EXPECT_EQ(boxes.boxes()[0].text,
            "Nepoda\xf8ilo se spustit program " + pendingProgram + "  !");
  EXPECT_EQ(boxes.boxes()[0].caption, kTitle);
  EXPECT_EQ(boxes.boxes()[0].style, kActionFailedStyle);
  EXPECT_EQ(installer.errorText, boxes.boxes()[0].text);
  EXPECT_EQ(ReadFileBytes(log_), "p q\ndone\n");
  EXPECT_TRUE(installer.errorsOccurred);
  EXPECT_FALSE(installer.stopRequested);
}

TEST_F(RunLineTest, FailedStartAbortStopsAndIgnoreGoesOn) {
  ScriptedBoxes boxes;
  boxes.Answer(IDIGNORE);
  boxes.Answer(IDABORT);
  RunLine(&InstallerContext::ApplyRunLine, temp_.File("none.exe"));
  EXPECT_EQ(boxes.boxes().size(), 1u);
  EXPECT_TRUE(installer.errorsOccurred);
  EXPECT_FALSE(installer.stopRequested);
  RunLine(&InstallerContext::ApplyRunLine, temp_.File("none.exe"));
  EXPECT_EQ(boxes.boxes().size(), 2u);
  EXPECT_TRUE(installer.stopRequested);
}

// --- [Delete] --------------------------------------------------------------------

TEST_F(FileActionsTest, DeleteTakesTheExtensionLiterally) {
  std::string dir = temp_.File("del");
  ASSERT_EQ(dir.find('.'), std::string::npos) << "the test needs a directory without dots";
  CreateDirectoryA(dir.c_str(), nullptr);
  for (const char* name : {"a.tmp", "b.TMP", "c.tmpx", "d.txt", "e.tmp.txt"}) {
    WriteAt(dir + "\\" + name, name);
  }
  SetReadOnly(dir + "\\b.TMP");
  CreateDirectoryA((dir + "\\sub.tmp").c_str(), nullptr);

  SetCurrentDirectoryA(dir.c_str());
  RunLine(&InstallerContext::ApplyDeleteLine, "*.tmp");  // no directory part: nothing
  RunLine(&InstallerContext::ApplyDeleteLine, dir + "\\*.*");
  RunLine(&InstallerContext::ApplyDeleteLine, dir + "\\*");
  EXPECT_EQ(Listing(dir), "a.tmp|b.TMP|c.tmpx|d.txt|e.tmp.txt");

  RunLine(&InstallerContext::ApplyDeleteLine, dir + "\\*.tmp");
  EXPECT_EQ(Listing(dir), "c.tmpx|d.txt|e.tmp.txt");
  EXPECT_TRUE(Exists(dir + "\\sub.tmp"));
}

// --- [Move] and [ChangeDir] --------------------------------------------------------

TEST_F(FileActionsTest, MoveRenamesAndIgnoresWhatItCannotDo) {
  std::string dir = temp_.File("mv");
  CreateDirectoryA(dir.c_str(), nullptr);
  SetCurrentDirectoryA(dir.c_str());
  WriteAt(dir + "\\a.txt", "A");

  for (const char* line : {"a*.txt=b.txt", "a?txt=b.txt", "a.txt", "=b.txt", "a.txt="}) {
    RunLine(&InstallerContext::ApplyMoveLine, line);
  }
  EXPECT_EQ(Listing(dir), "a.txt");

  RunLine(&InstallerContext::ApplyMoveLine, "a.txt=b.txt");
  EXPECT_EQ(Listing(dir), "b.txt");

  WriteAt(dir + "\\c.txt", "C");
  SetReadOnly(dir + "\\b.txt");
  RunLine(&InstallerContext::ApplyMoveLine, "c.txt=b.txt");
  EXPECT_EQ(ReadFileBytes(dir + "\\b.txt"), "A");
  EXPECT_EQ(ReadFileBytes(dir + "\\c.txt"), "C");
  EXPECT_FALSE(IsReadOnly(dir + "\\b.txt"));
  EXPECT_FALSE(installer.errorsOccurred);
}

TEST_F(FileActionsTest, ChangeDirToAMissingDirectoryKeepsTheCurrentOne) {
  SetCurrentDirectoryA(installDir_.c_str());
  char before[MAX_PATH + 1], after[MAX_PATH + 1];
  GetCurrentDirectoryA(sizeof before, before);
  RunLine(&InstallerContext::ApplyChangeDirLine, App("missing"));
  GetCurrentDirectoryA(sizeof after, after);
  EXPECT_STREQ(after, before);

  RunLine(&InstallerContext::ApplyChangeDirLine, packageDir_);
  GetCurrentDirectoryA(sizeof after, after);
  EXPECT_EQ(lstrcmpiA(after, packageDir_.c_str()), 0);
}

// --- shared routines -----------------------------------------------------------------

TEST_F(FileActionsTest, CreateDirectoryPathStopsAtTheLastBackslash) {
  CreateDirectoryPath(App("x\\y\\file.txt").c_str());
  EXPECT_TRUE(Exists(App("x\\y")));
  EXPECT_FALSE(Exists(App("x\\y\\file.txt")));
  CreateDirectoryPath(nullptr);
}

TEST_F(FileActionsTest, ReadOnlyHelpersKeepTheOtherAttributes) {
  WriteAt(App("f.txt"), "F");
  // Wine keeps the hidden bit in an extended attribute of the file, which
  // a user may not write once the file is read-only: hidden comes first.
  SetFileAttributesA(App("f.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA(App("f.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(GetFileAttributesA(App("f.txt").c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ClearReadOnly(App("f.txt").c_str());
  EXPECT_EQ(GetFileAttributesA(App("f.txt").c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));

  WritePackage("ro.txt", "R");
  SetReadOnly(Pkg("ro.txt"));
  CopyReadOnly(Pkg("ro.txt").c_str(), App("f.txt").c_str());
  EXPECT_EQ(GetFileAttributesA(App("f.txt").c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ClearReadOnly(nullptr);
  ClearReadOnly(App("none.txt").c_str());
}

}  // namespace
