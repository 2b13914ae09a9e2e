// Sealing a package and checking its seal. Plain text processing; the
// files are read, walked and hashed through package_files.h.
#include "seal/seal.h"

#include <cstdlib>
#include <cstring>

#include "app/crypto.h"
#include "app/text.h"
#include "seal/package_files.h"

namespace {

const size_t kDetailSize = 400;

void Report(SealFindingSink report, void* data, SealFault fault, const char* name,
            const char* detail) {
  SealFinding finding = {fault, name, detail};
  report(data, finding);
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
    char detail[kDetailSize];
    UnreadableDetail("the directory cannot be read", code, detail);
    Report(report, data, kSealFileUnreadable, failedName, detail);
    FormatText(why, capacity, "'%s': %s", failedName, detail);
    return false;
  }
  return true;
}

}  // namespace

SealVerdict VerifySeal(SealCheck* check) {
  check->filesChecked = 0;
  char* text = nullptr;
  size_t size = 0;
  unsigned long code = 0;
  PackageFileState state =
      ReadPackageFile(check->packageDir, kSealFileName, kSealTextLimit, &text, &size, &code);
  if (state == kPackageFileMissing) return kSealAbsent;
  if (!CryptoAvailable()) {
    std::free(text);
    return kSealNoHash;
  }
  char detail[kDetailSize];
  if (state != kPackageFileRead) {
    UnreadableDetail(nullptr, code, detail);
    Report(check->report, check->reportData, kSealFileUnreadable, kSealFileName, detail);
    return kSealBroken;
  }
  SealList listed;
  int faultLine = 0;
  const char* fault = nullptr;
  bool parsed = ParseSeal(text, size, &listed, &faultLine, &fault);
  std::free(text);
  if (!parsed) {
    FormatText(detail, sizeof detail, "malformed: line %d: %s", faultLine, fault);
    Report(check->report, check->reportData, kSealFileUnreadable, kSealFileName, detail);
    return kSealBroken;
  }

  bool broken = false;
  SealList found;
  SealListInit(&found);
  if (check->wholeTree) {
    bool faulty = false;
    char why[kDetailSize];
    if (!CollectPackage(check->packageDir, &found, check->report, check->reportData,
                        check->skipped, &faulty, why, sizeof why)) {
      SealListFree(&found);
      SealListFree(&listed);
      return kSealBroken;
    }
    broken = faulty;
  }

  unsigned long long total = 0, done = 0;
  for (int i = 0; i < listed.count; ++i) total += listed.entries[i].size;
  for (int i = 0; i < listed.count; ++i) {
    const SealEntry& entry = listed.entries[i];
    if (check->skipped && CompareSealNames(entry.path, check->skipped) == 0) continue;
    const char* name = entry.path;
    if (check->wholeTree) {
      // The name as it stands on the disk (its letter case may differ).
      int match = SealListFind(&found, entry.path);
      if (match >= 0) {
        name = found.entries[match].path;
        found.entries[match].size = 1;  // listed
      } else {
        name = nullptr;
      }
    }
    unsigned char digest[kSha256Size];
    unsigned long long fileSize = 0;
    state = name ? HashPackageFile(check->packageDir, name, digest, &fileSize, &code)
                 : kPackageFileMissing;
    char sealed[kDecimalTextSize], now[kDecimalTextSize];
    if (state == kPackageFileMissing) {
      broken = true;
      Report(check->report, check->reportData, kSealFileMissing, entry.path,
             "it was sealed with the package");
    } else if (state == kPackageFileUnreadable) {
      broken = true;
      UnreadableDetail(nullptr, code, detail);
      Report(check->report, check->reportData, kSealFileUnreadable, entry.path, detail);
    } else if (fileSize != entry.size) {
      broken = true;
      FormatText(detail, sizeof detail, "%s bytes, sealed with %s",
                 DecimalText(fileSize, now), DecimalText(entry.size, sealed));
      Report(check->report, check->reportData, kSealFileChanged, entry.path, detail);
    } else if (std::memcmp(digest, entry.digest, kSha256Size) != 0) {
      broken = true;
      Report(check->report, check->reportData, kSealFileChanged, entry.path,
             "its SHA-256 is not the sealed one");
    } else {
      ++check->filesChecked;
    }
    done += entry.size;
    if (check->progress) check->progress(check->progressData, done, total);
  }

  for (int i = 0; i < found.count; ++i) {
    if (found.entries[i].size != 0) continue;
    broken = true;
    Report(check->report, check->reportData, kSealFileNotListed, found.entries[i].path,
           "added since sealing");
  }
  const SealList* used = check->used;
  for (int i = 0; used && used->folded && i < used->count; ++i) {
    const char* name = used->entries[used->folded[i]].path;
    // The same file taken by two lines is named once.
    if (i > 0 && CompareSealNames(used->entries[used->folded[i - 1]].path, name) == 0) continue;
    if (check->skipped && CompareSealNames(name, check->skipped) == 0) continue;
    if (SealListFind(&listed, name) >= 0) continue;
    broken = true;
    Report(check->report, check->reportData, kSealFileNotListed, name,
           "the script takes it from the package");
  }
  SealListFree(&found);
  SealListFree(&listed);
  return broken ? kSealBroken : kSealWhole;
}

const char* SealFaultText(SealFault fault) {
  static const char* const kTexts[] = {"missing", "changed", "not in the seal", "cannot be read"};
  return kTexts[fault];
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
      Report(report, reportData, kSealFileUnreadable, entry.path, detail);
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
