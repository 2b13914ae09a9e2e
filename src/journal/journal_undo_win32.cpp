// Undoing a journal, newest record first. Each step looks at what stands
// there now: a change that never happened is left alone, and so is whatever
// differs from what the run left (someone changed it since), so the undo
// never destroys a change the run did not make. A backup is used only from
// the journal's own folder, never through a link, and only while it holds
// what was recorded when it was taken.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "actions/file_actions.h"
#include "actions/registry.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "journal/journal_run.h"
#include "journal/journal_store.h"
#include "log/run_log.h"

namespace {

enum UndoResult {
  kUndone,
  kNothingToUndo,  // the change never happened
  kLeftAlone,      // not as the run left it: someone changed it since
  kNotUndone       // could not be undone: the record stays
};

struct Record {
  char* copy;  // the split fields live here
  char* field[kRecordFields];
  int fields;
};

// Some file systems keep a file's time to two seconds.
const ULONGLONG kTimeSlack = 2 * 10000000ULL;

// The path of a backup the record names: only this program's own names
// inside the journal's folder ("NNN\NNNNNN.bak"), and only while neither
// the folder nor its folder of backups is a link.
bool BackupPath(const char* folder, const char* name, char* path) {
  if (std::strlen(name) != 14 || name[3] != '\\' || std::strcmp(name + 10, ".bak") != 0) {
    return false;
  }
  for (int i = 0; i < 10; ++i) {
    if (i != 3 && (name[i] < '0' || name[i] > '9')) return false;
  }
  char subfolder[MAX_PATH + 16];
  return FormatText(subfolder, sizeof subfolder, "%s%.3s", folder, name) &&
         !IsLinkPath(folder) && !IsLinkPath(subfolder) &&
         FormatText(path, MAX_PATH + 16, "%s%s", folder, name);
}

// A backup is used only while it is no link, has no other name, and holds
// what was recorded.
bool BackupIntact(const char* path, const char* hash) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  char text[kSha256TextSize];
  bool intact = GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
                !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
                HashOfOpenFile(file, text) && std::strcmp(text, hash) == 0;
  CloseHandle(file);
  return intact;
}

enum Standing { kMissing, kAsLeft, kOther };

// What stands at path against the size and time ("%lx.%lx.%lx.%lx") that a
// copy left there.
Standing StateAt(const char* path, const char* state) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
    DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? kMissing : kOther;
  }
  unsigned long parts[4];
  const char* at = state;
  for (unsigned long& part : parts) {
    char* end = nullptr;
    part = std::strtoul(at, &end, 16);
    if (end == at || (*end != '.' && *end != '\0')) return kOther;
    at = *end ? end + 1 : end;
  }
  ULONGLONG recorded = (static_cast<ULONGLONG>(parts[2]) << 32) | parts[3];
  ULONGLONG now = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                  data.ftLastWriteTime.dwLowDateTime;
  bool sameTime = (now > recorded ? now - recorded : recorded - now) <= kTimeSlack;
  bool same = !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeHigh == parts[0] &&
              data.nFileSizeLow == parts[1] && sameTime;
  return same ? kAsLeft : kOther;
}

// Puts a kept file back in its place. A read-only file in the way is made
// writable only when it refuses: it may be the kept file itself under its
// other name.
bool Restore(const char* backup, const char* path) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
  if (MoveFileExA(backup, path, flags)) return true;
  if (GetLastError() != ERROR_ACCESS_DENIED || !PathExists(path)) return false;
  ClearReadOnly(path);
  return MoveFileExA(backup, path, flags) != 0;
}

// A value's record (type text, hex data) against what the registry holds;
// "-" is an absent value. Texts match without their terminating NULs.
bool ValueIs(const unsigned char* data, unsigned long type, unsigned long size,
             const char* typeText, const char* hex) {
  if (std::strcmp(typeText, "-") == 0) return data == nullptr;
  if (!data || type != std::strtoul(typeText, nullptr, 10)) return false;
  bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  while (text && size > 0 && data[size - 1] == 0) --size;
  size_t hexLength = std::strlen(hex);
  while (text && hexLength >= 2 && hex[hexLength - 1] == '0' && hex[hexLength - 2] == '0') {
    hexLength -= 2;
  }
  if (hexLength != 2 * static_cast<size_t>(size)) return false;
  char pair[3] = {0, 0, 0};
  for (unsigned long i = 0; i < size; ++i) {
    unsigned char byte = 0;
    pair[0] = hex[2 * i];
    pair[1] = hex[2 * i + 1];
    if (!ParseHex(pair, &byte, 1) || byte != data[i]) return false;
  }
  return true;
}

