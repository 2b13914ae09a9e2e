#include "actions/registry.h"

#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "journal/journal.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "log/value_text.h"
#include "script/script_reader.h"

namespace {

// How much of a value or a name the log quotes.
const size_t kLoggedValueSize = 1400;
// The registry's string type (winnt.h).
const unsigned long kStringType = 1;

// A new heap copy of [begin, end).
char* CopyRange(const char* begin, const char* end) {
  size_t length = static_cast<size_t>(end - begin);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, begin, length);
  copy[length] = '\0';
  return copy;
}

// root\subkey: how the log names a key, and the rehearsal's item for it.
const char* KeyName(RegistryRoot root, const char* subkey, char* name, size_t size) {
  if (subkey[0] == '\0') {
    CopyText(name, size, RegistryRootName(root));
  } else {
    FormatText(name, size, "%s\\%s", RegistryRootName(root), subkey);
  }
  return name;
}

// The rehearsal's item for a value: its key, a line break, its name.
const char* ValueItemName(RegistryRoot root, const char* subkey, const char* valueName,
                          char* name, size_t size) {
  KeyName(root, subkey, name, size);
  AppendText(name, size, "\n");
  AppendText(name, size, valueName ? valueName : "");
  return name;
}

const char kJournalRefused[] = "the journal cannot record it";

// The reason a change failed, as the log writes it after ": failed: ".
const char* RegistryReason(char* buffer, size_t size) {
  return SystemReason(RegistryLastError(), buffer, size);
}

// --- the rehearsal: earlier lines' changes over the system's state -------------

// Whether the key would be there when the line runs.
bool PlanKeyExists(RegistryRoot root, const char* subkey) {
  if (subkey[0] == '\0') return true;  // a root always is
  char name[kLoggedValueSize];
  PlanItem item = PlanGetItem(KeyName(root, subkey, name, sizeof name));
  if (item.state != kPlanUnknown) return item.state == kPlanPresent;
  return RegistryKeyExists(root, subkey);
}

// Whether the key is there now, not only by an earlier line's change.
bool KeyOnSystem(RegistryRoot root, const char* subkey) {
  return subkey[0] == '\0' || RegistryKeyExists(root, subkey);
}

// Sets a value in the rehearsal's items.
void PlanValue(RegistryRoot root, const char* subkey, const char* valueName, PlanState state,
               const char* text) {
  char name[kLoggedValueSize];
  PlanItem item = {state, "", kStringType, reinterpret_cast<const unsigned char*>(text),
                   text ? static_cast<unsigned long>(std::strlen(text) + 1) : 0, false};
  PlanSetItem(ValueItemName(root, subkey, valueName, name, sizeof name), item);
}

// The value as the log shows it ("absent", or its type and data): after
// earlier lines' changes in a rehearsal, as the system holds it otherwise.
void DescribeValue(RegistryRoot root, const char* subkey, const char* valueName, char* text,
                   size_t size) {
  if (RunIsRehearsal()) {
    char name[kLoggedValueSize];
    PlanItem item = PlanGetItem(ValueItemName(root, subkey, valueName, name, sizeof name));
    if (item.state == kPlanPresent) {
      DescribeRegistryValue(item.type, item.data, item.size, text, size);
      return;
    }
    if (item.state == kPlanAbsent || !PlanKeyExists(root, subkey)) {
      CopyText(text, size, "absent");
      return;
    }
  }
  unsigned long type = 0;
  unsigned long length = 0;
  unsigned char* data = RegistryReadValue(root, subkey, valueName, &type, &length);
  if (data) {
    DescribeRegistryValue(type, data, length, text, size);
    std::free(data);
  } else {
    CopyText(text, size, "absent");
  }
}

// Why a change of the key (or, with makeSubkey, a key made below the nearest
// one there) would fail; null when it would not. Keys that earlier lines
// make are this process's own.
const char* PlanRefusal(RegistryRoot root, const char* subkey, bool makeSubkey, char* reason,
                        size_t size) {
  char nearest[kLoggedValueSize];
  CopyText(nearest, sizeof nearest, subkey);
  if (makeSubkey) {
    // The nearest key above that is there.
    for (;;) {
      char* cut = std::strrchr(nearest, '\\');
      if (!cut) {
        nearest[0] = '\0';
        break;
      }
      *cut = '\0';
      if (PlanKeyExists(root, nearest)) break;
    }
  }
  if (!KeyOnSystem(root, nearest)) return nullptr;
  unsigned long code = 0;
  if (RegistryMayChange(root, nearest, makeSubkey, &code)) return nullptr;
  return SystemReason(code, reason, size);
}

// The subkeys and values a key would hold, after earlier lines' changes.
struct KeyCounts {
  RegistryRoot root;
  const char* subkey;
  size_t keyNameLength;
  long subkeys;
  long values;
};

