// Rollback can never be turned against the user. A journal that this
// account's Setup did not write, or that changed since, is neither carried
// out nor removed (message 53; with rollback on, message 52 too and exit
// code 1); links are never followed; a file that another program holds
// leaves nothing to undo; a run whose result stood is never undone; a full
// volume costs no record and no backup; a directory in a file's way stays.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/crypto.h"
#include "e2e/rollback_bed.h"
#include "e2e/small_volume.h"
#include "journal/journal_records.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using driver::Session;
using e2e::Describe;
using e2e::FileText;
using e2e::Message;
using e2e::MessageWith;
using e2e::RollbackBed;

namespace {

const char kVictimKey[] = "Software\\SetupE2E\\Victims";

// Another program's files, a system directory and registry entries: what a
// forged journal aims at.
struct Victims {
  e2e::TempDir dir{"victims"};
  e2e::RegistryKeysGuard keys{{{HKEY_CURRENT_USER, kVictimKey}}};
  bool Make() {
    return e2e::WriteFileBytes(dir / "precious.txt", "another program's data") &&
           e2e::WriteFileBytes(dir / "settings.txt", "another user's settings") &&
           e2e::MakeDirs(dir / "system") &&
           e2e::RegWriteString(HKEY_CURRENT_USER, std::string(kVictimKey) + "\\Other", "Keep", "1");
  }
  std::string State() const {
    return e2e::TreeSnapshot(dir.path()) + e2e::RegistrySnapshot(HKEY_CURRENT_USER, kVictimKey);
  }
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Message 53 after the folder it names, up to its line break (the log
// writes line breaks as \n).
std::string MessagePart53Tail() {
  std::string tail = e2e::MessagePart(53, 1);
  return tail.substr(0, tail.find('\n'));
}

std::string Hex(const std::string& bytes) {
  std::string text(bytes.size() * 2, '0');
  HexText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &text[0]);
  return text;
}

// Size and time as the journal records what a copy leaves.
std::string FileState(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%lx.%lx.%lx.%lx", d.nFileSizeHigh, d.nFileSizeLow,
                d.ftLastWriteTime.dwHighDateTime, d.ftLastWriteTime.dwLowDateTime);
  return text;
}

std::string Sha256(const std::string& path) {
  unsigned char digest[kSha256Size];
  char text[kSha256TextSize] = "";
  if (Sha256OfFile(path.c_str(), digest, nullptr)) DigestText(digest, text);
  return text;
}

// The same records in the first format (no seals), as the attack on it
// was written by hand.
std::string Unsealed(const std::vector<std::vector<std::string>>& records) {
  std::string text;
  for (const auto& fields : records) {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) text += '\t';
      for (char c : fields[i]) text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    text += '\n';
  }
  return text;
}

// Records sealed as Setup seals them, under a key of the writer's choosing.
std::string Sealed(const std::vector<std::vector<std::string>>& records, unsigned char keyByte) {
  JournalChain chain;
  std::memset(chain.key, keyByte, sizeof chain.key);
  std::memset(chain.seal, 0, sizeof chain.seal);
  std::string text;
  for (const auto& fields : records) {
    const char* pointers[kRecordFields];
    for (size_t i = 0; i < fields.size(); ++i) pointers[i] = fields[i].c_str();
    char line[4096];
    unsigned char seal[kSha256Size];
    if (!SealRecord(chain, pointers, static_cast<int>(fields.size()), line, sizeof line, seal)) {
      return "";
    }
    std::memcpy(chain.seal, seal, sizeof seal);
    text += line;
  }
  return text;
}

