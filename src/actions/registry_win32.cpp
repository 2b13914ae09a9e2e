#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "actions/registry.h"
#include "app/text.h"

namespace {

const DWORD kValueCapacity = 10250;  // bytes of data a read takes

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case kRootClassesRoot:
      return HKEY_CLASSES_ROOT;
    case kRootCurrentUser:
      return HKEY_CURRENT_USER;
    case kRootUsers:
      return HKEY_USERS;
    case kRootCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case kRootLocalMachine:
      break;
  }
  return HKEY_LOCAL_MACHINE;
}

bool IsEmptyText(const char* text) { return !text || text[0] == '\0'; }

unsigned long lastError = 0;

// Keeps the error code of a registry call for RegistryLastError.
bool Succeeded(LONG result) {
  if (result == ERROR_SUCCESS) return true;
  lastError = static_cast<unsigned long>(result);
  return false;
}

}  // namespace

char* RegistryReadString(const char* subkey, const char* valueName, RegistryRoot root) {
  HKEY rootKey = RootKey(root);
  // The data need not carry its own terminator: keep room for one.
  char buffer[kValueCapacity + 1];
  DWORD size = kValueCapacity;
  bool read = false;
  if (!IsEmptyText(valueName)) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(rootKey, subkey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      read = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                              &size) == ERROR_SUCCESS;
      RegCloseKey(key);
    }
  } else {
    LONG length = static_cast<LONG>(kValueCapacity);
    read = RegQueryValueA(rootKey, subkey, buffer, &length) == ERROR_SUCCESS;
    size = static_cast<DWORD>(length);
  }
  if (!read || size > kValueCapacity) return nullptr;
  buffer[size] = '\0';

  char* text = buffer;
  size_t length = std::strlen(text);
  if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
    text[length - 1] = '\0';
    ++text;
  }
  return DuplicateText(text);
}

bool RegistryWriteString(const char* subkey, const char* valueName, const char* data,
                         RegistryRoot root) {
  HKEY rootKey = RootKey(root);
  if (!data) data = "";
  size_t length = std::strlen(data);
  if (length >= 0x7FFFFFFF) return Succeeded(ERROR_INVALID_PARAMETER);
  if (!IsEmptyText(valueName)) {
    HKEY key = nullptr;
    if (!Succeeded(RegOpenKeyExA(rootKey, subkey, 0, KEY_WRITE, &key))) return false;
    bool written = Succeeded(RegSetValueExA(key, valueName, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(data),
                                            static_cast<DWORD>(length + 1)));
    RegCloseKey(key);
    return written;
  }
  return Succeeded(RegSetValueA(rootKey, subkey, REG_SZ, data, static_cast<DWORD>(length)));
}

unsigned long RegistryLastError() { return lastError; }

bool RegistryMayChange(RegistryRoot root, const char* subkey, bool makeSubkey,
                       unsigned long* errorCode) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(RootKey(root), subkey ? subkey : "", 0,
                              makeSubkey ? KEY_CREATE_SUB_KEY : KEY_SET_VALUE, &key);
  if (result == ERROR_SUCCESS) {
    RegCloseKey(key);
    return true;
  }
  if (errorCode) *errorCode = static_cast<unsigned long>(result);
  return false;
}

bool RegistryKeyExists(RegistryRoot root, const char* subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootKey(root), subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool RegistryKeyCounts(RegistryRoot root, const char* subkey, unsigned long* subkeys,
                       unsigned long* values) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootKey(root), subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD keys = 0;
  DWORD entries = 0;
  LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &keys, nullptr, nullptr,
                                 &entries, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return false;
  *subkeys = keys;
  *values = entries;
  return true;
}

bool RegistryKeyIsEmpty(RegistryRoot root, const char* subkey) {
  unsigned long subkeys = 0;
  unsigned long values = 0;
  // One value is allowed: the empty default value every key made here holds.
  return RegistryKeyCounts(root, subkey, &subkeys, &values) && subkeys == 0 && values <= 1;
}

RegistryDeletion RegistryDeleteEntry(const char* subkey, const char* valueName,
                                     RegistryRoot root) {
  // An empty subkey names the root itself, which is never deleted.
  if (IsEmptyText(subkey)) return kRegistryNothingToDelete;
  HKEY rootKey = RootKey(root);
  if (!IsEmptyText(valueName)) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(rootKey, subkey, 0, KEY_WRITE, &key);
    if (result == ERROR_FILE_NOT_FOUND) return kRegistryNothingToDelete;
    if (!Succeeded(result)) return kRegistryDeleteFailed;
    result = RegDeleteValueA(key, valueName);
    RegCloseKey(key);
    if (result == ERROR_FILE_NOT_FOUND) return kRegistryNothingToDelete;
    return Succeeded(result) ? kRegistryDeleted : kRegistryDeleteFailed;
  }
  if (!RegistryKeyExists(root, subkey)) return kRegistryNothingToDelete;
  if (!RegistryKeyIsEmpty(root, subkey)) return kRegistryKeyKept;
  return Succeeded(RegDeleteKeyA(rootKey, subkey)) ? kRegistryDeleted : kRegistryDeleteFailed;
}

unsigned char* RegistryReadValue(RegistryRoot root, const char* subkey, const char* valueName,
                                 unsigned long* type, unsigned long* size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootKey(root), subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  const char* name = IsEmptyText(valueName) ? nullptr : valueName;
  unsigned char* data = nullptr;
  DWORD length = 0;
  DWORD kind = 0;
  // The size may grow between the two calls: ask again once.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (RegQueryValueExA(key, name, nullptr, &kind, nullptr, &length) != ERROR_SUCCESS) break;
    std::free(data);
    data = static_cast<unsigned char*>(std::malloc(length ? length : 1));
    if (!data) break;
    LONG result = RegQueryValueExA(key, name, nullptr, &kind, data, &length);
    if (result == ERROR_SUCCESS) {
      RegCloseKey(key);
      *type = kind;
      *size = length;
      return data;
    }
    if (result != ERROR_MORE_DATA) break;
  }
  std::free(data);
  RegCloseKey(key);
  return nullptr;
}

bool RegistrySetValue(RegistryRoot root, const char* subkey, const char* valueName,
                      unsigned long type, const unsigned char* data, unsigned long size) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(RootKey(root), subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool set = RegSetValueExA(key, IsEmptyText(valueName) ? nullptr : valueName, 0, type, data,
                            size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return set;
}

bool RegistryRemoveValue(RegistryRoot root, const char* subkey, const char* valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootKey(root), subkey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
  LONG result = RegDeleteValueA(key, IsEmptyText(valueName) ? nullptr : valueName);
  RegCloseKey(key);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool RegistryMakeKey(RegistryRoot root, const char* subkey) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(RootKey(root), subkey, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

bool RegistryRemoveKey(RegistryRoot root, const char* subkey) {
  if (IsEmptyText(subkey)) return false;
  LONG result = RegDeleteKeyA(RootKey(root), subkey);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool RegistryFirstValueName(RegistryRoot root, const char* subkey, char* name,
                            unsigned long nameSize) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootKey(root), subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD length = nameSize;
  bool found = RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}