void CountChildValue(const char* name, const PlanItem& item, void* context) {
  KeyCounts* counts = static_cast<KeyCounts*>(context);
  unsigned long type = 0;
  unsigned long size = 0;
  unsigned char* data =
      RegistryReadValue(counts->root, counts->subkey, name + counts->keyNameLength + 1, &type, &size);
  bool onSystem = data != nullptr;
  std::free(data);
  if (item.state == kPlanPresent && !onSystem) ++counts->values;
  if (item.state == kPlanAbsent && onSystem) --counts->values;
}

void CountChildKey(const char* name, const PlanItem& item, void* context) {
  KeyCounts* counts = static_cast<KeyCounts*>(context);
  // The item's name without its root is the subkey.
  const char* childSubkey = std::strchr(name, '\\');
  bool onSystem = childSubkey && RegistryKeyExists(counts->root, childSubkey + 1);
  if (item.state == kPlanPresent && !onSystem) ++counts->subkeys;
  if (item.state == kPlanAbsent && onSystem) --counts->subkeys;
}

bool PlanKeyIsEmpty(RegistryRoot root, const char* subkey) {
  char name[kLoggedValueSize];
  KeyName(root, subkey, name, sizeof name);
  unsigned long subkeys = 0;
  unsigned long values = 0;
  RegistryKeyCounts(root, subkey, &subkeys, &values);
  KeyCounts counts = {root, subkey, std::strlen(name), static_cast<long>(subkeys),
                      static_cast<long>(values)};
  PlanForEachChild(name, '\n', CountChildValue, &counts);
  PlanForEachChild(name, '\\', CountChildKey, &counts);
  return counts.subkeys <= 0 && counts.values <= 1;
}

void ForgetValue(const char* name, const PlanItem&, void*) { PlanSetState(name, kPlanAbsent); }

// A key gone in the rehearsal, with the one value it may hold.
void PlanKeyDeleted(RegistryRoot root, const char* subkey) {
  char name[kLoggedValueSize];
  KeyName(root, subkey, name, sizeof name);
  PlanForEachChild(name, '\n', ForgetValue, nullptr);
  char valueName[kLoggedValueSize];
  if (KeyOnSystem(root, subkey) && RegistryFirstValueName(root, subkey, valueName, sizeof valueName)) {
    PlanValue(root, subkey, valueName, kPlanAbsent, nullptr);
  }
  PlanSetState(name, kPlanAbsent);
}

// --- the lines ------------------------------------------------------------------

// Makes the key at path exist (an existing key is left as it is), or in a
// rehearsal says that it would be made. False when it cannot be made.
bool EnsureKey(RegistryRoot root, const char* path) {
  if (path[0] == '\0') return true;  // the root itself always exists
  char name[kLoggedValueSize];
  KeyName(root, path, name, sizeof name);
  char reason[256];
  const char* failure = nullptr;
  if (RunIsRehearsal()) {
    PlanBeginEvent();
    if (PlanKeyExists(root, path)) return true;
    failure = PlanRefusal(root, path, true, reason, sizeof reason);
    if (!failure) {
      PlanSetState(name, kPlanPresent);
      PlanValue(root, path, "", kPlanPresent, "");  // a key made here holds an empty default value
    }
  } else {
    // A key whose default value cannot be read as text (too long, another
    // type) still exists: its value must not be replaced by the empty text.
    char* existing = RegistryReadString(path, nullptr, root);
    std::free(existing);
    if (existing || RegistryKeyExists(root, path)) return true;
    if (JournalActive() && !JournalRegistryKey(root, path)) {
      failure = kJournalRefused;
    } else if (!RegistryWriteString(path, nullptr, "", root)) {
      failure = RegistryReason(reason, sizeof reason);
    }
  }
  LogChange("REG", failure, "%s: key created", name);
  return !failure;
}

void WriteValue(RegistryRoot root, const RegistryLineFields& fields) {
  bool keyMade = RegistryCreateKeyPath(root, fields.subkey);
  char key[kLoggedValueSize];
  KeyName(root, fields.subkey, key, sizeof key);
  char old[kLoggedValueSize];
  char reason[256];
  const char* failure = nullptr;
  // The old value is read once the keys are made: a new key's default value
  // is then the empty text, as it is when the value is written.
  PlanBeginEvent();
  if (RunLogActive()) DescribeValue(root, fields.subkey, fields.valueName, old, sizeof old);
  if (RunIsRehearsal()) {
    if (!keyMade) {
      failure = "the key cannot be made";
    } else if (KeyOnSystem(root, fields.subkey)) {
      failure = PlanRefusal(root, fields.subkey, false, reason, sizeof reason);
    }
    if (!failure) PlanValue(root, fields.subkey, fields.valueName, kPlanPresent, fields.data);
  } else if (!JournalRegistryValue(root, fields.subkey, fields.valueName, fields.data)) {
    failure = kJournalRefused;
  } else if (!RegistryWriteString(fields.subkey, fields.valueName, fields.data, root)) {
    failure = RegistryReason(reason, sizeof reason);
  }
  LogChange("REG", failure, "%s value \"%s\": %s -> REG_SZ \"%s\"", key,
            fields.valueName && fields.valueName[0] ? fields.valueName : "(default)", old,
            fields.data);
}

