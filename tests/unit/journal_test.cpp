// The undo against the real file system and registry: a change is taken
// back only while what stands there is what the run left; whatever someone
// changed since stays, and does not make the undo incomplete. A backup is
// used only while it holds what was recorded and has no second name.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "actions/ini_line.h"
#include "actions/registry.h"
#include "app/installer_context.h"
#include "journal/journal.h"
#include "journal/journal_run.h"
#include "unit/unit_support.h"

namespace {

using unit::ReadFileBytes;

const char kKey[] = "Software\\SetupUnit\\Journal";

struct Bed {
  Bed() {
    CreateDirectoryA(dir.File("inst").c_str(), nullptr);
    CreateDirectoryA(dir.File("pkg").c_str(), nullptr);
  }
  unit::TempDir dir;
  std::string Inst(const std::string& name) const { return dir.File("inst\\" + name); }
  std::string Pkg(const std::string& name) const { return dir.File("pkg\\" + name); }
  std::string Folder() const { return dir.File("inst\\Setup-rollback"); }
  std::string Backup(int number) const {
    char name[32];
    std::snprintf(name, sizeof name, "\\%03d\\%06d.bak", number / 256, number);
    return Folder() + name;
  }
};

// Time moves on past the two seconds an undo allows a copied file's time.
void TouchLater(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  FILETIME later;
  GetSystemTimeAsFileTime(&later);
  ULARGE_INTEGER t = {{later.dwLowDateTime, later.dwHighDateTime}};
  t.QuadPart += 60ULL * 10000000ULL;
  later.dwLowDateTime = t.LowPart;
  later.dwHighDateTime = t.HighPart;
  SetFileTime(file, nullptr, nullptr, &later);
  CloseHandle(file);
}

std::string RegText(const char* name) {
  char* text = RegistryReadString(kKey, name, kRootCurrentUser);
  std::string value = text ? text : "<absent>";
  std::free(text);
  return value;
}

struct UndoCase {
  const char* name;
  // Makes the run's changes through the actions, with the journal on.
  std::function<void(const Bed&)> run;
  // What happens after the run, before the undo.
  std::function<void(const Bed&)> meanwhile;
  bool complete;  // nothing left to undo afterwards
  std::function<void(const Bed&)> check;
};

void ReplaceLib(const Bed& b) {
  ASSERT_TRUE(ReplaceFile(b.Pkg("lib.dll").c_str(), b.Inst("lib.dll").c_str()));
}

const UndoCase kCases[] = {
    {"a replaced file as the run left it is put back", ReplaceLib, nullptr, true,
     [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("lib.dll")), "old library"); }},
    {"a replaced file the user changed since stays", ReplaceLib,
     [](const Bed& b) { TouchLater(b.Inst("lib.dll"), "the user's own"); }, true,
     [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("lib.dll")), "the user's own"); }},
    {"a new file the user changed since stays",
     [](const Bed& b) { ASSERT_TRUE(ReplaceFile(b.Pkg("new.txt").c_str(), b.Inst("new.txt").c_str())); },
     [](const Bed& b) { TouchLater(b.Inst("new.txt"), "written by the user"); }, true,
     [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("new.txt")), "written by the user"); }},
    {"a new file as the run left it goes",
     [](const Bed& b) { ASSERT_TRUE(ReplaceFile(b.Pkg("new.txt").c_str(), b.Inst("new.txt").c_str())); },
     nullptr, true, [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("new.txt")), "<missing>"); }},
    {"a copy in place cut short by the end of the run is undone",
     [](const Bed& b) {
       char backup[kBackupPathSize];
       bool canLink = false;
       const std::string target = b.Inst("lib.dll");
       ASSERT_TRUE(JournalReplace(target.c_str(), "", b.Pkg("lib.dll").c_str(), backup, &canLink));
       ASSERT_EQ(JournalSetAside(target.c_str(), backup, false, false), kAsideCopied);
       ASSERT_TRUE(JournalInPlace(target.c_str()));
       TouchLater(target, "new li");  // the copy's first bytes
     },
     nullptr, true, [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("lib.dll")), "old library"); }},
    {"a backup whose bytes changed is never used", ReplaceLib,
     [](const Bed& b) { TouchLater(b.Backup(1), "planted"); }, false,
     [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("lib.dll")), "new library"); }},
    {"a backup that is a second name of another file is never used", ReplaceLib,
     [](const Bed& b) {
       // The same bytes, so only the second name can give it away.
       b.dir.Write("other.dll", ReadFileBytes(b.Backup(1)));
       DeleteFileA(b.Backup(1).c_str());
       ASSERT_TRUE(CreateHardLinkA(b.Backup(1).c_str(), b.dir.File("other.dll").c_str(), nullptr));
     },
     false, [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("lib.dll")), "new library"); }},
    {"a missing backup of a file the run replaced is no change that never happened", ReplaceLib,
     [](const Bed& b) { DeleteFileA(b.Backup(1).c_str()); }, false,
     [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("lib.dll")), "new library"); }},
    {"an INI file as the run left it is put back",
     [](const Bed& b) {
       char line[1024];
       std::snprintf(line, sizeof line, "%s=Main;Key;new", b.Inst("app.ini").c_str());
       ApplyIniLine(line, false);
     },
     nullptr, true,
     [](const Bed& b) { EXPECT_EQ(ReadFileBytes(b.Inst("app.ini")), "[Main]\r\nKey=old\r\n"); }},
    {"an INI file the user changed since stays",
     [](const Bed& b) {
       char line[1024];
       std::snprintf(line, sizeof line, "%s=Main;Key;new", b.Inst("app.ini").c_str());
       ApplyIniLine(line, false);
     },
     [](const Bed& b) {
       WritePrivateProfileStringA("Main", "Other", "mine", b.Inst("app.ini").c_str());
     },
     true,
     [](const Bed& b) {
       EXPECT_EQ(unit::ReadFileBytes(b.Inst("app.ini")).find("Other=mine") != std::string::npos, true);
     }},
    {"a registry value as the run left it is set back",
     [](const Bed&) { ApplyRegistryLine("HKCU;Software\\SetupUnit\\Journal;Value;new", false); },
     nullptr, true, [](const Bed&) { EXPECT_EQ(RegText("Value"), "old"); }},
    {"a registry value the user changed since stays",
     [](const Bed&) { ApplyRegistryLine("HKCU;Software\\SetupUnit\\Journal;Value;new", false); },
     [](const Bed&) { RegistryWriteString(kKey, "Value", "the user's", kRootCurrentUser); }, true,
     [](const Bed&) { EXPECT_EQ(RegText("Value"), "the user's"); }},
    {"a key the run made keeps a value the user added",
     [](const Bed&) { ApplyRegistryLine("HKCU;Software\\SetupUnit\\Journal\\Made;Value;x", false); },
     [](const Bed&) {
       RegistryWriteString("Software\\SetupUnit\\Journal\\Made", "Mine", "1", kRootCurrentUser);
     },
     true,
     [](const Bed&) {
       char* text = RegistryReadString("Software\\SetupUnit\\Journal\\Made", "Mine", kRootCurrentUser);
       EXPECT_NE(text, nullptr);
       std::free(text);
     }},
};

