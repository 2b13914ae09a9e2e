// setup.sum, the seal of a package: its text form and the names in it.
// Plain text processing, no <windows.h>.
//
//   setup.sum 1
//   4096 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08 bin\qcore.dll
//
// The first line names the format and its version. Every further line is
// one file: its size in bytes, its SHA-256 in lower-case hex and its path
// relative to the package directory (UTF-8, `\` between the parts), one
// blank between the fields; lines end with LF (CR LF is read as well). The
// writer sorts the lines by the bytes of their paths, so that two seals of a
// package differ only where its files differ.
#pragma once
#include <cstddef>

#include "app/crypto.h"

extern const char kSealFileName[];  // "setup.sum"
extern const char kSealHeader[];    // "setup.sum 1"

// Bytes of a path in the seal (260 characters of up to three bytes), NUL
// included.
const size_t kSealPathCapacity = 781;
// A seal larger than this is not read: no package has that many files.
const size_t kSealTextLimit = 32 * 1024 * 1024;

struct SealEntry {
  unsigned long long size;
  unsigned char digest[kSha256Size];
  char* path;  // heap text, UTF-8
};

// The files of a seal, or the names a check looks for. Folded lookups need
// SealListIndex first.
struct SealList {
  SealEntry* entries;
  int count;
  int capacity;
  int* folded;  // entry numbers in the order of CompareSealNames, or null
};

void SealListInit(SealList* list);
// Adds a copy of path; digest may be null (zeros). False when out of memory.
bool SealListAdd(SealList* list, const char* path, unsigned long long size,
                 const unsigned char* digest);
void SealListFree(SealList* list);
// Sorts the entries by the bytes of their paths (the file's order).
void SealListSortForFile(SealList* list);
// Builds the folded index; false when out of memory.
bool SealListIndex(SealList* list);
// The entry whose path equals `path` without regard to letter case, or -1.
int SealListFind(const SealList* list, const char* path);
// Two entries name the same file on Windows: the number of the later one,
// or -1 (needs the index).
int SealListFindTwin(const SealList* list);

// Orders two UTF-8 paths as Windows compares file names: letters folded to
// their capitals (ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic).
int CompareSealNames(const char* a, const char* b);

// Whether path is a name the seal can hold: valid UTF-8 of at most
// kSealPathCapacity - 1 bytes, relative, parts joined by single `\`, no part
// "." or "..", none ending in "." or " ", no control character and none of
// / : * ? " < > |. why (may be null) receives the reason when it is not.
bool IsSealPath(const char* path, size_t length, const char** why);

// Reads the text of a seal. False on the first fault, with the line number
// (1 for the header) and the reason; the list then holds nothing.
bool ParseSeal(const char* text, size_t size, SealList* list, int* faultLine,
               const char** fault);

// The text of a seal of `list` (sorted for the file first), as a heap block
// of *size bytes, or null when out of memory.
char* FormatSeal(SealList* list, size_t* size);
