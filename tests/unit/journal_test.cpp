// Undoing a journal by hand-written records, as a run that was killed at any
// point leaves them: a change that never happened is left alone, a record
// that cannot be undone stays in the journal and is named.
#include <gtest/gtest.h>

#include <string>

#include "actions/registry.h"
#include "journal/journal_run.h"
#include "unit/unit_support.h"

namespace {

using unit::ReadFileBytes;

// A field as the journal writes it: backslashes doubled.
std::string Esc(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

TEST(JournalUndoTest, ChangesThatNeverHappenedAreLeftAloneAndUnknownRecordsStay) {
  unit::TempDir dir;
  const std::string d = dir.path();
  const std::string folder = d + "\\Setup-rollback\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  dir.Write("replaced.txt", "old");                 // killed while copying its replacement
  dir.Write("replaced.txt.~tmp", "part of the new");
  dir.Write("kept.txt", "still here");              // killed before it went into the backup
  dir.Write("q.exe", "program");                    // killed before the rename
  dir.Write("q.exe.(0)", "leftover");
  dir.Write("moved.txt", "moved");                  // a finished move
  dir.Write("Setup-rollback\\000003.bak", "[Saved]\r\nWhole=1\r\n");  // an INI file's copy
  const std::string key = "Software\\SetupUnit\\Journal";
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  const std::string e = Esc(d);
  const std::string f = Esc(folder);
  const std::string journal =
      "SETUP-ROLLBACK 1\t" + e + "\n"
      "NEWFILE\t" + e + "\\\\never.txt\n"
      "REPLACE\t" + e + "\\\\replaced.txt\t" + e + "\\\\replaced.txt.~tmp\t" + f + "000001.bak\n"
      "KEPT\t" + e + "\\\\kept.txt\t" + f + "000002.bak\n"
      "RENAMED\t" + e + "\\\\q.exe\t" + e + "\\\\q.exe.(0)\n"
      "MOVED\t" + e + "\\\\original.txt\t" + e + "\\\\moved.txt\n"
      "INIFILE\t" + e + "\\\\app.ini\t" + f + "000003.bak\n"
      "REGKEY\tHKCU\t" + Esc(key) + "\n"
      "REGVALUE\tHKCU\t" + Esc(key) + "\tCount\t4\t2a000000\n"
      "SOMETHING NEWER\t" + e + "\\\\unknown\n";
  dir.Write("Setup-rollback\\journal.txt", journal);

  char remaining[512];
  EXPECT_FALSE(JournalUndo(d.c_str(), remaining, sizeof remaining));

  EXPECT_EQ(std::string(remaining), d + "\\unknown");
  EXPECT_EQ(ReadFileBytes(dir.File("replaced.txt")), "old");
  EXPECT_EQ(ReadFileBytes(dir.File("replaced.txt.~tmp")), "<missing>");
  EXPECT_EQ(ReadFileBytes(dir.File("kept.txt")), "still here");
  EXPECT_EQ(ReadFileBytes(dir.File("q.exe")), "program");
  EXPECT_EQ(ReadFileBytes(dir.File("q.exe.(0)")), "leftover");
  EXPECT_EQ(ReadFileBytes(dir.File("original.txt")), "moved");
  EXPECT_EQ(ReadFileBytes(dir.File("app.ini")), "[Saved]\r\nWhole=1\r\n");
  // The value was set back, then the key made by the run removed with it.
  HKEY opened = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
  // What stays is the one record that could not be undone, after the header.
  EXPECT_EQ(ReadFileBytes(folder + "journal.txt"),
            "SETUP-ROLLBACK 1\t" + e + "\nSOMETHING NEWER\t" + e + "\\\\unknown\n");
  EXPECT_TRUE(JournalPending(d.c_str()));

  // Once the unknown record is gone, the journal is finished and removed.
  dir.Write("Setup-rollback\\journal.txt", "SETUP-ROLLBACK 1\t" + d + "\n");
  EXPECT_TRUE(JournalUndo(d.c_str(), remaining, sizeof remaining));
  EXPECT_FALSE(JournalPending(d.c_str()));
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
