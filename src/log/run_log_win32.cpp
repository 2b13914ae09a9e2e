// The run's log file: UTF-8 text, one event a line, each line written to
// the file as soon as it is made, so a run that is killed leaves every line
// before its end.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "log/run_log.h"

namespace {

const int kEventCapacity = 8192;  // bytes of one event before conversion

HANDLE logFile = INVALID_HANDLE_VALUE;
bool rehearsal = false;

// The buffers of one event, made with the log: its fields, the event as
// ANSI text, then as UTF-16 and as UTF-8. A run without a log needs none.
struct EventBuffers {
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

}  // namespace

bool RunLogActive() { return logFile != INVALID_HANDLE_VALUE; }

bool RunIsRehearsal() { return rehearsal; }

void SetRunRehearsal(bool value) { rehearsal = value; }

bool OpenRunLog(const char* path, unsigned long* errorCode) {
  CloseRunLog();
  if (!buffers) buffers = static_cast<EventBuffers*>(std::malloc(sizeof(EventBuffers)));
  if (!buffers) {
    if (errorCode) *errorCode = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
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
  if (logFile == INVALID_HANDLE_VALUE) return;
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
  DWORD written = 0;
  if (bytes > 0) WriteFile(logFile, buffers->utf8, static_cast<DWORD>(bytes), &written, nullptr);
}
