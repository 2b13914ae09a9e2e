#include "actions/registry.h"

#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "journal/journal.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "script/script_reader.h"

namespace {

// How much of an old value the log quotes.
const size_t kLoggedValueSize = 1400;

// A new heap copy of [begin, end).
char* CopyRange(const char* begin, const char* end) {
  size_t length = static_cast<size_t>(end - begin);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, begin, length);
  copy[length] = '\0';
  return copy;
}

// root\subkey, the name a rehearsal notes a key's changes under.
const char* KeyName(RegistryRoot root, const char* subkey, char* name, size_t size) {
  FormatText(name, size, "%s\\%s", RegistryRootName(root), subkey);
  return name;
}

// root\subkey value name (or root\subkey for the default value): what a
// rehearsal notes a value's change under.
const char* ValueKeyName(RegistryRoot root, const char* subkey, const char* valueName, char* name,
                         size_t size) {
  KeyName(root, subkey, name, size);
  if (valueName && valueName[0]) {
    AppendText(name, size, " value ");
    AppendText(name, size, valueName);
  }
  return name;
}

// Makes the key at path exist; an existing key is left as it is. A key
// whose default value cannot be read as text (too long, another type) still
// exists: its value must not be replaced by the empty text.
void EnsureKey(RegistryRoot root, const char* path) {
  if (path[0] == '\0') return;  // the root itself always exists
  if (RunIsRehearsal()) {
    char name[kLoggedValueSize];
    KeyName(root, path, name, sizeof name);
    if (!PlanChangedEarlier(name) && !RegistryKeyExists(root, path)) {
      LogEvent("PLAN REG", "%s: the key would be created", name);
      PlanNoteChange(name);
    }
    return;
  }
  char* existing = RegistryReadString(path, nullptr, root);
  if (existing) {
    std::free(existing);
    return;
  }
  if (RegistryKeyExists(root, path)) return;
  if (JournalActive() && !JournalRegistryKey(root, path)) return;
  if (RegistryWriteString(path, nullptr, "", root)) {
    LogEvent("REG", "%s\\%s: key created", RegistryRootName(root), path);
  }
}

// The value's present data as the log shows it, quoted, or "absent".
void DescribeValue(RegistryRoot root, const char* subkey, const char* valueName, char* text,
                   size_t size) {
  char* data = RegistryReadString(subkey, valueName, root);
  if (data) {
    FormatText(text, size, "\"%s\"", data);
    std::free(data);
  } else {
    CopyText(text, size, "absent");
  }
}

// What a [DelReg] line does to its key or value, for the log: the same
// decision the deletion takes.
void LogRegistryDeletion(RegistryRoot root, const char* subkey, const char* valueName) {
  const char* keyword = RunIsRehearsal() ? "PLAN REG" : "REG";
  const char* rootName = RegistryRootName(root);
  if (subkey[0] == '\0') {
    LogEvent(keyword, "%s: a root is never deleted", rootName);
  } else if (valueName && valueName[0]) {
    char old[kLoggedValueSize];
    DescribeValue(root, subkey, valueName, old, sizeof old);
    char name[kLoggedValueSize];
    LogEvent(keyword, "%s\\%s value \"%s\": %s -> deleted%s", rootName, subkey, valueName, old,
             PlanRemark(ValueKeyName(root, subkey, valueName, name, sizeof name)));
  } else if (!RegistryKeyExists(root, subkey)) {
    LogEvent(keyword, "%s\\%s: no such key", rootName, subkey);
  } else if (RegistryKeyIsEmpty(root, subkey)) {
    char name[kLoggedValueSize];
    LogEvent(keyword, "%s\\%s: key deleted%s", rootName, subkey,
             PlanRemark(KeyName(root, subkey, name, sizeof name)));
  } else {
    LogEvent(keyword, "%s\\%s: key kept: it holds subkeys or more than one value", rootName,
             subkey);
  }
}

// Records what a [DelReg] line is about to delete: a value, or a key with
// no subkeys and at most one value (a key that stays needs no record).
bool RecordRegistryDeletion(RegistryRoot root, const char* subkey, const char* valueName) {
  if (subkey[0] == '\0') return true;  // a root is never deleted
  if (valueName && valueName[0]) return JournalRegistryValue(root, subkey, valueName, nullptr);
  if (!RegistryKeyIsEmpty(root, subkey)) return true;
  return JournalRegistryKeyDeletion(root, subkey);
}

}  // namespace

const char* RegistryRootName(RegistryRoot root) {
  switch (root) {
    case kRootClassesRoot: return "HKCR";
    case kRootCurrentUser: return "HKCU";
    case kRootUsers: return "HKU";
    case kRootCurrentConfig: return "HKCC";
    case kRootLocalMachine: break;
  }
  return "HKLM";
}

