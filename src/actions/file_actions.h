// Helpers of the file actions that the [Copy] loop and the tests share.
// No <windows.h> here: the declarations are plain.
#pragma once
#include <cstddef>

// The names that the exclusion patterns of one [Copy] line find in its
// source directory. The directory and the list stay the same for the whole
// line, so each pattern is searched once per line, not once per file.
struct ExclusionNames {
  char** names;  // sorted with ASCII letters folded, each a heap text
  int count;
  int capacity;
  // Out of memory while collecting: fall back to searching per file.
  bool incomplete;
  const char* directory;
  const char* list;
};

// Searches directory + pattern for every comma-separated pattern of list (or
// none) and keeps the names found. An empty pattern, or one whose search path
// would not fit the platform's 260 characters, finds nothing.
void CollectExclusionNames(const char* directory, const char* list, ExclusionNames* names);
// True when fileName equals (SameText) none of the collected names.
bool PassesExclusions(const ExclusionNames* names, const char* fileName);
void FreeExclusionNames(ExclusionNames* names);

// The system text of the last FormatSystemError, or, when the system had
// none, its code in decimal written into buffer.
const char* SystemErrorOrCode(char* buffer, size_t capacity);

// "setup.exe" and "setup.dat": a [Copy] never copies them.
bool IsSetupFileName(const char* name);

// --- small file routines the actions, the rehearsal and the journal share
// The full form of path in buffer (1301 bytes), the way later lines name the
// same file; a copy of path when it has none.
const char* FullPath(const char* path, char* buffer);
// The process's current directory in buffer (261 bytes); empty when it
// cannot be read.
const char* CurrentDirectory(char* buffer);
// A file or directory stands at path.
bool PathExists(const char* path);
// A program file (".exe", ".com", at most 2000 characters) that a copy
// renames aside first.
bool IsProgramFile(const char* path, size_t length);
// The system refused because another program holds the file, or for the
// rights on it.
bool IsSharingOrAccessError(unsigned long code);
