// The undo journal: "<install dir>\Setup-rollback\journal.txt" and the
// backups beside it, in the format of journal_records.h. Each record is
// written whole, sealed, before its change is made, and says what the
// change will leave (a copied file's size and time, a value's new data), so
// that an undo never takes back what someone else changed since. Undo walks
// the records backwards (journal_undo_win32.cpp).
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "actions/file_actions.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "journal/journal.h"
#include "journal/journal_run.h"
#include "journal/journal_store.h"
#include "log/run_log.h"

const char kJournalFileName[] = "journal.txt";

namespace {

const char kFolderName[] = "Setup-rollback\\";
// HKCU: readable by the account itself (and the system and administrators)
// only.
const char kSecretsKey[] = "Software\\Valtor CZ\\Quillon Setup\\Journals";
const char kPartSuffix[] = ".part";  // a backup copy that is not complete yet
// A registry value of 10 KiB and its new text, both in hex, and the fields.
const int kRecordCapacity = 32 * 1024;
const DWORD kHashPiece = 256 * 1024;
const size_t kStateSize = 48;

HANDLE journalFile = INVALID_HANDLE_VALUE;
char folder[MAX_PATH];  // with its final backslash
size_t folderLength = 0;
char journalId[kJournalIdTextSize];
JournalChain chain;
DWORD journalLength = 0;  // the bytes of whole records
int backupNumber = 0;
bool resultRecorded = false;
char record[kRecordCapacity];
BYTE hashBuffer[kHashPiece];

// INI files saved whole in this run, heap texts.
char** savedIniFiles = nullptr;
int savedIniCount = 0;

// Writes one record of this run's journal: its kind and up to seven fields
// (null ends them).
bool WriteRecord(const char* kind, const char* a, const char* b = nullptr, const char* c = nullptr,
                 const char* d = nullptr, const char* e = nullptr, const char* f = nullptr,
                 const char* g = nullptr) {
  if (journalFile == INVALID_HANDLE_VALUE) return true;
  const char* fields[] = {kind, a, b, c, d, e, f, g};
  int count = 1;
  while (count < 8 && fields[count]) ++count;
  return WriteSealedLine(journalFile, fields, count, &chain, &journalLength);
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
  if (!CopyFileA(path, part, TRUE)) return false;
  if (MoveFileExA(part, backup, 0)) return true;
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

// What a copy of the file leaves: its size and last-write time, as text.
bool FileState(const char* path, char* state) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
  return FormatText(state, kStateSize, "%lx.%lx.%lx.%lx", data.nFileSizeHigh, data.nFileSizeLow,
                    data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
}

// A registry value's type and data as two texts ("-" for both when it is
// absent); new heap text for the data (free it), null without memory.
char* ValueText(const unsigned char* data, unsigned long type, unsigned long size, char* typeText) {
  if (!data) {
    CopyText(typeText, 16, "-");
    return DuplicateText("-");
  }
  FormatText(typeText, 16, "%lu", type);
  char* hex = static_cast<char*>(std::malloc(size * 2 + 1));
  if (hex) HexText(data, size, hex);
  return hex;
}

// Records a registry value (type and data, or its absence) under `kind`;
// for REGVALUE also what it is about to become.
bool RecordValue(const char* kind, RegistryRoot root, const char* subkey, const char* valueName,
                 bool withNew, const char* newData) {
  unsigned long type = 0;
  unsigned long size = 0;
  unsigned char* data = RegistryReadValue(root, subkey, valueName, &type, &size);
  const char* name = valueName ? valueName : "";
  size_t newLength = newData ? std::strlen(newData) : 0;
  // Data too large for one record is not recorded, and so not changed.
  if ((data ? size : 0) + newLength + std::strlen(subkey) + std::strlen(name) >
      kRecordCapacity / 2 - 512) {
    std::free(data);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return false;
  }
  char oldType[16];
  char newType[16];
  char* oldHex = ValueText(data, type, size, oldType);
  char* newHex = ValueText(reinterpret_cast<const unsigned char*>(newData), REG_SZ, newLength, newType);
  bool written = false;
  if (!oldHex || !newHex) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } else if (withNew) {
    written = WriteRecord(kind, RegistryRootName(root), subkey, name, oldType, oldHex, newType, newHex);
  } else {
    written = WriteRecord(kind, RegistryRootName(root), subkey, name, oldType, oldHex);
  }
  std::free(oldHex);
  std::free(newHex);
  std::free(data);
  return written;
}

}  // namespace

