// The run's log file: UTF-8 text, one event a line, each line written to
// the file as soon as it is made, so a run that is killed leaves every line
// before its end.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

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
  logFile = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (logFile != INVALID_HANDLE_VALUE) return true;
  if (errorCode) *errorCode = GetLastError();
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
