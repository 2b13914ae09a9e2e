// What the subsystems' text processing asks of the system, answered for
// setupcheck without any installation: no file versions, no registry, no INI
// changes; shell folders and the temporary directory as stand-in texts.
#include <cstdlib>
#include <cstring>

#include "actions/file_plan.h"
#include "actions/ini_file.h"
#include "actions/registry.h"
#include "app/text.h"
#include "check/stand_ins.h"
#include "expand/expand.h"
#include "journal/journal.h"
#include "log/run_log.h"
#include "version/version.h"

namespace {

// A path of `length` characters (at most 260) into a 261-byte buffer.
void LongPath(char* path, int length, bool finalBackslash) {
  std::memset(path, 'x', static_cast<size_t>(length));
  path[0] = 'X';
  path[1] = ':';
  path[2] = '\\';
  if (finalBackslash) path[length - 1] = '\\';
  path[length] = '\0';
}

}  // namespace

bool GetFileVersion(const char* path, FileVersion* version) {
  *version = checkLongestValues ? FileVersion{65535, 65535, 65535, 65535} : FileVersion{0, 0, 0, 0};
  return checkLongestValues;
}

bool GetSpecialFolderPath(int csidl, char* path) {
  if (checkLongestValues) {
    LongPath(path, kLongestPath - 1, false);
  } else {
    CopyText(path, 261, kFolderMarker);
  }
  return true;
}

bool GetTempDirectory(char* path) {
  if (checkLongestValues) {
    LongPath(path, kLongestPath, true);
  } else {
    CopyText(path, 261, kTempMarker);
  }
  return true;
}

char* RegistryReadString(const char* subkey, const char* valueName, RegistryRoot root) {
  return nullptr;
}

bool RegistryWriteString(const char* subkey, const char* valueName, const char* data,
                         RegistryRoot root) {
  return false;
}

bool RegistryKeyExists(RegistryRoot root, const char* subkey) { return false; }

bool RegistryKeyIsEmpty(RegistryRoot root, const char* subkey) { return false; }

bool RegistryKeyCounts(RegistryRoot, const char*, unsigned long*, unsigned long*) { return false; }

bool RegistryMayChange(RegistryRoot, const char*, bool, unsigned long*) { return false; }

unsigned long RegistryLastError() { return 0; }

unsigned char* RegistryReadValue(RegistryRoot, const char*, const char*, unsigned long*,
                                 unsigned long*) {
  return nullptr;
}

bool RegistryFirstValueName(RegistryRoot, const char*, char*, unsigned long) { return false; }

RegistryDeletion RegistryDeleteEntry(const char* subkey, const char* valueName, RegistryRoot root) {
  return kRegistryNothingToDelete;
}

bool ChangeIniEntry(const char* file, const char* section, const char* key, const char* value,
                    bool remove, unsigned long*) {
  return false;
}

const char* PlanIniChange(const char*, bool, char*, size_t) { return nullptr; }

char* ReadIniEntry(const char*, const char*, const char*) { return nullptr; }

// setupcheck carries nothing out: it keeps no log and no undo journal.
bool RunLogActive() { return false; }
void LogEvent(const char*, const char*, ...) {}
void LogChange(const char*, const char*, const char*, ...) {}
const char* SystemReason(unsigned long, char* buffer, size_t capacity) {
  CopyText(buffer, capacity, "");
  return buffer;
}
bool RunIsRehearsal() { return false; }
bool JournalActive() { return false; }
bool JournalIniFile(const char*) { return true; }
void JournalIniWritten(const char*) {}
bool JournalRegistryValue(RegistryRoot, const char*, const char*, const char*) { return true; }
bool JournalRegistryKey(RegistryRoot, const char*) { return true; }
bool JournalRegistryKeyDeletion(RegistryRoot, const char*) { return true; }
