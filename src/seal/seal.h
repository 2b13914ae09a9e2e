// Sealed packages: setup.sum lists every file of a package with its size
// and SHA-256, so that a package damaged on its way (a cut copy, a changed
// byte, a lost or an added file) is found before anything is installed.
// What setupcheck (--seal, and the check of a sealed package) and Setup's
// start-up call; everything else in src/seal serves these. seal.cpp holds
// what Setup needs, seal_tree.cpp what only setupcheck does (walking the
// package, writing setup.sum).
#pragma once
#include <cstddef>

#include "seal/seal_format.h"

// What is wrong with one file of a sealed package.
enum SealFault {
  kSealFileMissing,     // listed, but not there
  kSealFileChanged,     // listed, but its size or its SHA-256 differs
  kSealFileNotListed,   // there (or taken by the script), but not listed
  kSealFileUnreadable   // cannot be read; setup.sum itself: or it is malformed
};

// "missing", "changed", "not in the seal", "cannot be read"
const char* SealFaultText(SealFault fault);

struct SealFinding {
  SealFault fault;
  const char* name;         // UTF-8, relative to the package directory
  const char* detail;       // what exactly, in English (for logs and setupcheck); may be ""
  unsigned long errorCode;  // the system's code when a file could not be read, else 0
};
typedef void (*SealFindingSink)(void* data, const SealFinding& finding);
// Bytes of the listed files checked so far, of total.
typedef void (*SealProgressSink)(void* data, unsigned long long done, unsigned long long total);

enum SealVerdict {
  kSealAbsent,  // no setup.sum: the package is not sealed
  kSealWhole,   // every file is as it was sealed
  kSealBroken,  // the findings said what is not
  kSealUnreadable,  // setup.sum cannot be read or is malformed (reported as a finding)
  kSealNoHash   // the platform offers no SHA-256: nothing could be checked
};

struct SealCheck {
  const char* packageDir;  // the platform's path text, ending in its separator
  const SealList* used;    // names the script takes from the package (indexed), or null
  const char* skipped;     // a name that is never a package file (the run's log), or null
  SealFindingSink report;
  void* reportData;
  SealProgressSink progress;  // may be null
  void* progressData;
  int filesChecked;  // out: listed files found as sealed
};

// Setup's start: every listed file must be there as sealed, and every name
// in `used` must be listed; other files of the package are not looked at.
SealVerdict VerifySeal(SealCheck* check);
// setupcheck: every listed file as sealed, and nothing else below the
// package directory.
SealVerdict VerifySealedPackage(SealCheck* check);

// Writes setup.sum for every file below the package directory (setup.sum
// aside), replacing an older one. A name the seal cannot hold, a link or a
// file that cannot be read is reported and nothing is written. False also
// when setup.sum cannot be written: why (capacity bytes) says what failed.
bool SealPackage(const char* packageDir, SealFindingSink report, void* reportData, int* files,
                 char* why, size_t capacity);

// --- shared by the checks (seal.cpp, seal_tree.cpp)
// VerifySeal, with the listed names looked up in `found` (the files a walk
// found, indexed; a listed one is marked by a size of 1) when it is not null.
SealVerdict VerifySealWith(SealCheck* check, SealList* found);
void ReportSealFinding(SealFindingSink report, void* data, SealFault fault, const char* name,
                       const char* detail, unsigned long errorCode);
