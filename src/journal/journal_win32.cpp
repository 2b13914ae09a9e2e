// The undo journal: "<install dir>\Setup-rollback\journal.txt" and the
// backups beside it. One record a line, fields separated by tabs (tabs,
// line breaks and backslashes inside a field escaped); each record is
// written to the file before its change is made. Undo walks the records
// backwards; every step is safe whether or not its change had happened
// when the run ended, so a journal left by a killed run undoes as well.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "actions/file_actions.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "journal/journal.h"
#include "journal/journal_run.h"
#include "log/run_log.h"
#include "script/script_reader.h"

namespace {

const char kFolderName[] = "Setup-rollback\\";
const char kJournalName[] = "journal.txt";
const char kHeader[] = "SETUP-ROLLBACK 1";
const char kPartSuffix[] = ".part";  // a backup copy that is not complete yet
const int kRecordCapacity = 24 * 1024;  // a registry value of 10 KiB in hex and its fields

HANDLE journalFile = INVALID_HANDLE_VALUE;
char folder[MAX_PATH];  // with its final backslash
int backupNumber = 0;
char record[kRecordCapacity];

// INI files saved whole in this run, heap texts.
char** savedIniFiles = nullptr;
int savedIniCount = 0;

// --- writing records -----------------------------------------------------------

bool PutChar(int* length, char c) {
  if (*length + 1 >= kRecordCapacity) return false;
  record[(*length)++] = c;
  return true;
}

bool PutField(int* length, const char* field) {
  for (const char* p = field ? field : ""; *p; ++p) {
    char escape = *p == '\t' ? 't' : *p == '\n' ? 'n' : *p == '\r' ? 'r' : *p == '\\' ? '\\' : 0;
    bool put = escape ? PutChar(length, '\\') && PutChar(length, escape) : PutChar(length, *p);
    if (!put) return false;
  }
  return true;
}

// Writes one record: its kind and up to five fields (null ends them). The
// record is handed to the system before this returns.
bool WriteRecord(const char* kind, const char* a, const char* b = nullptr, const char* c = nullptr,
                 const char* d = nullptr, const char* e = nullptr) {
  if (journalFile == INVALID_HANDLE_VALUE) return true;
  int length = 0;
  PutField(&length, kind);
  const char* fields[] = {a, b, c, d, e};
  for (const char* field : fields) {
    if (!field) break;
    if (!PutChar(&length, '\t') || !PutField(&length, field)) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return false;
    }
  }
  if (!PutChar(&length, '\n')) return false;
  DWORD written = 0;
  return WriteFile(journalFile, record, static_cast<DWORD>(length), &written, nullptr) &&
         written == static_cast<DWORD>(length);
}

// Backups go into folders of 256, so no folder grows large: making a new
// name costs a look through the folder on some systems.
void NextBackup(char* backup) {
  ++backupNumber;
  FormatText(backup, kBackupPathSize, "%s%03d", folder, backupNumber / 256);
  if (backupNumber % 256 == 0 || backupNumber == 1) CreateDirectoryA(backup, nullptr);
  FormatText(backup, kBackupPathSize, "%s%03d\\%06d.bak", folder, backupNumber / 256, backupNumber);
}

// Copies path into backup completely before the backup carries its name,
// so a run killed while copying leaves no backup that could be mistaken
// for the whole file.
bool CopyToBackup(const char* path, const char* backup) {
  char part[kBackupPathSize + 8];
  FormatText(part, sizeof part, "%s%s", backup, kPartSuffix);
  if (!CopyFileA(path, part, FALSE)) return false;
  if (MoveFileExA(part, backup, MOVEFILE_REPLACE_EXISTING)) return true;
  DWORD code = GetLastError();
  DeleteFileA(part);
  SetLastError(code);
  return false;
}

// A file that can be copied but not moved: another volume, or a file that
// another program holds.
bool IsRenameRefused(DWORD code) {
  return code == ERROR_NOT_SAME_DEVICE || IsSharingOrAccessError(code);
}

// Where the system keeps an INI file named by the script: a bare name goes
// to the Windows directory.
const char* IniPath(const char* file, char* buffer) {
  if (std::strchr(file, '\\') || std::strchr(file, '/')) return FullPath(file, buffer);
  char windows[MAX_PATH];
  UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return FullPath(file, buffer);
  FormatText(buffer, kLongPathSize, "%s\\%s", windows, file);
  return buffer;
}