// What an attacker leaves in the installation directory: a journal whose
// undo would delete another program's file, overwrite another user's file
// with the attacker's bytes, bring the attacker's library into a system
// directory, make a program start with every logon and delete another
// program's key.
bool PlantForgedJournal(RollbackBed& b, Victims& v, bool currentFormat) {
  const std::string folder = b.Folder() + "\\";
  const std::string backup = "000\\000001.bak";
  if (!e2e::WriteFileBytes(folder + backup, "the attacker's bytes") ||
      !e2e::WriteFileBytes(b.bed.Inst("evil.dll"), "the attacker's library")) {
    return false;
  }
  const std::string run = std::string(kVictimKey) + "\\Run";
  const std::string other = std::string(kVictimKey) + "\\Other";
  std::string text;
  if (currentFormat) {
    text = Sealed({{kJournalFormat, folder, "00112233445566778899aabbccddeeff"},
                   {"NEWFILE", v.dir / "precious.txt", FileState(v.dir / "precious.txt")},
                   {"KEPT", v.dir / "settings.txt", backup, Sha256(folder + backup)},
                   {"MOVED", v.dir / "system\\evil.dll", b.bed.Inst("evil.dll")},
                   {"REGVALUE", "HKCU", run, "Evil", "1", Hex(std::string("evil.exe", 9)), "-", "-"},
                   {"REGKEY", "HKCU", other}},
                  0x42);
  } else {
    text = Unsealed({{"SETUP-ROLLBACK 1", b.bed.inst()},
                     {"NEWFILE", v.dir / "precious.txt"},
                     {"KEPT", v.dir / "settings.txt", folder + backup},
                     {"MOVED", v.dir / "system\\evil.dll", b.bed.Inst("evil.dll")},
                     {"REGVALUE", "HKCU", run, "Evil", "1", Hex(std::string("evil.exe", 9))},
                     {"REGKEY", "HKCU", other}});
  }
  return !text.empty() && e2e::WriteFileBytes(folder + "journal.txt", text);
}

// The id of a journal: its header's third field.
std::string JournalId(const std::string& journal) {
  size_t first = journal.find('\t');
  size_t second = journal.find('\t', first + 1);
  size_t third = journal.find('\t', second + 1);
  if (third == std::string::npos) return "";
  return journal.substr(second + 1, third - second - 1);
}

bool ChangeJournal(RollbackBed& b, const std::function<void(std::string&)>& change) {
  std::string journal = b.Journal();
  if (journal == "<missing>") return false;
  change(journal);
  return e2e::WriteFileBytes(b.Folder() + "\\journal.txt", journal);
}

struct JournalCase {
  const char* name;
  // Leaves a journal in the prepared installation.
  std::function<bool(RollbackBed&, Victims&)> leave;
  bool genuine;  // offered (message 49) and undone; otherwise never acted on
};

const JournalCase kJournalCases[] = {
    {"hand-written records in the first format, without seals",
     [](RollbackBed& b, Victims& v) { return PlantForgedJournal(b, v, false); }, false},
    {"records sealed under a key of the writer's own",
     [](RollbackBed& b, Victims& v) { return PlantForgedJournal(b, v, true); }, false},
    {"a genuine journal with one byte of a record changed",
     [](RollbackBed& b, Victims&) {
       return b.Killed() && ChangeJournal(b, [](std::string& j) { j[j.find('\n') + 2] ^= 1; });
     },
     false},
    {"a genuine journal with a record put in before its last",
     [](RollbackBed& b, Victims& v) {
       std::string line = "NEWFILE\t" + v.dir.path() + "\\\\precious.txt\t" +
                          FileState(v.dir / "precious.txt") + "\t" + std::string(64, '0') + "\n";
       return b.Killed() &&
              ChangeJournal(b, [&line](std::string& j) { j.insert(j.find('\n') + 1, line); });
     },
     false},
    {"a genuine journal of another installation",
     [](RollbackBed& b, Victims&) {
       {
         RollbackBed other;
         if (!other.Prepare() || !other.Killed() || !e2e::CopyTree(other.Folder(), b.Folder())) {
           return false;
         }
       }
       return b.keys.Clear() && b.PrepareRegistry();  // the other bed shared the key
     },
     false},
    {"a genuine journal whose key this account does not hold (another account's)",
     [](RollbackBed& b, Victims&) {
       return b.Killed() && e2e::RegDeleteValueAt(HKEY_CURRENT_USER, e2e::kJournalSecrets,
                                                   JournalId(b.Journal()));
     },
     false},
    {"a genuine journal whose last record was cut short",
     [](RollbackBed& b, Victims&) {
       return b.Killed() && ChangeJournal(b, [](std::string& j) { j += "REGVALUE\tHKCU\tSoftw"; });
     },
     true},
    {"a genuine journal with a last record that has no valid seal",
     [](RollbackBed& b, Victims& v) {
       std::string line = "NEWFILE\t" + v.dir.path() + "\\\\precious.txt\t" +
                          FileState(v.dir / "precious.txt") + "\t" + std::string(64, '0') + "\n";
       return b.Killed() && ChangeJournal(b, [&line](std::string& j) { j += line; });
     },
     true},
};

