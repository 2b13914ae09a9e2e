#include "native/support/ini_record.h"

#include "actions/file_plan.h"

#include "actions/ini_file.h"
#include "app/text.h"

namespace {
IniRecordedChange gChanges[kIniRecordCapacity];
int gCount = 0;
}  // namespace

void IniRecordClear() { gCount = 0; }

int IniRecordCount() { return gCount; }

const IniRecordedChange* IniRecordAt(int index) {
  if (index < 0 || index >= gCount || index >= kIniRecordCapacity) return nullptr;
  return &gChanges[index];
}

bool ChangeIniEntry(const char* file, const char* section, const char* key, const char* value,
                    bool remove, unsigned long*) {
  if (gCount < kIniRecordCapacity) {
    IniRecordedChange& change = gChanges[gCount];
    CopyText(change.file, sizeof change.file, file);
    CopyText(change.section, sizeof change.section, section);
    CopyText(change.key, sizeof change.key, key);
    CopyText(change.value, sizeof change.value, value);
    change.valueGiven = value != nullptr;
    change.remove = remove;
  }
  ++gCount;
  return true;
}

// The native tests judge no INI file: every change would work.
const char* PlanIniChange(const char*, bool, char*, size_t) { return nullptr; }

// The native tests keep no INI files: every key is absent.
char* ReadIniEntry(const char*, const char*, const char*) { return nullptr; }
