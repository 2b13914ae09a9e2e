#include "native/support/system_fakes.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "expand/expand.h"

namespace {

std::string Folded(const char* text) {
  std::string folded = text ? text : "";
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

struct FakeValue {
  std::string name;  // as written; compared folded
  std::string data;
};

struct FakeKey {
  RegistryRoot root;
  std::string path;  // folded
  bool hasDefault = false;
  std::string defaultData;
  std::vector<FakeValue> values;
};

struct FakeSystem {
  std::map<std::string, FileVersion> versions;
  std::map<int, std::string> folders;
  bool hasTemp = false;
  std::string temp;
  std::vector<FakeKey> keys;
  int readCount = 0;
  std::vector<std::pair<RegistryRoot, std::string>> refused;  // folded paths
};

FakeSystem& System() {
  static FakeSystem system;
  return system;
}

FakeKey* FindKey(RegistryRoot root, const char* subkey) {
  std::string path = Folded(subkey);
  for (FakeKey& key : System().keys) {
    if (key.root == root && key.path == path) return &key;
  }
  return nullptr;
}

bool KeyExists(RegistryRoot root, const char* subkey) {
  return !subkey || subkey[0] == '\0' || FindKey(root, subkey) != nullptr;
}

// The key, created with every key above it, as the real RegSetValueA does.
// The root itself is kept as a key with an empty path.
FakeKey* MakeKey(RegistryRoot root, const char* subkey) {
  std::string path = subkey ? subkey : "";
  FakeKey* key = FindKey(root, path.c_str());
  if (key) return key;
  size_t cut = path.rfind('\\');
  if (cut != std::string::npos && cut > 0) MakeKey(root, path.substr(0, cut).c_str());
  FakeKey made;
  made.root = root;
  made.path = Folded(path.c_str());
  System().keys.push_back(made);
  return &System().keys.back();
}

FakeValue* FindValue(FakeKey* key, const char* name) {
  std::string folded = Folded(name);
  for (FakeValue& value : key->values) {
    if (Folded(value.name.c_str()) == folded) return &value;
  }
  return nullptr;
}

bool HasSubkeys(const FakeKey& key) {
  std::string prefix = key.path.empty() ? "" : key.path + "\\";
  for (const FakeKey& other : System().keys) {
    if (other.root == key.root && other.path.size() > prefix.size() &&
        other.path.compare(0, prefix.size(), prefix) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

void FakeSystemReset() { System() = FakeSystem(); }

void FakeSetFileVersion(const char* path, FileVersion version) { System().versions[path] = version; }

void FakeSetSpecialFolder(int csidl, const char* path) {
  if (path) {
    System().folders[csidl] = path;
  } else {
    System().folders.erase(csidl);
  }
}

void FakeSetTempDirectory(const char* path) {
  System().hasTemp = path != nullptr;
  System().temp = path ? path : "";
}

void FakeRegistryCreateKey(RegistryRoot root, const char* subkey) { MakeKey(root, subkey); }

void FakeRegistrySetValue(RegistryRoot root, const char* subkey, const char* name,
                          const char* data) {
  FakeKey* key = MakeKey(root, subkey);
  if (!name || name[0] == '\0') {
    key->hasDefault = true;
    key->defaultData = data;
    return;
  }
  FakeValue* value = FindValue(key, name);
  if (value) {
    value->data = data;
  } else {
    key->values.push_back(FakeValue{name, data});
  }
}

bool FakeRegistryKeyExists(RegistryRoot root, const char* subkey) {
  return FindKey(root, subkey) != nullptr;
}

const char* FakeRegistryValue(RegistryRoot root, const char* subkey, const char* name) {
  FakeKey* key = FindKey(root, subkey);
  if (!key) return nullptr;
  if (!name || name[0] == '\0') return key->hasDefault ? key->defaultData.c_str() : nullptr;
  FakeValue* value = FindValue(key, name);
  return value ? value->data.c_str() : nullptr;
}

int FakeRegistryValueCount(RegistryRoot root, const char* subkey) {
  FakeKey* key = FindKey(root, subkey);
  if (!key) return -1;
  return static_cast<int>(key->values.size()) + (key->hasDefault ? 1 : 0);
}

int FakeRegistryKeyCount() {
  int count = 0;
  for (const FakeKey& key : System().keys) {
    if (!key.path.empty()) ++count;
  }
  return count;
}

int FakeRegistryReadCount() { return System().readCount; }

// ---- the system functions the core calls

bool GetFileVersion(const char* path, FileVersion* version) {
  *version = FileVersion{0, 0, 0, 0};
  auto found = System().versions.find(path ? path : "");
  if (found == System().versions.end()) return false;
  *version = found->second;
  return true;
}

bool GetSpecialFolderPath(int csidl, char* path) {
  auto found = System().folders.find(csidl);
  if (found == System().folders.end()) return false;
  if (found->second.size() > 260) return false;
  std::memcpy(path, found->second.c_str(), found->second.size() + 1);
  return true;
}

bool GetTempDirectory(char* path) {
  if (!System().hasTemp || System().temp.size() > 260) return false;
  std::memcpy(path, System().temp.c_str(), System().temp.size() + 1);
  return true;
}

char* RegistryReadString(const char* subkey, const char* valueName, RegistryRoot root) {
  ++System().readCount;
  const char* data = nullptr;
  if (KeyExists(root, subkey)) {
    FakeKey* key = FindKey(root, subkey ? subkey : "");
    if (!valueName || valueName[0] == '\0') {
      // The default value of an existing key reads as empty until it is set.
      data = (key && key->hasDefault) ? key->defaultData.c_str() : "";
    } else if (key) {
      FakeValue* value = FindValue(key, valueName);
      if (value) data = value->data.c_str();
    }
  }
  if (!data) return nullptr;
  size_t length = std::strlen(data);
  if (length + 1 > 10250) return nullptr;  // data and its zero must fit the buffer
  if (length >= 2 && data[0] == '"' && data[length - 1] == '"') {
    ++data;
    length -= 2;
  }
  char* text = static_cast<char*>(std::malloc(length + 1));
  if (!text) return nullptr;
  std::memcpy(text, data, length);
  text[length] = '\0';
  return text;
}

bool RegistryWriteString(const char* subkey, const char* valueName, const char* data,
                         RegistryRoot root) {
  if (!valueName || valueName[0] == '\0') {
    FakeRegistrySetValue(root, subkey, nullptr, data ? data : "");
    return true;
  }
  if (!KeyExists(root, subkey)) return false;  // a named value needs its key
  FakeRegistrySetValue(root, subkey, valueName, data ? data : "");
  return true;
}

bool RegistryKeyExists(RegistryRoot root, const char* subkey) {
  return KeyExists(root, subkey ? subkey : "");
}

bool RegistryKeyIsEmpty(RegistryRoot root, const char* subkey) {
  if (!KeyExists(root, subkey)) return false;
  FakeKey* key = FindKey(root, subkey ? subkey : "");
  if (!key) {
    // A root never stored: look for keys below it.
    FakeKey rootKey;
    rootKey.root = root;
    return !HasSubkeys(rootKey);
  }
  return !HasSubkeys(*key) && FakeRegistryValueCount(root, subkey) <= 1;
}

RegistryDeletion RegistryDeleteEntry(const char* subkey, const char* valueName,
                                     RegistryRoot root) {
  if (!subkey || subkey[0] == '\0') return kRegistryNothingToDelete;
  FakeKey* key = FindKey(root, subkey);
  if (!key) return kRegistryNothingToDelete;
  if (valueName && valueName[0] != '\0') {
    for (size_t i = 0; i < key->values.size(); ++i) {
      if (Folded(key->values[i].name.c_str()) == Folded(valueName)) {
        key->values.erase(key->values.begin() + static_cast<long>(i));
        return kRegistryDeleted;
      }
    }
    return kRegistryNothingToDelete;
  }
  if (!RegistryKeyIsEmpty(root, subkey)) return kRegistryKeyKept;
  std::vector<FakeKey>& keys = System().keys;
  keys.erase(keys.begin() + (key - keys.data()));
  return kRegistryDeleted;
}

bool RegistryKeyCounts(RegistryRoot root, const char* subkey, unsigned long* subkeys,
                       unsigned long* values) {
  if (!KeyExists(root, subkey)) return false;
  FakeKey* key = FindKey(root, subkey ? subkey : "");
  std::string prefix = key && !key->path.empty() ? key->path + "\\" : "";
  *subkeys = 0;
  for (const FakeKey& other : System().keys) {
    if (other.root == root && other.path.size() > prefix.size() &&
        other.path.compare(0, prefix.size(), prefix) == 0 &&
        other.path.find('\\', prefix.size()) == std::string::npos) {
      ++*subkeys;
    }
  }
  int count = FakeRegistryValueCount(root, subkey);
  *values = count > 0 ? static_cast<unsigned long>(count) : 0;
  return true;
}

void FakeRegistryRefuseChanges(RegistryRoot root, const char* subkey) {
  System().refused.emplace_back(root, Folded(subkey));
}

bool RegistryMayChange(RegistryRoot root, const char* subkey, bool, unsigned long* errorCode) {
  for (const auto& refused : System().refused) {
    if (refused.first != root || refused.second != Folded(subkey)) continue;
    if (errorCode) *errorCode = 5;
    return false;
  }
  return true;
}

unsigned long RegistryLastError() { return 0; }

// Values of the in-memory registry are strings.
unsigned char* RegistryReadValue(RegistryRoot root, const char* subkey, const char* valueName,
                                 unsigned long* type, unsigned long* size) {
  if (!KeyExists(root, subkey)) return nullptr;
  FakeKey* key = FindKey(root, subkey ? subkey : "");
  const std::string* data = nullptr;
  if (!valueName || valueName[0] == '\0') {
    if (key && key->hasDefault) data = &key->defaultData;
  } else if (key) {
    FakeValue* value = FindValue(key, valueName);
    if (value) data = &value->data;
  }
  if (!data) return nullptr;
  unsigned char* bytes = static_cast<unsigned char*>(std::malloc(data->size() + 1));
  if (!bytes) return nullptr;
  std::memcpy(bytes, data->c_str(), data->size() + 1);
  *type = 1;  // REG_SZ
  *size = static_cast<unsigned long>(data->size() + 1);
  return bytes;
}

bool RegistryFirstValueName(RegistryRoot root, const char* subkey, char* name,
                            unsigned long nameSize) {
  FakeKey* key = KeyExists(root, subkey) ? FindKey(root, subkey ? subkey : "") : nullptr;
  if (!key || nameSize == 0) return false;
  if (key->hasDefault) {
    name[0] = '\0';
    return true;
  }
  if (key->values.empty() || key->values[0].name.size() >= nameSize) return false;
  std::memcpy(name, key->values[0].name.c_str(), key->values[0].name.size() + 1);
  return true;
}
