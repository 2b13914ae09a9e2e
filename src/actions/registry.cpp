#include "actions/registry.h"

#include <cstdlib>
#include <cstring>

#include "script/script_reader.h"

namespace {

// A new heap copy of [begin, end).
char* CopyRange(const char* begin, const char* end) {
  size_t length = static_cast<size_t>(end - begin);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, begin, length);
  copy[length] = '\0';
  return copy;
}

// Makes the key at path exist; an existing key is left as it is. A key
// whose default value cannot be read as text (too long, another type) still
// exists: its value must not be replaced by the empty text.
void EnsureKey(RegistryRoot root, const char* path) {
  if (path[0] == '\0') return;  // the root itself always exists
  char* existing = RegistryReadString(path, nullptr, root);
  if (existing) {
    std::free(existing);
    return;
  }
  if (!RegistryKeyExists(root, path)) RegistryWriteString(path, nullptr, "", root);
}

}  // namespace

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
  RegistryLineFields fields;
  if (!SplitRegistryLine(line, &fields)) return;
  RegistryRoot root = RegistryRootFromName(fields.rootName);
  if (!deleteFlag) {
    if (fields.subkey && fields.data) {
      RegistryCreateKeyPath(root, fields.subkey);
      RegistryWriteString(fields.subkey, fields.valueName, fields.data, root);
    }
  } else if (fields.subkey) {
    // Without a value name the key itself is the target.
    RegistryDeleteEntry(fields.subkey, fields.valueName, root);
  }
  FreeRegistryLine(&fields);
}