TEST(JournalTrust, OnlyAGenuineUnchangedJournalOfThisAccountIsCarriedOut) {
  for (const JournalCase& c : kJournalCases) {
    SCOPED_TRACE(c.name);
    RollbackBed b;
    Victims v;
    ASSERT_TRUE(b.Prepare() && v.Make());
    const std::string before = b.State();
    const std::string victims = v.State();
    ASSERT_TRUE(c.leave(b, v));
    const std::string left = b.State();
    const std::string journal = e2e::TreeSnapshot(b.Folder());
    const std::string folder = b.Folder() + "\\";

    // A rehearsal says which box a real run would show, and changes nothing.
    e2e::TempDir logs("logs");
    RunResult plan = b.StartAgain(Scenario(), false, "/plan /silent /log \"" + (logs / "plan.log") + "\"");
    ASSERT_TRUE(plan.Clean()) << Describe(plan);
    EXPECT_TRUE(Has(e2e::LogLines(logs / "plan.log", "PLAN JOURNAL"),
                    c.genuine ? "(message 49)" : "message 53"))
        << e2e::LogLines(logs / "plan.log", "");

    if (c.genuine) {
      RunResult r = b.StartAgain(IDYES);
      ASSERT_TRUE(r.Clean()) << Describe(r);
      EXPECT_EQ(0u, r.exitCode) << Describe(r);
      EXPECT_EQ(1u, r.CountBoxes(Message(49))) << Describe(r);
      EXPECT_EQ(before, b.State());
      EXPECT_FALSE(b.JournalLeft());
      EXPECT_EQ(victims, v.State());
      continue;
    }
    // Without rollback, unattended: message 53 answered OK, the run goes on.
    RunResult r = b.StartAgain(Scenario(), false, "/noboxes /log \"" + (logs / "run.log") + "\"");
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(0u, r.exitCode) << Describe(r);
    const std::string log = e2e::LogLines(logs / "run.log", "");
    EXPECT_TRUE(Has(log, "JOURNAL \"" + driver::ToUtf8(folder) + "\" not verified: ")) << log;
    EXPECT_TRUE(Has(log, driver::ToUtf8(folder + MessagePart53Tail()))) << log;
    EXPECT_TRUE(Has(log, "buttons OK: OK (answered automatically)")) << log;
    EXPECT_FALSE(Has(log, "Yes/No")) << log;  // message 49 was never asked
    // With rollback on, by a person: messages 53 and 52, nothing changed.
    Scenario withRollback;
    withRollback.Answer(e2e::MessagePart(53, 0), IDOK, 1);
    withRollback.Answer(e2e::MessagePart(52, 0), IDOK, 1);
    RunResult refused = b.StartAgain(withRollback, true);
    ASSERT_TRUE(refused.Clean()) << Describe(refused);
    EXPECT_EQ(1u, refused.exitCode) << Describe(refused);
    const BoxRecord* box = refused.FindBox(e2e::MessagePart(53, 0));
    ASSERT_NE(nullptr, box) << Describe(refused);
    EXPECT_EQ(MessageWith(53, folder), box->text);
    box = refused.FindBox(e2e::MessagePart(52, 0));
    ASSERT_NE(nullptr, box) << Describe(refused);
    EXPECT_EQ(MessageWith(52, folder, Message(58)), box->text);
    EXPECT_EQ(left, b.State());
    EXPECT_EQ(journal, e2e::TreeSnapshot(b.Folder()));
    EXPECT_EQ(victims, v.State());
  }
}