// Sets a registry value back from its record's type and hex data, or
// removes it when the record says it was absent.
bool RestoreValue(RegistryRoot root, const char* subkey, const char* name, const char* type,
                  const char* hex) {
  if (std::strcmp(type, "-") == 0) return RegistryRemoveValue(root, subkey, name);
  size_t size = std::strlen(hex) / 2;
  unsigned char* data = static_cast<unsigned char*>(std::malloc(size + 1));
  bool set = data && ParseHex(hex, data, size) &&
             RegistrySetValue(root, subkey, name, std::strtoul(type, nullptr, 10), data,
                              static_cast<unsigned long>(size));
  std::free(data);
  return set;
}

// A key made by the run holds nothing but the empty default value it was
// made with.
bool KeyAsMade(RegistryRoot root, const char* subkey) {
  char name[256];
  if (!RegistryKeyIsEmpty(root, subkey)) return false;
  if (!RegistryFirstValueName(root, subkey, name, sizeof name)) return true;
  unsigned long type = 0;
  unsigned long size = 0;
  unsigned char* data = RegistryReadValue(root, subkey, "", &type, &size);
  bool empty = name[0] == '\0' && data && (size == 0 || data[0] == 0);
  std::free(data);
  return empty;
}

UndoResult LeftAlone(const char* what) {
  LogEvent("UNDO", "\"%s\": not as the run left it: left as it is", what);
  return kLeftAlone;
}

UndoResult Done(bool done, const char* what, const char* how) {
  if (!done) return kNotUndone;
  LogEvent("UNDO", "\"%s\": %s", what, how);
  return kUndone;
}

UndoResult Refuse(DWORD code) {
  SetLastError(code);
  return kNotUndone;
}

// The kinds of record, with their number of fields (the kind included)
// and the field that names a backup (0: none).
enum Kind { kNewFile, kNewDir, kReplace, kRenamed, kMoved, kKept, kAttributes, kRun, kIniAfter,
            kIniFile, kRegKey, kRegKeyGone, kRegValue, kInPlace, kUnknown };
const struct {
  char name[11];
  signed char fields;
  signed char backup;
} kKinds[kUnknown] = {{"NEWFILE", 3, 0},    {"NEWDIR", 2, 0},     {"REPLACE", 6, 3},
                      {"RENAMED", 3, 0},    {"MOVED", 3, 0},      {"KEPT", 4, 2},
                      {"ATTRIBUTES", 3, 0}, {"RUN", 3, 0},        {"INIAFTER", 3, 0},
                      {"INIFILE", 4, 2},    {"REGKEY", 3, 0},     {"REGKEYGONE", 6, 0},
                      {"REGVALUE", 8, 0},   {"INPLACE", 2, 0}};

Kind KindOf(const Record& r) {
  for (int k = 0; k < kUnknown; ++k) {
    if (std::strcmp(r.field[0], kKinds[k].name) == 0 && r.fields == kKinds[k].fields) {
      return static_cast<Kind>(k);
    }
  }
  return kUnknown;
}

// The newest INIAFTER record of file after record `from`: what the run
// left in it. Null when the run never recorded a write to it.
const char* IniLeft(const Record* records, int from, int count, const char* file) {
  for (int i = count - 1; i > from; --i) {
    if (KindOf(records[i]) == kIniAfter && lstrcmpiA(records[i].field[1], file) == 0) {
      return records[i].field[2];
    }
  }
  return nullptr;
}

