// [WriteIni]/[DelIni] lines from random bytes: at most one change per line,
// every field within 263 characters, the file name being the head of the line.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "actions/ini_line.h"
#include "native/support/ini_record.h"

namespace {
void Check(bool condition) {
  if (!condition) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  bool deleteFlag = data[0] & 1;
  ++data;
  --size;
  if (size > 1300) size = 1300;
  char* line = static_cast<char*>(std::malloc(size + 1));
  std::memcpy(line, data, size);
  line[size] = '\0';
  char* original = static_cast<char*>(std::malloc(size + 1));
  std::memcpy(original, line, size + 1);

  IniLineChange change;
  char* scanned = static_cast<char*>(std::malloc(size + 1));
  std::memcpy(scanned, original, size + 1);
  bool wanted = ScanIniLine(scanned, deleteFlag, &change);
  Check(std::strlen(change.section) < static_cast<size_t>(kIniFieldSize));
  Check(std::strlen(change.key) < static_cast<size_t>(kIniFieldSize));
  Check(std::strlen(change.value) < static_cast<size_t>(kIniFieldSize));

  IniRecordClear();
  ApplyIniLine(line, deleteFlag);
  int count = IniRecordCount();
  Check(count == (wanted ? 1 : 0));
  if (count == 1) {
    const IniRecordedChange* recorded = IniRecordAt(0);
    Check(recorded->remove == deleteFlag);
    Check(recorded->valueGiven == !deleteFlag);
    Check(std::strlen(recorded->section) <= 263 && std::strlen(recorded->key) <= 263 &&
          std::strlen(recorded->value) <= 263);
    const char* equals = std::strchr(original, '=');
    Check(equals != nullptr && equals != original);
    size_t head = static_cast<size_t>(equals - original);
    Check(std::strlen(recorded->file) == head && std::strncmp(recorded->file, original, head) == 0);
    Check(std::strcmp(recorded->section, change.section) == 0);
    Check(std::strcmp(recorded->key, change.key) == 0);
  }
  std::free(scanned);
  std::free(original);
  std::free(line);
  return 0;
}