RegistryRoot RegistryRootFromName(const char* name) {
  if (!name) return kRootLocalMachine;
  if (StartsWithText(name, "HKCR")) return kRootClassesRoot;
  if (StartsWithText(name, "HKCU")) return kRootCurrentUser;
  if (StartsWithText(name, "HKLM")) return kRootLocalMachine;
  if (StartsWithText(name, "HKCC")) return kRootCurrentConfig;
  if (StartsWithText(name, "HKU") && name[3] == '\0') return kRootUsers;
  return kRootLocalMachine;
}

void RegistryCreateKeyPath(RegistryRoot root, char* path) {
  if (!path) return;
  for (char* p = path; *p; ++p) {
    if (*p != '\\') continue;
    *p = '\0';
    EnsureKey(root, path);
    *p = '\\';
  }
  // A path that ends in a backslash was done at that backslash.
  size_t length = std::strlen(path);
  if (length > 0 && path[length - 1] != '\\') EnsureKey(root, path);
}

bool SplitRegistryLine(const char* line, RegistryLineFields* fields) {
  if (!fields) return false;
  fields->rootName = fields->subkey = fields->valueName = fields->data = nullptr;
  if (!line) return false;
  const char* first = std::strchr(line, ';');
  if (!first) return false;
  const char* second = std::strchr(first + 1, ';');
  const char* third = second ? std::strchr(second + 1, ';') : nullptr;

  bool ok = (fields->rootName = CopyRange(line, first)) != nullptr;
  if (ok && second) ok = (fields->subkey = CopyRange(first + 1, second)) != nullptr;
  if (ok && third) {
    ok = (fields->valueName = CopyRange(second + 1, third)) != nullptr;
    const char* dataEnd = std::strchr(third + 1, ';');
    if (!dataEnd) dataEnd = third + 1 + std::strlen(third + 1);
    if (ok) ok = (fields->data = CopyRange(third + 1, dataEnd)) != nullptr;
  }
  if (!ok) FreeRegistryLine(fields);
  return ok;
}

void FreeRegistryLine(RegistryLineFields* fields) {
  if (!fields) return;
  std::free(fields->rootName);
  std::free(fields->subkey);
  std::free(fields->valueName);
  std::free(fields->data);
  fields->rootName = fields->subkey = fields->valueName = fields->data = nullptr;
}

void ApplyRegistryLine(const char* line, bool deleteFlag) {
  const char* keyword = RunIsRehearsal() ? "PLAN REG" : "REG";
  RegistryLineFields fields;
  if (!SplitRegistryLine(line, &fields)) {
    LogEvent(keyword, "\"%s\": no fields: nothing is changed", line ? line : "");
    return;
  }
  RegistryRoot root = RegistryRootFromName(fields.rootName);
  const char* rootName = RegistryRootName(root);
  char planName[kLoggedValueSize];
  if (!deleteFlag) {
    if (fields.subkey && fields.data) {
      const char* valueName = fields.valueName && fields.valueName[0] ? fields.valueName
                                                                      : "(default)";
      char old[kLoggedValueSize] = "";
      if (RunLogActive()) DescribeValue(root, fields.subkey, fields.valueName, old, sizeof old);
      RegistryCreateKeyPath(root, fields.subkey);
      if (RunIsRehearsal()) {
        ValueKeyName(root, fields.subkey, fields.valueName, planName, sizeof planName);
        LogEvent(keyword, "%s\\%s value \"%s\": %s -> \"%s\"%s", rootName, fields.subkey,
                 valueName, old, fields.data, PlanRemark(planName));
        PlanNoteChange(planName);
      } else {
        bool written = JournalRegistryValue(root, fields.subkey, fields.valueName, fields.data) &&
                       RegistryWriteString(fields.subkey, fields.valueName, fields.data, root);
        LogEvent(keyword, "%s\\%s value \"%s\": %s -> \"%s\"%s", rootName, fields.subkey,
                 valueName, old, fields.data, written ? "" : ": failed");
      }
    } else {
      LogEvent(keyword, "\"%s\": no subkey or no data: nothing is written", line);
    }
  } else if (fields.subkey) {
    if (RunLogActive()) LogRegistryDeletion(root, fields.subkey, fields.valueName);
    // Without a value name the key itself is the target.
    if (RunIsRehearsal()) {
      PlanNoteChange(
          ValueKeyName(root, fields.subkey, fields.valueName, planName, sizeof planName));
    } else if (JournalActive() && !RecordRegistryDeletion(root, fields.subkey, fields.valueName)) {
      LogEvent(keyword, "\"%s\": not deleted: the journal cannot record it", line);
    } else {
      RegistryDeleteEntry(fields.subkey, fields.valueName, root);
    }
  } else {
    LogEvent(keyword, "\"%s\": no subkey: nothing is deleted", line);
  }
  FreeRegistryLine(&fields);
}
