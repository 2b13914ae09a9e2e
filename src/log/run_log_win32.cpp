// The run's log file: UTF-8 text, one event a line, each line written to
// the file as soon as it is made, so a run that is killed leaves every line
// before its end.
#include <windows.h>
#include <winioctl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "log/plan_changes.h"
#include "log/run_log.h"

namespace {

const int kEventCapacity = 8192;  // bytes of one event before conversion

HANDLE logFile = INVALID_HANDLE_VALUE;
bool rehearsal = false;
// Set once an event could not be written whole; the log then ends with the
// last whole line before it.
bool incomplete = false;
// Where the last whole line ends.
LARGE_INTEGER wholeLinesEnd;

// The buffers of one event, made with the log: its fields, the event as
// ANSI text, then as UTF-16 and as UTF-8. A run without a log needs none.
struct EventBuffers {
  char change[kEventCapacity];
  char fields[kEventCapacity];
  char text[kEventCapacity];
  wchar_t wide[kEventCapacity];
  char utf8[kEventCapacity * 3];
};
EventBuffers* buffers = nullptr;

// Appends c to the event, writing line breaks and tabs as escapes; false
// once the event is full.
bool Put(int* length, char c) {
  const char* escape = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
  int needed = escape ? 2 : 1;
  if (*length + needed >= kEventCapacity - 6) return false;  // room for "...", CR LF, NUL
  if (escape) {
    buffers->text[(*length)++] = escape[0];
    buffers->text[(*length)++] = escape[1];
  } else {
    buffers->text[(*length)++] = c;
  }
  return true;
}

// A folder where the administrator mounted another volume is a reparse
// point as well, but no link that whoever may write a folder can make. The
// reparse data tell (a mount point names a volume, a junction a folder);
// where the system gives none (Wine), the folder lies on another volume
// than its parent.
bool IsVolumeMountPoint(const char* folder, const char* parent) {
  const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE handle = CreateFileA(folder, 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  // Tag, data length and reserved, then for a mount point the substitute
  // name's offset and length and the print name's, then the names (UTF-16).
  union {
    DWORD tag;
    WORD words[MAXIMUM_REPARSE_DATA_BUFFER_SIZE / sizeof(WORD)];
  } data;
  DWORD got = 0;
  bool known = DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, &data, sizeof data,
                               &got, nullptr) != 0;
  BY_HANDLE_FILE_INFORMATION folderInfo;
  bool folderRead = GetFileInformationByHandle(handle, &folderInfo) != 0;
  CloseHandle(handle);
  if (known) {
    static const WCHAR kVolume[] = L"\\??\\Volume{";
    const WORD offset = data.words[4] / sizeof(WCHAR);
    const WORD length = data.words[5] / sizeof(WCHAR);
    const WCHAR* name = reinterpret_cast<const WCHAR*>(&data.words[8]) + offset;
    if (data.tag != IO_REPARSE_TAG_MOUNT_POINT || length < 11 ||
        8u + offset + length > sizeof data.words / sizeof(WORD)) {
      return false;
    }
    for (int i = 0; i < 11; ++i) {
      if (name[i] != kVolume[i]) return false;
    }
    return true;
  }
  handle = CreateFileA(parent, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION parentInfo;
  bool parentRead = GetFileInformationByHandle(handle, &parentInfo) != 0;
  CloseHandle(handle);
  return folderRead && parentRead &&
         folderInfo.dwVolumeSerialNumber != parentInfo.dwVolumeSerialNumber;
}

// A folder of the path, or the file itself, is a link (a symbolic link or a
// junction).
bool PathThroughLink(const char* path) {
  char full[MAX_PATH + 1];
  DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return false;
  for (DWORD i = 3; i <= length; ++i) {
    if (full[i] != '\\' && full[i] != '\0') continue;
    char kept = full[i];
    full[i] = '\0';
    DWORD attributes = GetFileAttributesA(full);
    bool link = attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (link && kept == '\\' && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      char* parentEnd = std::strrchr(full, '\\');
      char cut = parentEnd[1];
      parentEnd[1] = '\0';
      char parent[MAX_PATH + 1];
      CopyText(parent, sizeof parent, full);
      parentEnd[1] = cut;
      link = !IsVolumeMountPoint(full, parent);
    }
    full[i] = kept;
    if (link) return true;
  }
  return false;
}

// Whether the open file is the one at path (same volume, same file).
bool SameFile(const BY_HANDLE_FILE_INFORMATION& info, const char* path) {
  HANDLE other = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION otherInfo;
  bool same = other != INVALID_HANDLE_VALUE && GetFileInformationByHandle(other, &otherInfo) &&
              otherInfo.dwVolumeSerialNumber == info.dwVolumeSerialNumber &&
              otherInfo.nFileIndexHigh == info.nFileIndexHigh &&
              otherInfo.nFileIndexLow == info.nFileIndexLow;
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  return same;
}

// An existing file the log may replace: empty, or an earlier log of Setup
// (its first line a START line), with no other name, and neither the
// script nor the program itself.
bool MayReplace(HANDLE file) {
  static const char kStartLine[] = "0000-00-00 00:00:00.000 START Setup ";
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) || info.nNumberOfLinks != 1 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  char self[MAX_PATH + 1];
  DWORD selfLength = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (selfLength == 0 || selfLength >= MAX_PATH || SameFile(info, self) ||
      SameFile(info, "setup.dat")) {
    return false;
  }
  if (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0) return true;
  char head[sizeof kStartLine];
  DWORD read = 0;
  if (!ReadFile(file, head, sizeof kStartLine - 1, &read, nullptr) || read != sizeof kStartLine - 1) {
    return false;
  }
  for (DWORD i = 0; i < read; ++i) {
    bool digit = kStartLine[i] == '0';
    if (digit ? head[i] < '0' || head[i] > '9' : head[i] != kStartLine[i]) return false;
  }
  return true;
}

// Writes one finished line; a write that falls short is cut back to the
// end of the line before it, and the log takes no further line (a line
// missing in the middle would pass unnoticed, a log that stops is seen).
void WriteLine(const char* bytes, DWORD length) {
  DWORD written = 0;
  if (WriteFile(logFile, bytes, length, &written, nullptr) && written == length) {
    wholeLinesEnd.QuadPart += length;
    return;
  }
  incomplete = true;
  if (SetFilePointerEx(logFile, wholeLinesEnd, nullptr, FILE_BEGIN)) SetEndOfFile(logFile);
}

}  // namespace