TEST(JournalUndoTest, TakesBackOnlyWhatStandsAsTheRunLeftIt) {
  for (const UndoCase& c : kCases) {
    SCOPED_TRACE(c.name);
    unit::ResetInstaller();
    unit::DeleteRegistryTree(HKEY_CURRENT_USER, kKey);
    ASSERT_TRUE(RegistrySetValue(kRootCurrentUser, kKey, "Value", REG_SZ,
                                 reinterpret_cast<const unsigned char*>("old"), 4));
    Bed b;
    b.dir.Write("inst\\lib.dll", "old library");
    b.dir.Write("inst\\app.ini", "[Main]\r\nKey=old\r\n");
    b.dir.Write("pkg\\lib.dll", "new library");
    b.dir.Write("pkg\\new.txt", "new text");
    const std::string inst = b.dir.File("inst");
    unsigned long code = 0;
    ASSERT_EQ(JournalBegin(inst.c_str(), &code), kJournalMade) << code;
    c.run(b);
    JournalClose();  // as a killed run leaves it
    if (c.meanwhile) c.meanwhile(b);

    char remaining[512];
    EXPECT_EQ(JournalUndo(inst.c_str(), remaining, sizeof remaining), c.complete) << remaining;

    c.check(b);
    EXPECT_EQ(JournalExamine(inst.c_str(), nullptr), c.complete ? kFoundNothing : kFoundUnfinished);
    EXPECT_EQ(GetFileAttributesA(b.Folder().c_str()) == INVALID_FILE_ATTRIBUTES, c.complete);
    if (!c.complete) JournalDiscard(inst.c_str());
  }
  unit::DeleteRegistryTree(HKEY_CURRENT_USER, kKey);
}

// A run whose result stands records so before its backups go: a journal
// that holds that record is only removed, never undone.
TEST(JournalUndoTest, AJournalWhoseResultStandsIsOnlyRemoved) {
  unit::ResetInstaller();
  Bed b;
  b.dir.Write("inst\\lib.dll", "old library");
  b.dir.Write("pkg\\lib.dll", "new library");
  const std::string inst = b.dir.File("inst");
  unsigned long code = 0;
  ASSERT_EQ(JournalBegin(inst.c_str(), &code), kJournalMade);
  ReplaceLib(b);
  // The end recorded, then the removal cut short: the backup is still there.
  b.dir.Write("inst\\Setup-rollback\\keep.tmp", "");
  SetFileAttributesA(b.dir.File("inst\\Setup-rollback\\keep.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  HANDLE held = CreateFileA(b.dir.File("inst\\Setup-rollback\\keep.tmp").c_str(), GENERIC_READ, 0,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  JournalEnd();
  ASSERT_EQ(JournalExamine(inst.c_str(), nullptr), kFoundFinished);
  CloseHandle(held);

  char remaining[512];
  EXPECT_TRUE(JournalUndo(inst.c_str(), remaining, sizeof remaining));
  EXPECT_EQ(ReadFileBytes(b.Inst("lib.dll")), "new library");
  EXPECT_EQ(JournalExamine(inst.c_str(), nullptr), kFoundNothing);
  EXPECT_EQ(GetFileAttributesA(b.Folder().c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