// ---- links ----

struct LinkCase {
  const char* name;
  // Makes the link, with `elsewhere` another directory that holds a file.
  std::function<bool(RollbackBed&, const std::string& elsewhere)> make;
  std::function<void(RollbackBed&, const std::string& before, const std::string& elsewhere)> check;
};

const LinkCase kLinkCases[] = {
    {"the journal's folder is a link, rollback on",
     [](RollbackBed& b, const std::string& e) { return e2e::MakeSymbolicLink(e, b.Folder()); },
     [](RollbackBed& b, const std::string& before, const std::string&) {
       Scenario sc;
       sc.Answer(e2e::MessagePart(52, 0), IDOK, 1);
       RunResult r = b.bed.Run(b.Script(), sc);
       ASSERT_TRUE(r.Clean()) << Describe(r);
       EXPECT_EQ(1u, r.exitCode) << Describe(r);
       const BoxRecord* box = r.FindBox(e2e::MessagePart(52, 0));
       ASSERT_NE(nullptr, box) << Describe(r);
       EXPECT_EQ(MessageWith(52, b.Folder() + "\\", Message(64)), box->text);
       EXPECT_EQ(before, b.State());
     }},
    {"the journal's folder is a link, rollback off",
     [](RollbackBed& b, const std::string& e) { return e2e::MakeSymbolicLink(e, b.Folder()); },
     [](RollbackBed& b, const std::string& before, const std::string&) {
       RunResult r = b.StartAgain(e2e::FinalAnswers());
       ASSERT_TRUE(r.Clean()) << Describe(r);
       EXPECT_EQ(0u, r.exitCode) << Describe(r);
       EXPECT_EQ(before, b.State());
     }},
    {"a link inside the journal's folder, the journal undone",
     [](RollbackBed& b, const std::string& e) {
       return b.Killed() && e2e::MakeSymbolicLink(e, b.Folder() + "\\linked");
     },
     [](RollbackBed& b, const std::string& before, const std::string&) {
       RunResult r = b.StartAgain(IDYES);
       ASSERT_TRUE(r.Clean()) << Describe(r);
       EXPECT_EQ(0u, r.exitCode) << Describe(r);
       EXPECT_EQ(before, b.State());
     }},
    {"a link inside the journal's folder, the journal kept with No",
     [](RollbackBed& b, const std::string& e) {
       return b.Killed() && e2e::MakeSymbolicLink(e, b.Folder() + "\\000\\linked");
     },
     [](RollbackBed& b, const std::string& before, const std::string&) {
       RunResult r = b.StartAgain(IDNO);
       ASSERT_TRUE(r.Clean()) << Describe(r);
       EXPECT_EQ(0u, r.exitCode) << Describe(r);
       EXPECT_NE(before, b.State());
     }},
    {"a folder of backups that is a link",
     [](RollbackBed& b, const std::string& e) {
       // The real backups, moved elsewhere: their bytes are right, the way
       // to them is not.
       return b.Killed() && MoveFileA((b.Folder() + "\\000").c_str(), (e + "\\000").c_str()) &&
              e2e::MakeSymbolicLink(e + "\\000", b.Folder() + "\\000");
     },
     [](RollbackBed& b, const std::string&, const std::string&) {
       Scenario sc = e2e::FinalAnswers();
       sc.Answer(Message(49), IDYES, 1);
       sc.Answer(e2e::MessagePart(48, 0), IDOK, 1);
       RunResult r = b.StartAgain(sc);
       ASSERT_TRUE(r.Clean()) << Describe(r);
       EXPECT_EQ(3u, r.exitCode) << Describe(r);
       const BoxRecord* box = r.FindBox(e2e::MessagePart(48, 0));
       ASSERT_NE(nullptr, box) << Describe(r);
       EXPECT_TRUE(Has(box->text, b.bed.Inst("lib.dll"))) << Describe(r);
       EXPECT_EQ("new library", FileText(b.bed.Inst("lib.dll")));
     }},
    {"a leftover temporary copy that is a second name of another file, rollback on",
     [](RollbackBed& b, const std::string& e) {
       return CreateHardLinkA(b.bed.Inst("lib.dll.~tmp").c_str(), (e + "\\data.txt").c_str(), nullptr) != 0;
     },
     [](RollbackBed& b, const std::string&, const std::string&) {
       RunResult r = b.bed.Run(b.Script(), e2e::FinalAnswers());
       ASSERT_TRUE(r.Clean()) << Describe(r);
       EXPECT_EQ(0u, r.exitCode) << Describe(r);
       EXPECT_EQ("new library", FileText(b.bed.Inst("lib.dll")));
       EXPECT_FALSE(e2e::PathIsFile(b.bed.Inst("lib.dll.~tmp")));
     }},
    {"a leftover temporary copy that is a second name of another file, rollback off",
     [](RollbackBed& b, const std::string& e) {
       return CreateHardLinkA(b.bed.Inst("lib.dll.~tmp").c_str(), (e + "\\data.txt").c_str(), nullptr) != 0;
     },
     [](RollbackBed& b, const std::string&, const std::string&) {
       RunResult r = b.bed.Run(e2e::AutoStartScript("[Copy]\nlib.dll\n"), e2e::FinalAnswers());
       ASSERT_TRUE(r.Clean()) << Describe(r);
       EXPECT_EQ(0u, r.exitCode) << Describe(r);
       EXPECT_EQ("new library", FileText(b.bed.Inst("lib.dll")));
     }},
};