const char* Hex(const unsigned char* data, unsigned long size, char* text, size_t capacity) {
  static const char digits[] = "0123456789abcdef";
  size_t at = 0;
  for (unsigned long i = 0; i < size && at + 2 < capacity; ++i) {
    text[at++] = digits[data[i] >> 4];
    text[at++] = digits[data[i] & 15];
  }
  text[at] = '\0';
  return text;
}

// Records a registry value (type and data, or its absence) under `kind`.
bool RecordValue(const char* kind, RegistryRoot root, const char* subkey, const char* valueName) {
  unsigned long type = 0;
  unsigned long size = 0;
  unsigned char* data = RegistryReadValue(root, subkey, valueName, &type, &size);
  const char* rootName = RegistryRootName(root);
  const char* name = valueName ? valueName : "";
  if (!data) return WriteRecord(kind, rootName, subkey, name, "-");
  // Data too large for one record is not recorded, and so not changed.
  bool fits = size * 2 + 512 + std::strlen(subkey) + std::strlen(name) < kRecordCapacity / 2;
  char* hex = fits ? static_cast<char*>(std::malloc(size * 2 + 1)) : nullptr;
  bool written = false;
  if (hex) {
    char typeText[16];
    FormatText(typeText, sizeof typeText, "%lu", type);
    written = WriteRecord(kind, rootName, subkey, name, typeText, Hex(data, size, hex, size * 2 + 1));
  } else {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  std::free(hex);
  std::free(data);
  return written;
}

}  // namespace

// --- recording ---------------------------------------------------------------------

bool JournalActive() { return journalFile != INVALID_HANDLE_VALUE; }

bool JournalNewFile(const char* path) {
  char full[kLongPathSize];
  return WriteRecord("NEWFILE", FullPath(path, full));
}

bool JournalNewDirectory(const char* path) {
  char full[kLongPathSize];
  return WriteRecord("NEWDIR", FullPath(path, full));
}

bool JournalReplace(const char* target, const char* temporary, char* backup) {
  char fullTarget[kLongPathSize];
  char fullTemporary[kLongPathSize];
  NextBackup(backup);
  return WriteRecord("REPLACE", FullPath(target, fullTarget), FullPath(temporary, fullTemporary),
                     backup);
}

JournalAside JournalSetAside(const char* target, const char* backup, bool mayLink, bool mayMove) {
  // A second name costs no copy and leaves the target's name to a single
  // replacing rename.
  if (mayLink && CreateHardLinkA(backup, target, nullptr)) return kAsideLinked;
  if (mayMove) {
    if (MoveFileExA(target, backup, 0)) return kAsideMoved;
    if (!IsRenameRefused(GetLastError())) return kAsideFailed;
  }
  return CopyToBackup(target, backup) ? kAsideCopied : kAsideFailed;
}

bool JournalRenamed(const char* from, const char* to) {
  char fullFrom[kLongPathSize];
  char fullTo[kLongPathSize];
  return WriteRecord("RENAMED", FullPath(from, fullFrom), FullPath(to, fullTo));
}

bool JournalKeepAndRemove(const char* path) {
  char full[kLongPathSize];
  char backup[kBackupPathSize];
  NextBackup(backup);
  if (!WriteRecord("KEPT", FullPath(path, full), backup)) return false;
  if (MoveFileExA(path, backup, 0)) return true;
  DWORD code = GetLastError();
  if (!IsRenameRefused(code) || !CopyToBackup(path, backup)) return false;
  ClearReadOnly(path);
  return DeleteFileA(path) != 0;
}

bool JournalAttributes(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // nothing there to change
  char full[kLongPathSize];
  char text[16];
  FormatText(text, sizeof text, "%lx", static_cast<unsigned long>(attributes));
  return WriteRecord("ATTRIBUTES", FullPath(path, full), text);
}

bool JournalMoved(const char* oldName, const char* newName) {
  char fullOld[kLongPathSize];
  char fullNew[kLongPathSize];
  return WriteRecord("MOVED", FullPath(oldName, fullOld), FullPath(newName, fullNew));
}

bool JournalProgram(const char* program, const char* parameters) {
  return WriteRecord("RUN", program, parameters ? parameters : "");
}

bool JournalIniFile(const char* file) {
  if (!JournalActive()) return true;
  char full[kLongPathSize];
  IniPath(file, full);
  for (int i = 0; i < savedIniCount; ++i) {
    if (lstrcmpiA(savedIniFiles[i], full) == 0) return true;
  }
  bool recorded;
  if (PathExists(full)) {
    char backup[kBackupPathSize];
    NextBackup(backup);
    recorded = CopyToBackup(full, backup) && WriteRecord("INIFILE", full, backup);
  } else {
    recorded = WriteRecord("INIFILE", full, "-");
  }
  if (!recorded) return false;
  char** grown =
      static_cast<char**>(std::realloc(savedIniFiles, sizeof(char*) * (savedIniCount + 1)));
  char* copy = grown ? DuplicateText(full) : nullptr;
  if (grown) savedIniFiles = grown;
  // Without memory the file is only saved again before its next change.
  if (copy) savedIniFiles[savedIniCount++] = copy;
  return true;
}

