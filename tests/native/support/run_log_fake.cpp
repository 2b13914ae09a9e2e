#include "native/support/run_log_fake.h"

#include <cstdarg>
#include <cstdio>

#include "log/run_log.h"

namespace {
bool recording = false;
bool rehearsal = false;
std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}
}  // namespace

void FakeLogStart() {
  recording = true;
  Events().clear();
}

void FakeLogReset() {
  recording = false;
  rehearsal = false;
  Events().clear();
}

const std::vector<std::string>& FakeLogEvents() { return Events(); }

bool RunLogActive() { return recording; }
bool RunIsRehearsal() { return rehearsal; }
void SetRunRehearsal(bool value) { rehearsal = value; }
bool OpenRunLog(const char*, unsigned long*) {
  FakeLogStart();
  return true;
}
void CloseRunLog() { recording = false; }

void LogEvent(const char* keyword, const char* format, ...) {
  if (!recording) return;
  char fields[16384];
  va_list args;
  va_start(args, format);
  std::vsnprintf(fields, sizeof fields, format, args);
  va_end(args);
  Events().push_back(std::string(keyword) + " " + fields);
}