TEST(JournalTrust, LinksAreNeverFollowed) {
  for (const LinkCase& c : kLinkCases) {
    SCOPED_TRACE(c.name);
    RollbackBed b;
    e2e::TempDir elsewhere("elsewhere");
    ASSERT_TRUE(b.Prepare() && e2e::WriteFileBytes(elsewhere / "data.txt", "another user's file"));
    const std::string before = b.State();
    ASSERT_TRUE(c.make(b, elsewhere.path()));
    const std::string other = e2e::TreeSnapshot(elsewhere.path());

    c.check(b, before, elsewhere.path());

    EXPECT_EQ(other, e2e::TreeSnapshot(elsewhere.path())) << "the linked directory changed";
  }
}

// ---- a held file ----

// Another program that reads the file: others may read it too, but neither
// write, rename nor delete it (a second name can still be made).
struct HeldOpen {
  explicit HeldOpen(const std::string& path)
      : handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr)) {}
  ~HeldOpen() { Release(); }
  void Release() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  HANDLE handle;
};

TEST(JournalTrust, AReplaceThatDidNotHappenLeavesNothingToUndo) {
  for (int answer : {IDABORT, IDIGNORE}) {
    SCOPED_TRACE(answer == IDABORT ? "Abort" : "Ignore");
    RollbackBed b;
    ASSERT_TRUE(b.Prepare());
    const std::string before = b.State();
    HeldOpen held(b.bed.Inst("lib.dll"));
    ASSERT_NE(INVALID_HANDLE_VALUE, held.handle);
    Scenario sc = e2e::FinalAnswers();
    sc.Answer(e2e::MessagePart(32, 0), answer, 1);
    sc.Answer(Message(47), IDOK, 1);

    RunResult r = b.bed.Run(b.Script(), sc);

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(answer == IDABORT ? 4u : 3u, r.exitCode) << Describe(r);
    EXPECT_FALSE(b.JournalLeft()) << "while the file is still held";
    held.Release();
    if (answer == IDABORT) {
      EXPECT_EQ(before, b.State());
      continue;
    }
    // The user goes on working; the next start leaves the work alone.
    ASSERT_TRUE(e2e::WriteFileBytes(b.bed.Inst("lib.dll"), "the user's later work"));
    RunResult next = b.StartAgain(e2e::FinalAnswers());
    ASSERT_TRUE(next.Clean()) << Describe(next);
    EXPECT_EQ(0u, next.exitCode) << Describe(next);
    EXPECT_EQ("the user's later work", FileText(b.bed.Inst("lib.dll")));
  }
}

// ---- a run whose result stood ----