// Undoes record i of the journal.
UndoResult UndoRecord(const Record* records, int i, int count, const char* folder) {
  const Record& r = records[i];
  const Kind kind = KindOf(r);
  if (kind == kUnknown) return Refuse(ERROR_INVALID_DATA);  // a record this program does not know
  const char* a = r.field[1];
  const char* b = r.field[2];
  const char* c = kKinds[kind].fields > 3 ? r.field[3] : "";
  // A backup named anywhere but in this folder's own form is never used.
  char backup[MAX_PATH + 16] = "";
  const char* backupName = kKinds[kind].backup ? r.field[static_cast<int>(kKinds[kind].backup)] : "-";
  if (std::strcmp(backupName, "-") != 0 && !BackupPath(folder, backupName, backup)) {
    return Refuse(ERROR_INVALID_DATA);
  }
  const bool kept = backup[0] && PathExists(backup);
  RegistryRoot root = RegistryRootFromName(a);
  char now[kSha256TextSize] = "-";
  switch (kind) {
    case kNewFile: {
      Standing standing = StateAt(a, b);
      if (standing == kMissing) return kNothingToUndo;
      if (standing == kOther) return LeftAlone(a);
      ClearReadOnly(a);
      return Done(DeleteFileA(a) != 0, a, "the new file removed");
    }
    case kNewDir:
      if (!PathExists(a)) return kNothingToUndo;
      return Done(RemoveDirectoryA(a) != 0, a, "the new directory removed");
    case kReplace: {
      if (b[0] && PathExists(b)) {  // a copy that never took the target's place
        ClearReadOnly(b);
        DeleteFileA(b);
      }
      Standing standing = StateAt(a, r.field[5]);
      // A copy over the target itself that the end of the run cut short
      // (the journal's last record): a fragment of the run's own stands.
      const Record& last = records[count - 1];
      if (KindOf(last) == kInPlace && lstrcmpiA(last.field[1], a) == 0) standing = kAsLeft;
      // A new file just like the old one in size and time: the old bytes
      // still there mean the replace never happened.
      if (standing == kAsLeft && HashOfFile(a, now) && std::strcmp(now, r.field[4]) == 0) {
        standing = kOther;
      }
      if (standing == kOther || (standing == kMissing && !kept)) {
        return kept ? LeftAlone(a) : kNothingToUndo;
      }
      // What the run left, and its backup is gone: never taken as no change.
      if (!kept) return Refuse(ERROR_FILE_NOT_FOUND);
      if (!BackupIntact(backup, r.field[4])) return Refuse(ERROR_FILE_CORRUPT);
      return Done(Restore(backup, a), a, "the replaced file put back");
    }
    case kRenamed:
    case kMoved:
      if (!PathExists(b) || PathExists(a)) return kNothingToUndo;  // not moved, or taken again
      return Done(MoveFileA(b, a) != 0, a, "moved back");
    case kKept:
      if (PathExists(a)) return kept ? LeftAlone(a) : kNothingToUndo;
      if (!kept) return Refuse(ERROR_FILE_NOT_FOUND);
      if (!BackupIntact(backup, c)) return Refuse(ERROR_FILE_CORRUPT);
      return Done(MoveFileExA(backup, a, MOVEFILE_COPY_ALLOWED) != 0, a, "the removed file put back");
    case kAttributes:
      if (!PathExists(a)) return kNothingToUndo;
      return Done(SetFileAttributesA(a, std::strtoul(b, nullptr, 16)) != 0, a, "attributes as they were");
    case kRun:
      return Done(true, a, "the program ran: not undone");
    case kIniAfter:
    case kInPlace:
      return kNothingToUndo;
    case kIniFile: {
      if (PathExists(a) && !HashOfFile(a, now)) CopyText(now, sizeof now, "?");
      if (std::strcmp(now, c) == 0) return kNothingToUndo;
      const char* left = IniLeft(records, i, count, a);
      if (!left || std::strcmp(now, left) != 0) return LeftAlone(a);
      ClearReadOnly(a);
      if (!backup[0]) return Done(DeleteFileA(a) != 0, a, "the new INI file removed");
      if (!BackupIntact(backup, c)) return Refuse(ERROR_FILE_CORRUPT);
      return Done(CopyFileA(backup, a, FALSE) != 0, a, "the INI file put back");
    }
    case kRegKey:
      if (!RegistryKeyExists(root, b)) return kNothingToUndo;
      if (!KeyAsMade(root, b)) return LeftAlone(b);
      return Done(RegistryRemoveKey(root, b), b, "the new key removed");
    case kRegKeyGone:
      if (RegistryKeyExists(root, b)) return kNothingToUndo;
      return Done(RegistryMakeKey(root, b) && (std::strcmp(r.field[4], "-") == 0 ||
                                               RestoreValue(root, b, c, r.field[4], r.field[5])),
                  b, "the deleted key made again");
    default: {  // kRegValue
      unsigned long type = 0;
      unsigned long size = 0;
      unsigned char* data = RegistryReadValue(root, b, c, &type, &size);
      bool asLeft = ValueIs(data, type, size, r.field[6], r.field[7]);
      bool asBefore = ValueIs(data, type, size, r.field[4], r.field[5]);
      std::free(data);
      if (!asLeft) return asBefore ? kNothingToUndo : LeftAlone(b);
      return Done(RestoreValue(root, b, c, r.field[4], r.field[5]), b, "a value as it was");
    }
  }
}

