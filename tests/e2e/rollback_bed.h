// An installation, a program directory, a directory outside both, and a
// package with Rollback=1 that changes them in every way a script can; the
// rollback tests run it, stop it, kill it and start Setup again.
#pragma once

#include <windows.h>

#include <string>

#include "e2e/e2e_cases.h"
#include "e2e/script_bed.h"
#include "e2e/snapshot.h"

namespace e2e {

const char kRollbackKey[] = "Software\\SetupE2E\\Rollback";

// Where each journal's secret lives: the account's own registry hive.
const char kJournalSecrets[] = "Software\\Valtor CZ\\Quillon Setup\\Journals";

inline std::string KillerLine() { return "[Run]\n" + FixturePath("killer.exe") + "\n"; }

// Replaced, new and read-only files, a new directory, a busy program renamed
// aside, a file outside the installation, a file replaced twice, deleted and
// moved files, INI entries in an existing and a new INI file, registry
// values and keys made, changed and deleted.
struct RollbackBed {
  ScriptBed bed;
  RegistryKeysGuard keys{{{HKEY_CURRENT_USER, kRollbackKey}}};
  TempDir later{"later"};      // the package of the next start
  TempDir outside{"outside"};  // neither the installation nor the program's

  bool Prepare() {
    bool ok = WriteFileBytes(bed.Pkg("lib.dll"), "new library") &&
              WriteFileBytes(bed.Pkg("new.txt"), "new text") &&
              WriteFileBytes(bed.Pkg("sub\\deep.txt"), "deep") &&
              WriteFileBytes(bed.Pkg("quillon.exe"), "new program") &&
              WriteFileBytes(bed.Pkg("locked.txt"), "cannot be read") &&
              WriteFileBytes(bed.Pkg("v1\\twice.txt"), "first new") &&
              WriteFileBytes(bed.Pkg("v2\\twice.txt"), "second new, longer") &&
              WriteFileBytes(bed.Pkg("outside.txt"), "new outside") &&
              WriteFileBytes(bed.Inst("lib.dll"), "old library") &&
              WriteFileBytes(bed.Inst("twice.txt"), "old twice") &&
              WriteFileBytes(outside / "outside.txt", "old outside") &&
              WriteFileBytes(bed.Inst("ro.txt"), "old read-only") &&
              WriteFileBytes(bed.Pkg("ro.txt"), "new read-only") &&
              WriteFileBytes(bed.Inst("cache.tmp"), "cache") &&
              WriteFileBytes(bed.Inst("settings.cfg"), "settings") &&
              WriteFileBytes(bed.Prog("quillon.exe.(0)"), "a leftover of an old update") &&
              PrepareRegistry() &&
              WriteSetupDat(later.path(), AutoStartScript("")) &&
              WriteSetupDat(later / "rollback", AutoStartScript("Rollback=1\n"));
    SetFileAttributesA(bed.Inst("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    return ok;
  }

  bool PrepareRegistry() {
    return RegWriteString(HKEY_CURRENT_USER, kRollbackKey, "Existing", "before") &&
           RegWriteString(HKEY_CURRENT_USER, kRollbackKey, "Old", "1") &&
           RegWriteDword(HKEY_CURRENT_USER, std::string(kRollbackKey) + "\\Gone", "Count", 7);
  }

  // The script; `middle` goes between the registry lines, `end` at the end.
  std::string Script(const std::string& middle = "", const std::string& end = "") const {
    const std::string k = kRollbackKey;
    return CrLf(
        "[Options]\nSkipWelcome=1\nRollback=1\n"
        "[Copy]\nlib.dll\nnew.txt\nsub\\deep.txt=newdir\\\nro.txt\nquillon.exe={exe}\n"
        "v1\\twice.txt\noutside.txt=" + outside.path() + "\\\n"
        "[Delete]\n{des}*.tmp\n"
        "[Move]\n{des}settings.cfg={des}settings.old\n"
        "[WriteIni]\n{des}Quillon.ini=Setup;Key;Value\n{des}fresh.ini=S;K;V\n"
        "[DelIni]\n{des}Quillon.ini=Main;Name\n"
        "[Copy]\nv2\\twice.txt\n"
        "[WriteReg]\nHKCU;" + k + "\\Sub\\Deeper;Name;Data\n" + middle +
        "[WriteReg]\nHKCU;" + k + ";Existing;after\n"
        "[DelReg]\nHKCU;" + k + ";Old;\nHKCU;" + k + "\\Gone;\n" + end);
  }

  // Files with attributes and bytes, keys and values; the journal's own
  // folder is no part of the installation.
  std::string State() const {
    std::string files = TreeSnapshot(bed.inst());
    std::string kept;
    for (size_t at = 0; at < files.size();) {
      size_t end = files.find('\n', at) + 1;
      if (files.compare(at, 14, "Setup-rollback") != 0) kept += files.substr(at, end - at);
      at = end;
    }
    return kept + TreeSnapshot(bed.prog()) + TreeSnapshot(outside.path()) +
           RegistrySnapshot(HKEY_CURRENT_USER, kRollbackKey);
  }
  std::string Folder() const { return bed.Inst("Setup-rollback"); }
  bool JournalLeft() const { return PathIsDir(Folder()); }
  std::string Journal() const { return FileText(Folder() + "\\journal.txt"); }

  // A run killed by the [Run] line in the middle of the registry lines: its
  // journal stays. False when it did not end so.
  bool Killed() {
    driver::RunResult killed = bed.Run(Script(KillerLine()), driver::Scenario());
    return killed.Clean() && killed.exitCode == 0xDEAD && JournalLeft();
  }

  // The next start, from another package (with Rollback=1 or without).
  driver::RunResult StartAgain(const driver::Scenario& scenario, bool rollback = false,
                               const std::string& extraArgs = "") {
    return RunSetup(rollback ? later / "rollback" : later.path(),
                    bed.LocationArgs() + (extraArgs.empty() ? "" : " " + extraArgs), scenario);
  }
  driver::RunResult StartAgain(int answer) {
    driver::Scenario sc = FinalAnswers();
    sc.Answer(Message(49), answer, 1);
    return StartAgain(sc);
  }
};

}  // namespace e2e
