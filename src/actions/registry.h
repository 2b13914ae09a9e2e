// Registry operations and the [WriteReg]/[DelReg] lines. The root is a plain
// value here; it becomes a registry handle only on the Win32 side.
#pragma once

enum RegistryRoot {
  kRootClassesRoot,
  kRootCurrentUser,
  kRootLocalMachine,
  kRootUsers,
  kRootCurrentConfig
};

// HKCR, HKCU, HKLM, HKCC by their first four characters, HKU exactly;
// anything else is HKEY_LOCAL_MACHINE.
RegistryRoot RegistryRootFromName(const char* name);
// "HKCR", "HKCU", "HKLM", "HKU" or "HKCC".
const char* RegistryRootName(RegistryRoot root);

// New heap text (free) of the value, one pair of enclosing double quotes
// removed; null when it cannot be read or is longer than 10250 bytes. An
// empty or null value name reads the key's default value.
char* RegistryReadString(const char* subkey, const char* valueName, RegistryRoot root);
// False with the system's reason in RegistryLastError when nothing was written.
bool RegistryWriteString(const char* subkey, const char* valueName, const char* data,
                         RegistryRoot root);
// The system's error code of the last write or deletion that failed.
unsigned long RegistryLastError();
// Makes every key along path exist; keys made here get an empty default
// value. False when a key cannot be made (the log says why).
bool RegistryCreateKeyPath(RegistryRoot root, char* path);
// No subkeys and at most one value.
bool RegistryKeyIsEmpty(RegistryRoot root, const char* subkey);
// The numbers of subkeys and values of a key; false when it cannot be read.
bool RegistryKeyCounts(RegistryRoot root, const char* subkey, unsigned long* subkeys,
                       unsigned long* values);
// The key can be opened.
bool RegistryKeyExists(RegistryRoot root, const char* subkey);
// Whether this process may set values in the key (or, with makeSubkey, make
// keys below it); false with the system's error code. Asks, changes nothing.
bool RegistryMayChange(RegistryRoot root, const char* subkey, bool makeSubkey,
                       unsigned long* errorCode);

// What a deletion did.
enum RegistryDeletion {
  kRegistryDeleted,
  kRegistryNothingToDelete,  // no such value or key (or an empty subkey: the root)
  kRegistryKeyKept,          // the key holds subkeys or more than one value
  kRegistryDeleteFailed      // the system refused: RegistryLastError says why
};
RegistryDeletion RegistryDeleteEntry(const char* subkey, const char* valueName, RegistryRoot root);

// Raw values for the undo journal: any type, data as bytes. An empty or null
// name is the key's default value.
// The value's type and data in a new heap block (free) of *size bytes; null
// when the key or value is missing.
unsigned char* RegistryReadValue(RegistryRoot root, const char* subkey, const char* valueName,
                                 unsigned long* type, unsigned long* size);
bool RegistrySetValue(RegistryRoot root, const char* subkey, const char* valueName,
                      unsigned long type, const unsigned char* data, unsigned long size);
bool RegistryRemoveValue(RegistryRoot root, const char* subkey, const char* valueName);
// Makes the key (and the keys above it); deletes a key without subkeys.
bool RegistryMakeKey(RegistryRoot root, const char* subkey);
bool RegistryRemoveKey(RegistryRoot root, const char* subkey);
// The name (nameSize bytes) of the key's first value; false when it has none.
bool RegistryFirstValueName(RegistryRoot root, const char* subkey, char* name,
                            unsigned long nameSize);

// The four fields of root;subkey;value name;data. A null field is absent,
// which differs from empty.
struct RegistryLineFields {
  char* rootName;
  char* subkey;
  char* valueName;
  char* data;
};

// Splits a line into new heap fields; false (nothing allocated) for a line
// without ';' or when memory runs out. FreeRegistryLine releases them.
bool SplitRegistryLine(const char* line, RegistryLineFields* fields);
void FreeRegistryLine(RegistryLineFields* fields);

// Carries out one [WriteReg] (deleteFlag false) or [DelReg] line.
void ApplyRegistryLine(const char* line, bool deleteFlag);