bool RunLogActive() { return logFile != INVALID_HANDLE_VALUE && !incomplete; }

bool RunLogIncomplete() { return incomplete; }

const char* SystemReason(unsigned long code, char* buffer, size_t capacity) {
  if (!buffer || capacity == 0) return "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer,
                                static_cast<DWORD>(capacity), nullptr);
  if (length == 0 || length >= capacity) {
    _snprintf(buffer, capacity, "error %lu", code);
    buffer[capacity - 1] = '\0';
    return buffer;
  }
  // One line: the system's text ends in a line break.
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                        buffer[length - 1] == ' ')) {
    --length;
  }
  buffer[length] = '\0';
  return buffer;
}

bool RunIsRehearsal() { return rehearsal; }

void SetRunRehearsal(bool value) { rehearsal = value; }

bool OpenRunLog(const char* path, unsigned long* errorCode) {
  CloseRunLog();
  if (!buffers) buffers = static_cast<EventBuffers*>(std::malloc(sizeof(EventBuffers)));
  if (!buffers) {
    if (errorCode) *errorCode = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  incomplete = false;
  wholeLinesEnd.QuadPart = 0;
  if (PathThroughLink(path)) {
    if (errorCode) *errorCode = ERROR_FILE_EXISTS;
    return false;
  }
  logFile = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD code = logFile == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  if (code == ERROR_FILE_EXISTS) {
    // The file itself is opened, never what a link leads to.
    logFile = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (logFile != INVALID_HANDLE_VALUE &&
        (!MayReplace(logFile) || SetFilePointer(logFile, 0, nullptr, FILE_BEGIN) != 0 ||
         !SetEndOfFile(logFile))) {
      CloseRunLog();
    }
    code = logFile == INVALID_HANDLE_VALUE ? ERROR_FILE_EXISTS : ERROR_SUCCESS;
  }
  if (code == ERROR_SUCCESS) return true;
  if (errorCode) *errorCode = code;
  return false;
}

void CloseRunLog() {
  if (logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
  logFile = INVALID_HANDLE_VALUE;
}

void LogEvent(const char* keyword, const char* format, ...) {
  if (!RunLogActive()) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char* text = buffers->text;
  int length = _snprintf(text, kEventCapacity, "%04u-%02u-%02u %02u:%02u:%02u.%03u %s ", now.wYear,
                         now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                         now.wMilliseconds, keyword);
  if (length < 0) return;

  // The fields are formatted apart, then escaped into the event.
  char* fields = buffers->fields;
  va_list args;
  va_start(args, format);
  int fieldLength = _vsnprintf(fields, kEventCapacity, format, args);
  va_end(args);
  fields[kEventCapacity - 1] = '\0';
  bool whole = fieldLength >= 0 && fieldLength < kEventCapacity;
  for (const char* p = fields; *p; ++p) {
    if (!Put(&length, *p)) {
      whole = false;
      break;
    }
  }
  if (!whole) {  // an event too long for a line says so
    text[length++] = '.';
    text[length++] = '.';
    text[length++] = '.';
  }
  text[length++] = '\r';
  text[length++] = '\n';

  int wide = MultiByteToWideChar(CP_ACP, 0, text, length, buffers->wide, kEventCapacity);
  int bytes = wide > 0 ? WideCharToMultiByte(CP_UTF8, 0, buffers->wide, wide, buffers->utf8,
                                             sizeof buffers->utf8, nullptr, nullptr)
                       : 0;
  if (bytes > 0) WriteLine(buffers->utf8, static_cast<DWORD>(bytes));
}

void LogChange(const char* keyword, const char* failure, const char* format, ...) {
  if (!RunLogActive()) {
    PlanBeginEvent();
    return;
  }
  char* change = buffers->change;
  va_list args;
  va_start(args, format);
  _vsnprintf(change, kEventCapacity, format, args);
  va_end(args);
  change[kEventCapacity - 1] = '\0';
  bool rehearsal = RunIsRehearsal();
  char planKeyword[32];
  _snprintf(planKeyword, sizeof planKeyword, "PLAN %s", keyword);
  planKeyword[sizeof planKeyword - 1] = '\0';
  LogEvent(rehearsal ? planKeyword : keyword, "%s%s%s%s", change,
           failure ? (rehearsal ? ": would fail: " : ": failed: ") : "", failure ? failure : "",
           rehearsal ? PlanRemark() : "");
  PlanBeginEvent();  // the next event starts afresh
}