// --- shared with the undo ---------------------------------------------------------

bool WriteSealedLine(HANDLE file, const char* const* fields, int count, JournalChain* sealChain,
                     DWORD* length) {
  unsigned char seal[kSha256Size];
  size_t size = SealRecord(*sealChain, fields, count, record, sizeof record, seal);
  if (size == 0) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return false;
  }
  DWORD written = 0;
  SetLastError(ERROR_SUCCESS);
  if (WriteFile(file, record, static_cast<DWORD>(size), &written, nullptr) && written == size) {
    *length += written;
    std::memcpy(sealChain->seal, seal, sizeof seal);
    return true;
  }
  // A short write on a full volume may report no error; a record is whole
  // or not there at all.
  DWORD code = GetLastError();
  if (code == ERROR_SUCCESS) code = ERROR_DISK_FULL;
  SetFilePointer(file, static_cast<LONG>(*length), nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  SetLastError(code);
  return false;
}

bool HashOfOpenFile(HANDLE file, char* text) {
  Sha256Run run;
  if (!Sha256Begin(&run)) return false;
  bool ok = true;
  DWORD read = 0;
  while ((ok = ReadFile(file, hashBuffer, kHashPiece, &read, nullptr) != 0) && read > 0) {
    if (!(ok = Sha256Add(&run, hashBuffer, read))) break;
  }
  unsigned char digest[kSha256Size];
  ok = Sha256Finish(&run, ok ? digest : nullptr) && ok;
  if (ok) HexText(digest, kSha256Size, text);
  return ok;
}

bool HashOfFile(const char* path, char* text) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool hashed = HashOfOpenFile(file, text);
  DWORD code = GetLastError();
  CloseHandle(file);
  SetLastError(code);
  return hashed;
}

bool StoreJournalSecret(const char* idText, const unsigned char* key, bool finished) {
  unsigned char data[kJournalKeySize + 1];
  std::memcpy(data, key, kJournalKeySize);
  data[kJournalKeySize] = 1;
  return RegistrySetValue(kRootCurrentUser, kSecretsKey, idText, REG_BINARY, data,
                          finished ? sizeof data : kJournalKeySize);
}

bool LoadJournalSecret(const char* idText, unsigned char* key, bool* finished) {
  unsigned long type = 0;
  unsigned long size = 0;
  unsigned char* data = RegistryReadValue(kRootCurrentUser, kSecretsKey, idText, &type, &size);
  bool found = data && type == REG_BINARY && (size == kJournalKeySize || size == kJournalKeySize + 1);
  if (found) {
    std::memcpy(key, data, kJournalKeySize);
    *finished = size > kJournalKeySize;
  }
  std::free(data);
  return found;
}

void ForgetJournalSecret(const char* idText) {
  RegistryRemoveValue(kRootCurrentUser, kSecretsKey, idText);
}

