// The package's files as the seal sees them, through the platform. Names are
// relative to the package directory, in UTF-8 with `\` between the parts;
// the package directory is the platform's own path text (the ANSI code page
// on Windows), ending in its separator. Nothing here follows a link: a
// walk reports links and does not enter them, and setup.sum is replaced,
// never written through.
#pragma once
#include <cstddef>

enum PackageFileState {
  kPackageFileRead,       // read to its end
  kPackageFileMissing,    // no such file (or no such directory on the way)
  kPackageFileUnreadable  // there, but it could not be read (or is no file)
};

// Reads the whole file `name` (at most limit bytes) into a heap block with a
// NUL after its *size bytes. A larger file is unreadable.
PackageFileState ReadPackageFile(const char* packageDir, const char* name, size_t limit,
                                 char** bytes, size_t* size, unsigned long* errorCode);

// The SHA-256 (kSha256Size bytes) and the size of the file `name`.
PackageFileState HashPackageFile(const char* packageDir, const char* name, unsigned char* digest,
                                 unsigned long long* size, unsigned long* errorCode);

// One entry a walk finds below the package directory.
struct PackageItem {
  const char* name;   // UTF-8 with `\`, as far as the platform could give it
  bool link;          // a symbolic link or another reparse point: not entered
  const char* fault;  // why the seal cannot hold this name, or null
};
typedef bool (*PackageVisitor)(void* data, const PackageItem& item);

// Calls visit for every file and link below the package directory, depth
// first, until visit returns false. False when a directory could not be
// read; its name goes to failedName (kSealPathCapacity bytes).
bool WalkPackage(const char* packageDir, PackageVisitor visit, void* data, char* failedName,
                 unsigned long* errorCode);

// Writes `name` anew: the bytes go to "<name>.~tmp", which then takes the
// name's place (replacing a link of that name, not what it points to).
bool WritePackageFile(const char* packageDir, const char* name, const char* bytes, size_t size,
                      unsigned long* errorCode);
// Removes a leftover "<name>.~tmp" of an earlier write.
void RemovePackageLeftover(const char* packageDir, const char* name);

// The system's text for an error code of the routines above (English or
// the system's language), into text (capacity bytes).
void PackageErrorText(unsigned long errorCode, char* text, size_t capacity);