// A [DelReg] line: a value, or (without a value name) a key with no
// subkeys and at most one value.
void Delete(RegistryRoot root, const char* subkey, const char* valueName) {
  char key[kLoggedValueSize];
  KeyName(root, subkey, key, sizeof key);
  char what[kLoggedValueSize * 2];
  char reason[256];
  const char* failure = nullptr;
  RegistryDeletion result = kRegistryDeleted;
  PlanBeginEvent();
  if (valueName) {
    char old[kLoggedValueSize] = "absent";
    if (RunLogActive() || RunIsRehearsal()) DescribeValue(root, subkey, valueName, old, sizeof old);
    FormatText(what, sizeof what, "%s value \"%s\": %s -> deleted", key, valueName, old);
    if (RunIsRehearsal()) {
      if (std::strcmp(old, "absent") == 0) {
        result = kRegistryNothingToDelete;
      } else if (KeyOnSystem(root, subkey)) {
        failure = PlanRefusal(root, subkey, false, reason, sizeof reason);
      }
      if (result == kRegistryDeleted && !failure) {
        PlanValue(root, subkey, valueName, kPlanAbsent, nullptr);
      }
    } else if (!JournalRegistryValue(root, subkey, valueName, nullptr)) {
      failure = kJournalRefused;
    } else {
      result = RegistryDeleteEntry(subkey, valueName, root);
    }
  } else {
    FormatText(what, sizeof what, "%s: key deleted", key);
    if (RunIsRehearsal()) {
      result = !PlanKeyExists(root, subkey) ? kRegistryNothingToDelete
               : !PlanKeyIsEmpty(root, subkey) ? kRegistryKeyKept
                                               : kRegistryDeleted;
      if (result == kRegistryDeleted) PlanKeyDeleted(root, subkey);
    } else if (RegistryKeyIsEmpty(root, subkey) && !JournalRegistryKeyDeletion(root, subkey)) {
      failure = kJournalRefused;  // a key that stays needs no record
    } else {
      result = RegistryDeleteEntry(subkey, nullptr, root);
    }
  }
  if (result == kRegistryDeleteFailed) failure = RegistryReason(reason, sizeof reason);
  if (result == kRegistryNothingToDelete) {
    FormatText(what, sizeof what, valueName ? "%s value \"%s\": absent: nothing to delete"
                                            : "%s: no such key", key, valueName);
  } else if (result == kRegistryKeyKept) {
    FormatText(what, sizeof what, "%s: key kept: it holds subkeys or more than one value", key);
  }
  LogChange("REG", failure, "%s", what);
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

bool RegistryCreateKeyPath(RegistryRoot root, char* path) {
  if (!path) return false;
  // Below a key that cannot be made none can.
  for (char* p = path; *p; ++p) {
    if (*p != '\\') continue;
    *p = '\0';
    bool made = EnsureKey(root, path);
    *p = '\\';
    if (!made) return false;
  }
  // A path that ends in a backslash was done at that backslash.
  size_t length = std::strlen(path);
  return length == 0 || path[length - 1] == '\\' || EnsureKey(root, path);
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
  RegistryLineFields fields;
  if (!SplitRegistryLine(line, &fields)) {
    LogChange("REG", nullptr, "\"%s\": no fields: nothing is changed", line ? line : "");
    return;
  }
  RegistryRoot root = RegistryRootFromName(fields.rootName);
  if (!deleteFlag) {
    if (fields.subkey && fields.data) {
      WriteValue(root, fields);
    } else {
      LogChange("REG", nullptr, "\"%s\": no subkey or no data: nothing is written", line);
    }
  } else if (!fields.subkey) {
    LogChange("REG", nullptr, "\"%s\": no subkey: nothing is deleted", line);
  } else if (fields.subkey[0] == '\0') {
    LogChange("REG", nullptr, "%s: a root is never deleted", RegistryRootName(root));
  } else {
    // Without a value name the key itself is the target.
    Delete(root, fields.subkey, fields.valueName && fields.valueName[0] ? fields.valueName : nullptr);
  }
  FreeRegistryLine(&fields);
}
