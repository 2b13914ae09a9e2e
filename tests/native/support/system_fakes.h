// Native stand-ins for the system services of the text core: file versions,
// shell folders, the temporary directory and an in-memory registry. Tests
// set their answers; everything is deterministic and starts empty.
#pragma once
#include <cstddef>

#include "actions/registry.h"
#include "version/version.h"

// Forgets every answer below and empties the registry.
void FakeSystemReset();

// GetFileVersion(path) gives this version; other paths have none.
void FakeSetFileVersion(const char* path, FileVersion version);

// GetSpecialFolderPath(csidl) gives path; null makes the folder unavailable.
void FakeSetSpecialFolder(int csidl, const char* path);

// GetTempDirectory gives path; null makes it fail (the default).
void FakeSetTempDirectory(const char* path);

// In-memory registry. Key paths compare without regard to ASCII case, like
// the real one; the root key of each root always exists.
void FakeRegistryCreateKey(RegistryRoot root, const char* subkey);
// Sets a value (null or empty name: the default value), creating the key.
void FakeRegistrySetValue(RegistryRoot root, const char* subkey, const char* name,
                          const char* data);
bool FakeRegistryKeyExists(RegistryRoot root, const char* subkey);
// The stored data, or null when the key or value is missing. The default
// value of a key counts only once it was set.
const char* FakeRegistryValue(RegistryRoot root, const char* subkey, const char* name);
// Values of the key, its default value included once set; -1 without key.
int FakeRegistryValueCount(RegistryRoot root, const char* subkey);
// Keys stored, the roots not counted.
int FakeRegistryKeyCount();
// Calls of RegistryReadString since the last reset.
int FakeRegistryReadCount();
// RegistryMayChange refuses this key (error 5, access denied) until the reset.
void FakeRegistryRefuseChanges(RegistryRoot root, const char* subkey);