TEST(JournalTrust, ARunKilledAfterItsResultStoodIsNeverUndone) {
  RollbackBed b;
  ASSERT_TRUE(b.Prepare());
  Scenario sc;
  // Killed at its final message: the result stands, the journal is still there.
  sc.AnswerThen(Message(5), IDOK,
                [](Session& s, const BoxRecord&) { TerminateProcess(s.Process(), 0xDEAD); }, 1);
  b.bed.Run(b.Script(), sc);
  ASSERT_TRUE(b.JournalLeft());
  const std::string after = b.State();

  RunResult next = b.StartAgain(e2e::FinalAnswers());

  ASSERT_TRUE(next.Clean()) << Describe(next);
  EXPECT_EQ(0u, next.exitCode) << Describe(next);
  EXPECT_EQ(0u, next.CountBoxes(Message(49))) << Describe(next);
  EXPECT_EQ(after, b.State());
  EXPECT_FALSE(b.JournalLeft());
}

// ---- a directory in a file's way ----

TEST(JournalTrust, ADirectoryInAFilesWayStaysAsItDoesWithoutRollback) {
  std::string failures[2];
  for (bool rollback : {false, true}) {
    SCOPED_TRACE(rollback ? "rollback on" : "rollback off");
    e2e::ScriptBed bed;
    ASSERT_TRUE(e2e::WriteFileBytes(bed.Inst("templates\\letter.qtp"), "the user's template") &&
                e2e::WriteFileBytes(bed.Pkg("templates"), "a file named templates"));
    Scenario sc = e2e::FinalAnswers();
    sc.Answer(e2e::MessagePart(32, 0), IDIGNORE, 1);

    RunResult r = bed.Run(e2e::AutoStartScript(std::string(rollback ? "Rollback=1\n" : "") +
                                               "[Copy]\ntemplates\n"),
                          sc);

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(3u, r.exitCode) << Describe(r);
    const BoxRecord* box = r.FindBox(e2e::MessagePart(32, 0));
    ASSERT_NE(nullptr, box) << Describe(r);
    failures[rollback] = box->text.substr(box->text.find(e2e::MessagePart(32, 2)));
    EXPECT_EQ("the user's template", FileText(bed.Inst("templates\\letter.qtp")));
    EXPECT_FALSE(e2e::PathIsDir(bed.Inst("Setup-rollback")));
  }
  EXPECT_EQ(failures[0], failures[1]) << "the same failure, with and without rollback";
}

// ---- full volumes ----

// Fills the volume until `keep` bytes are left (0: to the last byte).
bool Fill(const std::string& file, unsigned long long keep) {
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string block(4096, 'f');
  for (;;) {
    ULARGE_INTEGER freeBytes;
    DWORD written = 0;
    if (!GetDiskFreeSpaceExA(file.substr(0, file.rfind('\\')).c_str(), &freeBytes, nullptr, nullptr) ||
        freeBytes.QuadPart <= keep ||
        !WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) ||
        written < block.size()) {
      break;
    }
  }
  CloseHandle(h);
  return true;
}

// An installation on the small volume, removed with everything on it.
struct VolumeBed {
  std::string volume, inst, filler;
  e2e::TempDir pkg{"pkg"};
  e2e::TempDir later{"later"};
  explicit VolumeBed(const std::string& root)
      : volume(root), inst(e2e::JoinPath(root, "inst")), filler(e2e::JoinPath(root, "filler.bin")) {
    e2e::DeleteTree(inst);
    e2e::DeleteTree(filler);
  }
  ~VolumeBed() {
    e2e::DeleteTree(inst);
    e2e::DeleteTree(filler);
  }
  std::string Args() const { return e2e::LocationArgs(inst, e2e::JoinPath(inst, "Quillon.ini")); }
};

