// Undoing a journal, newest record first. Each step checks what is there:
// a change that never happened (the run was killed before it) is left
// alone, so the same journal undoes a finished, an aborted and a killed run.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "actions/file_actions.h"
#include "actions/registry.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "journal/journal_run.h"
#include "log/run_log.h"

namespace {

const char kJournalName[] = "journal.txt";
const int kMaxFields = 6;

struct Record {
  char* line;  // the record as written, for a journal that keeps it
  char* field[kMaxFields];
  int fields;
};

// Splits a line at its tabs and undoes the escapes, in place.
void ParseRecord(char* line, Record* out) {
  out->fields = 0;
  char* write = line;
  out->field[out->fields++] = write;
  for (const char* read = line; *read; ++read) {
    if (*read == '\t') {
      *write++ = '\0';
      if (out->fields < kMaxFields) out->field[out->fields++] = write;
      continue;
    }
    if (*read == '\\' && read[1]) {
      ++read;
      *write++ = *read == 't' ? '\t' : *read == 'n' ? '\n' : *read == 'r' ? '\r' : *read;
      continue;
    }
    *write++ = *read;
  }
  *write = '\0';
}

// Puts a kept file back in its place, whatever stands there now. A
// read-only file in the way is made writable only when it refuses: it may
// be the kept file itself under its other name.
bool Restore(const char* backup, const char* path) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
  if (MoveFileExA(backup, path, flags)) return true;
  if (GetLastError() != ERROR_ACCESS_DENIED || !PathExists(path)) return false;
  ClearReadOnly(path);
  return MoveFileExA(backup, path, flags) != 0;
}

unsigned char* FromHex(const char* text, unsigned long* size) {
  size_t length = std::strlen(text) / 2;
  unsigned char* data = static_cast<unsigned char*>(std::malloc(length ? length : 1));
  if (!data) return nullptr;
  for (size_t i = 0; i < length; ++i) {
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    data[i] = static_cast<unsigned char>(digit(text[2 * i]) * 16 + digit(text[2 * i + 1]));
  }
  *size = static_cast<unsigned long>(length);
  return data;
}

// Sets a registry value back from its record's type and hex data, or
// removes it when the record says it was absent.
bool RestoreValue(RegistryRoot root, const char* subkey, const char* name, const char* type,
                  const char* hex) {
  if (std::strcmp(type, "-") == 0) return RegistryRemoveValue(root, subkey, name);
  unsigned long size = 0;
  unsigned char* data = FromHex(hex ? hex : "", &size);
  bool set = data && RegistrySetValue(root, subkey, name, std::strtoul(type, nullptr, 10), data, size);
  std::free(data);
  return set;
}

// Undoes one record; false when it could not be undone.
bool UndoRecord(const Record& r) {
  const char* kind = r.field[0];
  const char* a = r.fields > 1 ? r.field[1] : "";
  const char* b = r.fields > 2 ? r.field[2] : "";
  const char* c = r.fields > 3 ? r.field[3] : "";
  if (std::strcmp(kind, "NEWFILE") == 0 && r.fields == 2) {
    if (!PathExists(a)) return true;
    ClearReadOnly(a);
    if (!DeleteFileA(a)) return false;
    LogEvent("UNDO", "\"%s\": the new file removed", a);
    return true;
  }
  if (std::strcmp(kind, "NEWDIR") == 0 && r.fields == 2) {
    if (!PathExists(a)) return true;
    if (!RemoveDirectoryA(a)) return false;
    LogEvent("UNDO", "\"%s\": the new directory removed", a);
    return true;
  }
  if (std::strcmp(kind, "REPLACE") == 0 && r.fields == 4) {
    if (PathExists(b)) {  // a copy that never took the target's place
      ClearReadOnly(b);
      DeleteFileA(b);
    }
    if (!PathExists(c)) return !PathExists(b);
    if (!Restore(c, a)) return false;
    LogEvent("UNDO", "\"%s\": the replaced file put back", a);
    return true;
  }
  if ((std::strcmp(kind, "RENAMED") == 0 || std::strcmp(kind, "MOVED") == 0) && r.fields == 3) {
    if (!PathExists(b) || PathExists(a)) return true;  // not moved, or something else stands there
    if (!MoveFileA(b, a)) return false;
    LogEvent("UNDO", "\"%s\": moved back from \"%s\"", a, b);
    return true;
  }
  if (std::strcmp(kind, "KEPT") == 0 && r.fields == 3) {
    if (!PathExists(b)) return true;
    if (!Restore(b, a)) return false;
    LogEvent("UNDO", "\"%s\": the removed file put back", a);
    return true;
  }
  if (std::strcmp(kind, "ATTRIBUTES") == 0 && r.fields == 3) {
    if (!PathExists(a)) return true;
    if (!SetFileAttributesA(a, std::strtoul(b, nullptr, 16))) return false;
    LogEvent("UNDO", "\"%s\": attributes %s again", a, b);
    return true;
  }
  if (std::strcmp(kind, "RUN") == 0) {
    LogEvent("UNDO", "program \"%s\" parameters \"%s\" ran: what it did is not undone", a, b);
    return true;
  }
  if (std::strcmp(kind, "INIFILE") == 0 && r.fields == 3) {
    if (std::strcmp(b, "-") == 0) {
      if (!PathExists(a)) return true;
      ClearReadOnly(a);
      if (!DeleteFileA(a)) return false;
      LogEvent("UNDO", "\"%s\": the new INI file removed", a);
      return true;
    }
    if (PathExists(a)) ClearReadOnly(a);
    if (!CopyFileA(b, a, FALSE)) return false;
    LogEvent("UNDO", "\"%s\": the INI file put back as it was", a);
    return true;
  }
  if (std::strcmp(kind, "REGVALUE") == 0 && r.fields >= 5) {
    if (!RestoreValue(RegistryRootFromName(a), b, c, r.field[4], r.fields > 5 ? r.field[5] : "")) {
      return false;
    }
    LogEvent("UNDO", "%s\\%s value \"%s\": as it was", a, b, c);
    return true;
  }
  if (std::strcmp(kind, "REGKEY") == 0 && r.fields == 3) {
    if (!RegistryRemoveKey(RegistryRootFromName(a), b)) return false;
    LogEvent("UNDO", "%s\\%s: the new key removed", a, b);
    return true;
  }
  if (std::strcmp(kind, "REGKEYGONE") == 0 && r.fields >= 5) {
    RegistryRoot root = RegistryRootFromName(a);
    if (!RegistryMakeKey(root, b)) return false;
    if (std::strcmp(r.field[4], "-") != 0 &&
        !RestoreValue(root, b, c, r.field[4], r.fields > 5 ? r.field[5] : "")) {
      return false;
    }
    LogEvent("UNDO", "%s\\%s: the deleted key made again", a, b);
    return true;
  }
  return false;  // a record this program does not know
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

// Reads the whole journal into a new heap text; null when there is none.
char* ReadJournal(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  DWORD size = GetFileSize(file, nullptr);
  char* text = size != INVALID_FILE_SIZE ? static_cast<char*>(std::malloc(size + 1)) : nullptr;
  DWORD read = 0;
  if (text && (!ReadFile(file, text, size, &read, nullptr) || read != size)) {
    std::free(text);
    text = nullptr;
  }
  CloseHandle(file);
  if (text) text[size] = '\0';
  return text;
}

}  // namespace

