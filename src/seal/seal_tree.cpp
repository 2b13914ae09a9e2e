// What only setupcheck does with a seal: walking the whole package, to
// seal it or to find the files added since it was sealed. Plain text
// processing; the files are walked and written through package_files.h.
#include <cstdlib>
#include <cstring>

#include "app/crypto.h"
#include "app/text.h"
#include "seal/package_files.h"
#include "seal/seal.h"

namespace {

const size_t kDetailSize = 400;

void Report(SealFindingSink report, void* data, SealFault fault, const char* name,
            const char* detail, unsigned long errorCode = 0) {
  ReportSealFinding(report, data, fault, name, detail, errorCode);
}

// "<what>: <the system's text>", or the system's text alone.
void UnreadableDetail(const char* what, unsigned long code, char* detail) {
  char system[300];
  PackageErrorText(code, system, sizeof system);
  if (what) {
    FormatText(detail, kDetailSize, "%s: %s", what, system);
  } else {
    CopyText(detail, kDetailSize, system);
  }
}

bool SealFileThere(const char* packageDir) {
  char* bytes = nullptr;
  size_t size = 0;
  bool there = ReadPackageFile(packageDir, kSealFileName, kSealTextLimit, &bytes, &size, nullptr) !=
               kPackageFileMissing;
  std::free(bytes);
  return there;
}

// setup.sum at the top of the package (one in a subdirectory is a file
// like any other).
bool IsSealFile(const char* name) { return CompareSealNames(name, kSealFileName) == 0; }

struct Collect {
  SealList* list;
  SealFindingSink report;
  void* reportData;
  const char* skipped;
  bool faulty;
  bool outOfMemory;
};

// Keeps each file a walk finds; reports what the seal cannot hold.
bool CollectFile(void* data, const PackageItem& item) {
  Collect* collect = static_cast<Collect*>(data);
  if (IsSealFile(item.name)) return true;
  if (collect->skipped && CompareSealNames(item.name, collect->skipped) == 0) return true;
  const char* why = item.fault;
  if (!why && item.link) why = "a link: the seal holds files, not links";
  if (!why) IsSealPath(item.name, std::strlen(item.name), &why);
  if (why) {
    collect->faulty = true;
    Report(collect->report, collect->reportData, kSealFileNotListed, item.name, why);
    return true;
  }
  if (!SealListAdd(collect->list, item.name, 0, nullptr)) collect->outOfMemory = true;
  return !collect->outOfMemory;
}

// Walks the whole package into list; false after reporting why not.
bool CollectPackage(const char* packageDir, SealList* list, SealFindingSink report, void* data,
                    const char* skipped, bool* faulty, char* why, size_t capacity) {
  Collect collect = {list, report, data, skipped, false, false};
  char failedName[kSealPathCapacity];
  unsigned long code = 0;
  bool walked = WalkPackage(packageDir, CollectFile, &collect, failedName, &code);
  *faulty = collect.faulty;
  if (collect.outOfMemory || (walked && !SealListIndex(list))) {
    CopyText(why, capacity, "out of memory");
    return false;
  }
  if (!walked) {
    Report(report, data, kSealFileUnreadable, failedName, "a directory", code);
    char detail[kDetailSize];
    UnreadableDetail("the directory cannot be read", code, detail);
    FormatText(why, capacity, "'%s': %s", failedName, detail);
    return false;
  }
  return true;
}

}  // namespace

SealVerdict VerifySealedPackage(SealCheck* check) {
  SealList found;
  SealListInit(&found);
  bool faulty = false;
  char why[kDetailSize];
  SealVerdict verdict = kSealBroken;
  // Only a package with a seal is walked.
  check->filesChecked = 0;
  if (!CryptoAvailable() || !SealFileThere(check->packageDir)) {
    verdict = VerifySealWith(check, nullptr);
  } else if (CollectPackage(check->packageDir, &found, check->report, check->reportData,
                            check->skipped, &faulty, why, sizeof why)) {
    verdict = VerifySealWith(check, &found);
    // In the order of their names, whatever order the walk met them in.
    for (int i = 0; (verdict == kSealWhole || verdict == kSealBroken) && i < found.count; ++i) {
      const SealEntry& entry = found.entries[found.folded[i]];
      if (entry.size != 0) continue;
      verdict = kSealBroken;
      Report(check->report, check->reportData, kSealFileNotListed, entry.path, "added since sealing");
    }
    if (faulty && verdict == kSealWhole) verdict = kSealBroken;
  }
  SealListFree(&found);
  return verdict;
}

bool SealPackage(const char* packageDir, SealFindingSink report, void* reportData, int* files,
                 char* why, size_t capacity) {
  *files = 0;
  why[0] = '\0';
  if (!CryptoAvailable()) {
    CopyText(why, capacity, "SHA-256 unavailable");
    return false;
  }
  RemovePackageLeftover(packageDir, kSealFileName);
  SealList list;
  SealListInit(&list);
  bool faulty = false;
  if (!CollectPackage(packageDir, &list, report, reportData, nullptr, &faulty, why, capacity)) {
    SealListFree(&list);
    return false;
  }
  int twin = SealListFindTwin(&list);
  if (twin >= 0) {
    faulty = true;
    Report(report, reportData, kSealFileNotListed, list.entries[twin].path,
           "another file's name differs from it only in letter case: on Windows they are one file");
  }
  char detail[kDetailSize];
  for (int i = 0; i < list.count; ++i) {
    SealEntry& entry = list.entries[i];
    unsigned long code = 0;
    PackageFileState state = HashPackageFile(packageDir, entry.path, entry.digest, &entry.size, &code);
    if (state != kPackageFileRead) {
      faulty = true;
      UnreadableDetail(nullptr, code, detail);
      Report(report, reportData, kSealFileUnreadable, entry.path, detail, code);
    }
  }
  if (faulty) {
    CopyText(why, capacity, "files the seal cannot hold (above)");
    SealListFree(&list);
    return false;
  }
  size_t size = 0;
  char* text = FormatSeal(&list, &size);
  unsigned long code = 0;
  bool written = text && WritePackageFile(packageDir, kSealFileName, text, size, &code);
  if (!text) {
    CopyText(why, capacity, "out of memory");
  } else if (!written) {
    UnreadableDetail("setup.sum cannot be written", code, detail);
    CopyText(why, capacity, detail);
  }
  std::free(text);
  if (written) *files = list.count;
  SealListFree(&list);
  return written;
}