TEST(JournalTrust, AFullVolumeCostsNoRecordAndNoBackup) {
  std::string why;
  const std::string volume = e2e::SmallVolume(&why);
  if (volume.empty()) GTEST_SKIP() << why;

  {
    SCOPED_TRACE("the journal grows past the room that is left: Retry, then Abort");
    VolumeBed v(volume);
    ASSERT_TRUE(e2e::MakeInstallation(v.inst));
    std::string names;
    for (int i = 0; i < 200; ++i) {
      char name[80];
      std::snprintf(name, sizeof name, "empty-file-%03d-with-a-name-long-enough-to-fill-records.txt", i);
      ASSERT_TRUE(e2e::WriteFileBytes(v.pkg / name, ""));
    }
    ASSERT_TRUE(e2e::WriteFileBytes(v.pkg / "locked.txt", "cannot be read") &&
                e2e::WriteSetupDat(v.pkg.path(), e2e::AutoStartScript(
                                                     "Rollback=1\n[Copy]\nempty-file-*.txt\nlocked.txt\n")));
    ASSERT_TRUE(Fill(v.filler, 3 * 4096));
    const std::string before = e2e::TreeSnapshot(v.inst);
    e2e::FileLock locked(v.pkg / "locked.txt");
    const std::string filler = v.filler;
    Scenario sc;
    // The record that did not fit is gone: the run goes on once there is room.
    sc.AnswerThen(e2e::Ansi("Disk je plný"), IDRETRY,
                  [filler](Session&, const BoxRecord&) { e2e::DeleteTree(filler); }, 1);
    sc.Answer(e2e::MessagePart(32, 0), IDABORT, 1);
    sc.Answer(Message(47), IDOK, 1);

    RunResult r = e2e::RunSetup(v.pkg.path(), v.Args(), sc);

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(4u, r.exitCode) << Describe(r);
    EXPECT_EQ(2u, r.CountBoxes(e2e::MessagePart(32, 0))) << Describe(r);
    EXPECT_EQ(before, e2e::TreeSnapshot(v.inst));
  }
  {
    SCOPED_TRACE("an undo that cannot rewrite the journal keeps every record and backup");
    VolumeBed v(volume);
    ASSERT_TRUE(e2e::MakeInstallation(v.inst) &&
                e2e::WriteFileBytes(e2e::JoinPath(v.inst, "a.txt"), std::string(3000, 'a')) &&
                e2e::WriteFileBytes(e2e::JoinPath(v.inst, "b.txt"), std::string(3000, 'b')) &&
                e2e::WriteFileBytes(v.pkg / "a.txt", "") && e2e::WriteFileBytes(v.pkg / "b.txt", "") &&
                e2e::WriteSetupDat(v.later.path(), e2e::AutoStartScript("")));
    // The new files are empty: undoing them frees no room on the volume.
    ASSERT_TRUE(e2e::WriteSetupDat(
        v.pkg.path(), e2e::AutoStartScript("Rollback=1\n[Copy]\na.txt\nb.txt\n" + e2e::KillerLine())));
    const std::string before = e2e::TreeSnapshot(v.inst);
    RunResult killed = e2e::RunSetup(v.pkg.path(), v.Args(), Scenario());
    ASSERT_EQ(0xDEADu, killed.exitCode) << Describe(killed);
    const std::string journal = e2e::JoinPath(v.inst, "Setup-rollback\\journal.txt");
    const std::string records = FileText(journal);
    ASSERT_TRUE(Fill(v.filler, 0));
    e2e::FileLock held(e2e::JoinPath(v.inst, "b.txt"));
    Scenario sc = e2e::FinalAnswers();
    sc.Answer(Message(49), IDYES, 1);
    sc.Answer(e2e::MessagePart(48, 0), IDOK, 1);

    RunResult r = e2e::RunSetup(v.later.path(), v.Args(), sc);

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(3u, r.exitCode) << Describe(r);
    EXPECT_EQ(records, FileText(journal)) << "the journal was rewritten on a full volume";
    held.Release();
    e2e::DeleteTree(v.filler);
    RunResult next = e2e::RunSetup(v.later.path(), v.Args(), sc);
    ASSERT_TRUE(next.Clean()) << Describe(next);
    EXPECT_EQ(0u, next.exitCode) << Describe(next);
    EXPECT_EQ(before, e2e::TreeSnapshot(v.inst));
  }
}

}  // namespace