bool JournalRegistryValue(RegistryRoot root, const char* subkey, const char* valueName) {
  if (!JournalActive()) return true;
  return RecordValue("REGVALUE", root, subkey, valueName);
}

bool JournalRegistryKey(RegistryRoot root, const char* subkey) {
  return WriteRecord("REGKEY", RegistryRootName(root), subkey);
}

bool JournalRegistryKeyDeletion(RegistryRoot root, const char* subkey) {
  if (!JournalActive()) return true;
  char name[16384];
  if (!RegistryFirstValueName(root, subkey, name, sizeof name)) {
    return WriteRecord("REGKEYGONE", RegistryRootName(root), subkey, "", "-");
  }
  return RecordValue("REGKEYGONE", root, subkey, name);
}

// --- the journal's life -----------------------------------------------------------

bool JournalFolderOf(const char* directory, char* path) {
  char base[MAX_PATH + 1];
  if (!directory || !directory[0]) {
    if (!CurrentDirectory(base)[0]) return false;
  } else if (!CopyText(base, sizeof base, directory)) {
    return false;
  }
  size_t length = std::strlen(base);
  return FormatText(path, MAX_PATH, "%s%s%s", base,
                    length > 0 && base[length - 1] == '\\' ? "" : "\\", kFolderName);
}

bool JournalPending(const char* directory) {
  char path[MAX_PATH + 16];
  if (!JournalFolderOf(directory, path)) return false;
  AppendText(path, sizeof path, kJournalName);
  return PathExists(path);
}

bool JournalBegin(const char* directory, unsigned long* errorCode) {
  *errorCode = ERROR_FILENAME_EXCED_RANGE;
  if (!JournalFolderOf(directory, folder)) return false;
  char path[MAX_PATH + 16];
  FormatText(path, sizeof path, "%s%s", folder, kJournalName);
  backupNumber = 0;
  if (!CreateDirectoryA(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    *errorCode = GetLastError();
    return false;
  }
  journalFile = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (journalFile == INVALID_HANDLE_VALUE) {
    *errorCode = GetLastError();
    RemoveDirectoryA(folder);
    return false;
  }
  if (!WriteRecord(kHeader, directory && directory[0] ? directory : "")) {
    *errorCode = GetLastError();
    JournalDiscard(directory);
    return false;
  }
  FlushFileBuffers(journalFile);
  LogEvent("JOURNAL", "recording how to undo every change in \"%s\"", folder);
  return true;
}

void JournalFlush() {
  if (journalFile != INVALID_HANDLE_VALUE) FlushFileBuffers(journalFile);
}

void JournalClose() {
  if (journalFile != INVALID_HANDLE_VALUE) FlushFileBuffers(journalFile);
  if (journalFile != INVALID_HANDLE_VALUE) CloseHandle(journalFile);
  journalFile = INVALID_HANDLE_VALUE;
  for (int i = 0; i < savedIniCount; ++i) std::free(savedIniFiles[i]);
  std::free(savedIniFiles);
  savedIniFiles = nullptr;
  savedIniCount = 0;
}

namespace {

// Removes a folder (its path ends in a backslash) with everything in it:
// the journal's folder and its folders of backups.
void RemoveFolder(const char* path) {
  char pattern[MAX_PATH + 4];
  FormatText(pattern, sizeof pattern, "%s*", path);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.cFileName[0] == '.') continue;
      char entry[MAX_PATH + 16];
      bool folderEntry = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (!FormatText(entry, sizeof entry, "%s%s%s", path, found.cFileName, folderEntry ? "\\" : "")) {
        continue;
      }
      if (folderEntry) {
        RemoveFolder(entry);
      } else {
        ClearReadOnly(entry);
        DeleteFileA(entry);
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path);
}

}  // namespace

void JournalEnd() {
  if (journalFile == INVALID_HANDLE_VALUE) return;
  JournalClose();
  RemoveFolder(folder);
  LogEvent("JOURNAL", "the run was accepted: \"%s\" removed", folder);
}

void JournalDiscard(const char* directory) {
  JournalClose();
  char path[MAX_PATH + 16];
  if (!JournalFolderOf(directory, path)) return;
  RemoveFolder(path);
}