bool JournalUndo(const char* directory, char* remaining, size_t size) {
  remaining[0] = '\0';
  char folder[MAX_PATH];
  char path[MAX_PATH + 16];
  if (!JournalFolderOf(directory, folder)) return false;
  JournalClose();  // this run's own journal, if it is the one undone
  FormatText(path, sizeof path, "%s%s", folder, kJournalName);
  char* text = ReadJournal(path);
  if (!text) {
    CopyText(remaining, size, path);
    return false;
  }
  LogEvent("UNDO", "undoing the changes recorded in \"%s\"", folder);

  // The lines, then each record parsed from a copy (the line stays whole).
  int count = 0;
  for (char* p = text; *p; ++p) count += *p == '\n';
  Record* records = static_cast<Record*>(std::calloc(count + 1, sizeof(Record)));
  char* copies = static_cast<char*>(std::malloc(std::strlen(text) + 1));
  if (!records || !copies) {
    std::free(records);
    std::free(copies);
    std::free(text);
    CopyText(remaining, size, path);
    return false;
  }
  std::strcpy(copies, text);
  int used = 0;
  char* line = text;
  char* copy = copies;
  while (*line && used <= count) {
    char* end = std::strchr(line, '\n');
    if (end) *end = '\0';
    copy[end ? end - line : std::strlen(line)] = '\0';
    records[used].line = line;
    ParseRecord(copy, &records[used]);
    ++used;
    if (!end) break;
    copy += end - line + 1;
    line = end + 1;
  }

  // Newest first; the header (the first line) is no change.
  bool* kept = static_cast<bool*>(std::calloc(used + 1, sizeof(bool)));
  bool complete = kept != nullptr;
  for (int i = used - 1; i >= 1 && kept; --i) {
    if (records[i].field[0][0] == '\0') continue;
    if (!UndoRecord(records[i])) {
      kept[i] = true;
      complete = false;
      DescribeRemaining(records[i], GetLastError(), remaining, size);
    }
  }

  if (complete) {
    JournalDiscard(directory);
    LogEvent("UNDO", "every change was undone; \"%s\" removed", folder);
  } else if (kept) {
    // The journal keeps what is left, with the backups those records need.
    char fresh[MAX_PATH + 16];
    FormatText(fresh, sizeof fresh, "%s%s.new", folder, kJournalName);
    HANDLE file = CreateFileA(fresh, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      for (int i = 0; i < used; ++i) {
        if (i != 0 && !kept[i]) continue;
        WriteFile(file, records[i].line, static_cast<DWORD>(std::strlen(records[i].line)), &written,
                  nullptr);
        WriteFile(file, "\n", 1, &written, nullptr);
      }
      FlushFileBuffers(file);
      CloseHandle(file);
      MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING);
    }
  }
  std::free(kept);
  std::free(records);
  std::free(copies);
  std::free(text);
  return complete;
}
