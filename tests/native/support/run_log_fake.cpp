#include "native/support/run_log_fake.h"

#include <cstdarg>
#include <cstdio>

#include "log/plan_changes.h"
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
bool RunLogIncomplete() { return false; }
const char* SystemReason(unsigned long code, char* buffer, size_t capacity) {
  std::snprintf(buffer, capacity, "error %lu", code);
  return buffer;
}

void LogEvent(const char* keyword, const char* format, ...) {
  if (!recording) return;
  char fields[16384];
  va_list args;
  va_start(args, format);
  std::vsnprintf(fields, sizeof fields, format, args);
  va_end(args);
  Events().push_back(std::string(keyword) + " " + fields);
}

void LogChange(const char* keyword, const char* failure, const char* format, ...) {
  if (!recording) {
    PlanBeginEvent();
    return;
  }
  char fields[16384];
  va_list args;
  va_start(args, format);
  std::vsnprintf(fields, sizeof fields, format, args);
  va_end(args);
  std::string event = (rehearsal ? "PLAN " : "") + std::string(keyword) + " " + fields;
  if (failure) event += std::string(rehearsal ? ": would fail: " : ": failed: ") + failure;
  if (rehearsal) event += PlanRemark();
  Events().push_back(event);
  PlanBeginEvent();
}