bool IsLinkPath(const char* path) {
  char plain[MAX_PATH + 16];
  if (!CopyText(plain, sizeof plain, path)) return false;
  size_t length = std::strlen(plain);
  if (length > 3 && plain[length - 1] == '\\') plain[length - 1] = '\0';
  DWORD attributes = GetFileAttributesA(plain);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// --- recording ---------------------------------------------------------------------

bool JournalActive() { return journalFile != INVALID_HANDLE_VALUE; }

bool JournalNewFile(const char* path, const char* source) {
  char full[kLongPathSize];
  char state[kStateSize];
  return FileState(source, state) && WriteRecord("NEWFILE", FullPath(path, full), state);
}

bool JournalNewDirectory(const char* path) {
  char full[kLongPathSize];
  return WriteRecord("NEWDIR", FullPath(path, full));
}

bool JournalReplace(const char* target, const char* temporary, const char* source, char* backup,
                    bool* canLink) {
  const DWORD anyone = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // One open that may delete tells that no other program holds the file
  // (its second name could not go again) and reads it for the hash.
  HANDLE file = CreateFileA(target, GENERIC_READ | DELETE, anyone, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  *canLink = file != INVALID_HANDLE_VALUE;
  if (!*canLink) {
    file = CreateFileA(target, GENERIC_READ, anyone, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  char hash[kSha256TextSize];
  bool hashed = HashOfOpenFile(file, hash);
  DWORD code = GetLastError();
  CloseHandle(file);
  char state[kStateSize];
  if (!hashed) {
    SetLastError(code);
    return false;
  }
  if (!FileState(source, state)) return false;
  char fullTarget[kLongPathSize];
  char fullTemporary[kLongPathSize];
  NextBackup(backup);
  return WriteRecord("REPLACE", FullPath(target, fullTarget),
                     temporary[0] ? FullPath(temporary, fullTemporary) : "", backup + folderLength,
                     hash, state);
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

bool JournalInPlace(const char* target) {
  char full[kLongPathSize];
  return WriteRecord("INPLACE", FullPath(target, full));
}

bool JournalRenamed(const char* from, const char* to) {
  char fullFrom[kLongPathSize];
  char fullTo[kLongPathSize];
  return WriteRecord("RENAMED", FullPath(from, fullFrom), FullPath(to, fullTo));
}

bool JournalKeepAndRemove(const char* path) {
  char full[kLongPathSize];
  char backup[kBackupPathSize];
  char hash[kSha256TextSize];
  if (!HashOfFile(path, hash)) return false;
  NextBackup(backup);
  if (!WriteRecord("KEPT", FullPath(path, full), backup + folderLength, hash)) return false;
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
    char hash[kSha256TextSize];
    NextBackup(backup);
    recorded = HashOfFile(full, hash) && CopyToBackup(full, backup) &&
               WriteRecord("INIFILE", full, backup + folderLength, hash);
  } else {
    recorded = WriteRecord("INIFILE", full, "-", "-");
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

void JournalIniWritten(const char* file) {
  if (!JournalActive()) return;
  char full[kLongPathSize];
  char hash[kSha256TextSize];
  IniPath(file, full);
  // Unrecorded, the undo finds the file as no run left it and keeps it.
  WriteRecord("INIAFTER", full, PathExists(full) ? (HashOfFile(full, hash) ? hash : "?") : "-");
}

bool JournalRegistryValue(RegistryRoot root, const char* subkey, const char* valueName,
                          const char* newData) {
  if (!JournalActive()) return true;
  return RecordValue("REGVALUE", root, subkey, valueName, true, newData);
}

bool JournalRegistryKey(RegistryRoot root, const char* subkey) {
  return WriteRecord("REGKEY", RegistryRootName(root), subkey);
}

bool JournalRegistryKeyDeletion(RegistryRoot root, const char* subkey) {
  if (!JournalActive()) return true;
  char name[16384];
  if (!RegistryFirstValueName(root, subkey, name, sizeof name)) {
    return WriteRecord("REGKEYGONE", RegistryRootName(root), subkey, "", "-", "-");
  }
  return RecordValue("REGKEYGONE", root, subkey, name, false, nullptr);
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
  char joined[MAX_PATH + 32];
  if (!FormatText(joined, sizeof joined, "%s%s%s", base,
                  length > 0 && base[length - 1] == '\\' ? "" : "\\", kFolderName)) {
    return false;
  }
  DWORD full = GetFullPathNameA(joined, MAX_PATH, path, nullptr);
  return full > 0 && full < MAX_PATH;
}

JournalFound JournalExamine(const char* directory, const char** reason) {
  LoadedJournal journal;
  switch (LoadJournal(directory, &journal, reason)) {
    case kLoadNone: return kFoundNothing;
    case kLoadLink: return kFoundLink;
    case kLoadUnverified: return kFoundUnverified;
    case kLoadVerified: break;
  }
  JournalFound found = journal.finished ? kFoundFinished : kFoundUnfinished;
  FreeJournal(&journal);
  return found;
}

void FinishJournalRemoval(LoadedJournal* journal) {
  if (RemoveJournalFolder(journal->folder)) ForgetJournalSecret(journal->idText);
}

JournalStart JournalBegin(const char* directory, unsigned long* errorCode) {
  *errorCode = ERROR_FILENAME_EXCED_RANGE;
  if (!JournalFolderOf(directory, folder)) return kJournalFailed;
  folderLength = std::strlen(folder);
  // The folder is always made anew: one left by a finished run goes, an
  // empty one too; one with a journal that nobody could undo, or with
  // anything else in it, stays as it is.
  switch (JournalExamine(directory, nullptr)) {
    case kFoundLink: return kJournalFolderLink;
    case kFoundUnverified:
    case kFoundUnfinished: return kJournalNotVerified;
    case kFoundFinished: {
      char remaining[4];
      JournalUndo(directory, remaining, sizeof remaining);  // only removes it
      break;
    }
    case kFoundNothing: RemoveDirectoryA(folder); break;
  }
  unsigned char random[kJournalIdSize + kJournalKeySize];
  char path[MAX_PATH + 16];
  FormatText(path, sizeof path, "%s%s", folder, kJournalFileName);
  if (!CreateDirectoryA(folder, nullptr) || !RandomBytes(random, sizeof random)) {
    *errorCode = GetLastError();
    return kJournalFailed;
  }
  HexText(random, kJournalIdSize, journalId);
  std::memcpy(chain.key, random + kJournalIdSize, kJournalKeySize);
  std::memset(chain.seal, 0, sizeof chain.seal);
  SecureZeroMemory(random, sizeof random);
  journalLength = 0;
  backupNumber = 0;
  resultRecorded = false;
  if (StoreJournalSecret(journalId, chain.key, false)) {
    journalFile = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    SetLastError(ERROR_CANTWRITE);  // the registry key of the secret
  }
  if (journalFile == INVALID_HANDLE_VALUE || !WriteRecord(kJournalFormat, folder, journalId) ||
      !FlushFileBuffers(journalFile)) {
    *errorCode = GetLastError();
    JournalClose();
    RemoveJournalFolder(folder);
    ForgetJournalSecret(journalId);
    return kJournalFailed;
  }
  LogEvent("JOURNAL", "recording how to undo every change in \"%s\"", folder);
  return kJournalMade;
}

void JournalFlush() {
  if (journalFile != INVALID_HANDLE_VALUE) FlushFileBuffers(journalFile);
}

void JournalClose() {
  if (journalFile != INVALID_HANDLE_VALUE) {
    FlushFileBuffers(journalFile);
    CloseHandle(journalFile);
  }
  journalFile = INVALID_HANDLE_VALUE;
  for (int i = 0; i < savedIniCount; ++i) std::free(savedIniFiles[i]);
  std::free(savedIniFiles);
  savedIniFiles = nullptr;
  savedIniCount = 0;
}

void JournalResultStands() {
  if (journalFile == INVALID_HANDLE_VALUE || resultRecorded) return;
  // On the disk before anything is removed: a run killed from here on is
  // only finished at the next start, never undone.
  resultRecorded = WriteRecord("END", "the result stands") && FlushFileBuffers(journalFile);
  resultRecorded = StoreJournalSecret(journalId, chain.key, true) || resultRecorded;
}

void JournalEnd() {
  if (journalFile == INVALID_HANDLE_VALUE) return;
  JournalResultStands();
  bool recorded = resultRecorded;
  JournalClose();
  if (!recorded) {
    LogEvent("JOURNAL", "\"%s\": the end not recorded: kept", folder);
    return;
  }
  bool removed = RemoveJournalFolder(folder);
  if (removed) ForgetJournalSecret(journalId);
  LogEvent("JOURNAL", "the run was accepted: \"%s\" %s", folder,
           removed ? "removed" : "not all removed");
}

void JournalDiscard(const char* directory) {
  JournalClose();
  LoadedJournal journal;
  if (LoadJournal(directory, &journal, nullptr) != kLoadVerified) return;
  bool recorded = AppendToJournal(&journal, "END", "kept as it is");
  if (StoreJournalSecret(journal.idText, journal.chain.key, true) || recorded) {
    FinishJournalRemoval(&journal);
  }
  FreeJournal(&journal);
}

// --- reading, checking, removing ------------------------------------------------------

JournalLoad LoadJournal(const char* directory, LoadedJournal* journal, const char** reason) {
  const char* ignored;
  if (!reason) reason = &ignored;
  *reason = nullptr;
  journal->text = nullptr;
  journal->check.records = nullptr;
  if (!JournalFolderOf(directory, journal->folder)) return kLoadNone;
  if (IsLinkPath(journal->folder)) return kLoadLink;
  char path[MAX_PATH + 16];
  FormatText(path, sizeof path, "%s%s", journal->folder, kJournalFileName);
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return kLoadNone;
    *reason = "it cannot be read";
    return kLoadUnverified;
  }
  BY_HANDLE_FILE_INFORMATION info;
  DWORD read = 0;
  bool readable = GetFileInformationByHandle(file, &info) &&
                  !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                  info.nFileSizeHigh == 0 && info.nFileSizeLow < 0x4000000;
  if (readable) journal->text = static_cast<char*>(std::malloc(info.nFileSizeLow + 1));
  readable = journal->text && ReadFile(file, journal->text, info.nFileSizeLow, &read, nullptr) &&
             read == info.nFileSizeLow;
  CloseHandle(file);
  char header[MAX_PATH];
  bool finished = false;
  if (!readable) {
    *reason = "it cannot be read";
  } else if (!ReadJournalHeader(journal->text, read, header, sizeof header, journal->idText)) {
    *reason = "no header of this program";
  } else if (lstrcmpiA(header, journal->folder) != 0) {
    *reason = "written for another folder";
  } else if (!LoadJournalSecret(journal->idText, journal->chain.key, &finished)) {
    *reason = "no key of this account";
  } else if (!CheckJournal(journal->text, read, journal->chain.key, &journal->check)) {
    *reason = journal->check.fault;
  } else if (journal->check.count == 0) {
    *reason = "the header's seal fails";
  }
  if (*reason) {
    // A reason that names the check's fault outlives the journal's text.
    FreeJournal(journal);
    return kLoadUnverified;
  }
  std::memcpy(journal->chain.seal, journal->check.seal, kSha256Size);
  journal->finished = finished;
  for (int i = 1; i < journal->check.count; ++i) {
    if (std::strncmp(journal->check.records[i], "END\t", 4) == 0) journal->finished = true;
  }
  return kLoadVerified;
}

void FreeJournal(LoadedJournal* journal) {
  std::free(journal->check.records);
  std::free(journal->text);
  journal->check.records = nullptr;
  journal->text = nullptr;
  SecureZeroMemory(journal->chain.key, sizeof journal->chain.key);
}

bool AppendToJournal(LoadedJournal* journal, const char* kind, const char* detail) {
  char path[MAX_PATH + 16];
  FormatText(path, sizeof path, "%s%s", journal->folder, kJournalFileName);
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD length = static_cast<DWORD>(journal->check.sealedLength);
  const char* fields[] = {kind, detail};
  bool appended = SetFilePointer(file, static_cast<LONG>(length), nullptr, FILE_BEGIN) == length &&
                  SetEndOfFile(file) && WriteSealedLine(file, fields, 2, &journal->chain, &length) &&
                  FlushFileBuffers(file);
  CloseHandle(file);
  journal->check.sealedLength = length;
  return appended;
}

namespace {

// Removes what a folder holds; at the top, the journal only when
// everything else has gone.
bool RemoveEntries(const char* path, bool top) {
  char pattern[MAX_PATH + 4];
  FormatText(pattern, sizeof pattern, "%s*", path);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  bool empty = true;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const char* name = found.cFileName;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      if (top && lstrcmpiA(name, kJournalFileName) == 0) continue;
      char entry[MAX_PATH + 16];
      bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      bool removed = false;
      if (FormatText(entry, sizeof entry, "%s%s", path, name)) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          // The link itself, never what it leads to.
          removed = directory ? RemoveDirectoryA(entry) != 0 : DeleteFileA(entry) != 0;
          if (!removed) {
            LogEvent("JOURNAL", "\"%s\": a link that cannot go: left", entry);
          }
        } else if (directory) {
          removed = AppendText(entry, sizeof entry, "\\") && RemoveEntries(entry, false) &&
                    RemoveDirectoryA(entry);
        } else {
          removed = DeleteFileA(entry) || (ClearReadOnly(entry), DeleteFileA(entry));
        }
      }
      empty = empty && removed;
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  if (top && empty) {
    char journalPath[MAX_PATH + 16];
    FormatText(journalPath, sizeof journalPath, "%s%s", path, kJournalFileName);
    empty = DeleteFileA(journalPath) || !PathExists(journalPath);
  }
  return empty;
}

}  // namespace

bool RemoveJournalFolder(const char* path) {
  if (IsLinkPath(path)) return false;
  RemoveEntries(path, true);
  RemoveDirectoryA(path);
  return !PathExists(path);
}