// What a record that stays names to the user.
void DescribeRemaining(const Record& r, DWORD code, char* remaining, size_t size) {
  const char* what = r.fields > 1 ? r.field[1] : r.field[0];
  char line[kLongPathSize + 64];
  char codeText[16];
  FormatSystemError(code);
  if (std::strncmp(r.field[0], "REG", 3) == 0 && r.fields > 2) {
    FormatText(line, sizeof line, "%s\\%s", r.field[1], r.field[2]);
  } else {
    CopyText(line, sizeof line, what);
  }
  LogEvent("UNDO", "\"%s\": could not be undone: %s", line, SystemErrorOrCode(codeText, sizeof codeText));
  if (remaining[0]) AppendText(remaining, size, "\n");
  if (!AppendText(remaining, size, line)) {
    // The message shows what fits; the journal keeps everything.
    size_t length = std::strlen(remaining);
    if (length > 4) CopyText(remaining + length - 4, 5, "\n...");
  }
}

// The backup a record names, if any.
const char* BackupOf(const Record& r) {
  Kind kind = KindOf(r);
  return kind != kUnknown && kKinds[kind].backup ? r.field[static_cast<int>(kKinds[kind].backup)] : nullptr;
}

// Replaces the journal by one that holds the header and the kept records
// only: written whole and handed to the disk before it takes the old one's
// place. Then the backups of the other records go. False (the old journal
// and every backup stay) when anything fails.
bool RewriteJournal(LoadedJournal* journal, const Record* records, const bool* kept) {
  char path[MAX_PATH + 16];
  char fresh[MAX_PATH + 16];
  FormatText(path, sizeof path, "%s%s", journal->folder, kJournalFileName);
  FormatText(fresh, sizeof fresh, "%s.new", path);
  DeleteFileA(fresh);  // a leftover, by its name
  HANDLE file = CreateFileA(fresh, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  JournalChain chain;
  std::memcpy(chain.key, journal->chain.key, sizeof chain.key);
  std::memset(chain.seal, 0, sizeof chain.seal);
  DWORD length = 0;
  bool written = true;
  for (int i = 0; written && i < journal->check.count; ++i) {
    if (i == 0 || kept[i]) {
      written = records[i].fields <= kRecordFields &&
                WriteSealedLine(file, records[i].field, records[i].fields, &chain, &length);
    }
  }
  written = written && FlushFileBuffers(file);
  CloseHandle(file);
  if (!written || !MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(fresh);
    return false;
  }
  for (int i = 1; i < journal->check.count; ++i) {
    const char* name = kept[i] ? nullptr : BackupOf(records[i]);
    char backup[MAX_PATH + 16];
    if (name && BackupPath(journal->folder, name, backup)) DeleteFileA(backup);
  }
  return true;
}

}  // namespace

bool JournalUndo(const char* directory, char* remaining, size_t size) {
  remaining[0] = '\0';
  JournalClose();  // this run's own journal, if it is the one undone
  LoadedJournal journal;
  const char* reason = nullptr;
  JournalLoad load = LoadJournal(directory, &journal, &reason);
  if (load != kLoadVerified) {
    if (load == kLoadNone) return true;
    LogEvent("UNDO", "\"%s\" is not undone: %s", journal.folder, reason ? reason : "it is a link");
    CopyText(remaining, size, journal.folder);
    return false;
  }
  if (journal.finished) {
    FinishJournalRemoval(&journal);
    FreeJournal(&journal);
    return true;
  }
  LogEvent("UNDO", "undoing the changes recorded in \"%s\"", journal.folder);
  const int count = journal.check.count;
  Record* records = static_cast<Record*>(std::calloc(count, sizeof(Record)));
  bool* kept = static_cast<bool*>(std::calloc(count, sizeof(bool)));
  bool complete = records && kept;
  for (int i = 0; complete && i < count; ++i) {
    records[i].copy = DuplicateText(journal.check.records[i]);
    complete = records[i].copy != nullptr;
    if (complete) records[i].fields = SplitRecord(records[i].copy, records[i].field, kRecordFields);
  }
  if (!complete) {
    CopyText(remaining, size, journal.folder);
  } else {
    for (int i = count - 1; i >= 1; --i) {
      if (UndoRecord(records, i, count, journal.folder) == kNotUndone) {
        kept[i] = true;
        complete = false;
        DescribeRemaining(records[i], GetLastError(), remaining, size);
      }
    }
    if (complete) {
      // Recorded first: a run killed while the folder goes is not undone twice.
      AppendToJournal(&journal, "END", "every change was undone");
      StoreJournalSecret(journal.idText, journal.chain.key, true);
      FinishJournalRemoval(&journal);
      LogEvent("UNDO", "every change was undone; \"%s\" removed", journal.folder);
    } else if (!RewriteJournal(&journal, records, kept)) {
      LogEvent("UNDO", "\"%s\": not rewritten: all stays", journal.folder);
    }
  }
  for (int i = 0; records && i < count; ++i) std::free(records[i].copy);
  std::free(records);
  std::free(kept);
  FreeJournal(&journal);
  return complete;
}
