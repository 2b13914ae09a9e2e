// Checking a package against its seal: what Setup needs. Plain text
// processing; the files are read and hashed through package_files.h.
#include "seal/seal.h"

#include <cstdlib>
#include <cstring>

#include "app/crypto.h"
#include "app/text.h"
#include "seal/package_files.h"

namespace {
const size_t kDetailSize = 200;
}  // namespace

void ReportSealFinding(SealFindingSink report, void* data, SealFault fault, const char* name,
                       const char* detail, unsigned long errorCode) {
  SealFinding finding = {fault, name, detail, errorCode};
  report(data, finding);
}

SealVerdict VerifySealWith(SealCheck* check, SealList* found) {
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
    ReportSealFinding(check->report, check->reportData, kSealFileUnreadable, kSealFileName, "",
                      code);
    return kSealUnreadable;
  }
  SealList listed;
  int faultLine = 0;
  const char* fault = nullptr;
  bool parsed = ParseSeal(text, size, &listed, &faultLine, &fault);
  std::free(text);
  if (!parsed) {
    FormatText(detail, sizeof detail, "malformed: line %d: %s", faultLine, fault);
    ReportSealFinding(check->report, check->reportData, kSealFileUnreadable, kSealFileName, detail,
                      0);
    return kSealUnreadable;
  }

  bool broken = false;
  unsigned long long total = 0, done = 0;
  for (int i = 0; i < listed.count; ++i) total += listed.entries[i].size;
  for (int i = 0; i < listed.count; ++i) {
    const SealEntry& entry = listed.entries[i];
    done += entry.size;
    if (check->skipped && CompareSealNames(entry.path, check->skipped) == 0) continue;
    const char* name = entry.path;
    if (found) {
      // The name as it stands on the disk (its letter case may differ).
      int match = SealListFind(found, entry.path);
      if (match >= 0) {
        name = found->entries[match].path;
        found->entries[match].size = 1;  // listed
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
      ReportSealFinding(check->report, check->reportData, kSealFileMissing, entry.path,
                        "sealed with the package", 0);
    } else if (state == kPackageFileUnreadable) {
      broken = true;
      ReportSealFinding(check->report, check->reportData, kSealFileUnreadable, entry.path, "", code);
    } else if (fileSize != entry.size) {
      broken = true;
      FormatText(detail, sizeof detail, "%s bytes, sealed with %s",
                 DecimalText(fileSize, now), DecimalText(entry.size, sealed));
      ReportSealFinding(check->report, check->reportData, kSealFileChanged, entry.path, detail, 0);
    } else if (std::memcmp(digest, entry.digest, kSha256Size) != 0) {
      broken = true;
      ReportSealFinding(check->report, check->reportData, kSealFileChanged, entry.path,
                        "SHA-256 differs", 0);
    } else {
      ++check->filesChecked;
    }
    if (check->progress) check->progress(check->progressData, done, total);
  }

  const SealList* used = check->used;
  for (int i = 0; used && used->folded && i < used->count; ++i) {
    const char* name = used->entries[used->folded[i]].path;
    // The same file taken by two lines is named once.
    if (i > 0 && CompareSealNames(used->entries[used->folded[i - 1]].path, name) == 0) continue;
    if (check->skipped && CompareSealNames(name, check->skipped) == 0) continue;
    if (SealListFind(&listed, name) >= 0) continue;
    broken = true;
    ReportSealFinding(check->report, check->reportData, kSealFileNotListed, name,
                      "the script takes it", 0);
  }
  SealListFree(&listed);
  return broken ? kSealBroken : kSealWhole;
}

SealVerdict VerifySeal(SealCheck* check) { return VerifySealWith(check, nullptr); }

const char* SealFaultText(SealFault fault) {
  static const char* const kTexts[] = {"missing", "changed", "not in the seal", "cannot be read"};
  return kTexts[fault];
}

