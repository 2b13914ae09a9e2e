// The seal at Setup's start: a package with setup.sum is installed only
// when every listed file is as it was sealed and every file the script
// takes from the package is listed.
#include <cstring>

#include "actions/file_actions.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "log/run_log.h"
#include "script/script_reader.h"
#include "seal/seal.h"

namespace {

// Files message 55 names; the rest are counted (message 63).
const int kNamedFiles = 10;
// How often at most the status line shows the progress.
const DWORD kProgressInterval = 100;

// UTF-8 (the seal) into the ANSI code page (boxes, the log); characters the
// code page lacks become '?'.
void AnsiFromUtf8(const char* utf8, char* ansi, int capacity) {
  wchar_t wide[kSealPathCapacity + 400];
  ansi[0] = '\0';
  if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, sizeof wide / sizeof wide[0]) <= 0 ||
      WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, capacity, nullptr, nullptr) <= 0) {
    CopyText(ansi, static_cast<size_t>(capacity), utf8);
  }
}

bool Utf8FromAnsi(const char* ansi, char* utf8, int capacity) {
  wchar_t wide[kLongPathSize];
  return MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, kLongPathSize) > 0 &&
         WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, capacity, nullptr, nullptr) > 0;
}

// The part of a full path inside the package directory, or null.
const char* InsidePackage(const char* path, const char* packageDir) {
  size_t length = std::strlen(packageDir);
  if (length == 0 || std::strlen(path) <= length) return nullptr;
  for (size_t i = 0; i < length; ++i) {
    if (FoldAscii(path[i]) != FoldAscii(packageDir[i])) return nullptr;
  }
  return path + length;
}

struct UsedFiles {
  SealList* list;
  const char* packageDir;
  bool outOfMemory;
};

// Notes each package file a [Copy], [VersionCopy] or [Run] line takes.
void NoteUsedFile(void* data, const SurveyItem& item) {
  UsedFiles* used = static_cast<UsedFiles*>(data);
  if (item.action != kActionCopy && item.action != kActionRun) return;
  const char* inside = InsidePackage(item.source, used->packageDir);
  if (!inside) return;
  // A program the shell finds elsewhere is none of the package's.
  DWORD attributes = GetFileAttributesA(item.source);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  char name[kSealPathCapacity];
  if (!Utf8FromAnsi(inside, name, sizeof name) || !SealListAdd(used->list, name, 0, nullptr)) {
    used->outOfMemory = true;
  }
}

struct SealFailures {
  InstallerContext* context;
  char named[2900];  // "name: what" lines for message 55
  int count;
};

void NoteFailure(void* data, const SealFinding& finding) {
  SealFailures* failures = static_cast<SealFailures*>(data);
  InstallerContext& context = *failures->context;
  char name[kSealPathCapacity];
  AnsiFromUtf8(finding.name, name, sizeof name);
  char codeText[16];
  const char* system = "";
  if (finding.errorCode) {
    FormatSystemError(finding.errorCode);
    system = SystemErrorOrCode(codeText, sizeof codeText);
  }
  LogEvent(RunIsRehearsal() ? "PLAN SEAL" : "SEAL", "\"%s\": %s (%s%s)", name,
           SealFaultText(finding.fault), finding.detail, system);
  if (failures->count++ >= kNamedFiles) return;
  static const int kWhat[] = {59, 60, 61, 62};  // missing, changed, not listed, unreadable
  if (failures->named[0]) AppendText(failures->named, sizeof failures->named, "\n");
  AppendText(failures->named, sizeof failures->named, name);
  AppendText(failures->named, sizeof failures->named, ": ");
  AppendText(failures->named, sizeof failures->named, context.LoadMessage(kWhat[finding.fault]));
}

struct Progress {
  InstallerContext* context;
  DWORD shownAt;
  bool shown;
};

void ShowProgress(void* data, unsigned long long done, unsigned long long total) {
  Progress* progress = static_cast<Progress*>(data);
  DWORD now = GetTickCount();
  if (progress->shown && now - progress->shownAt < kProgressInterval && done < total) return;
  progress->shown = true;
  progress->shownAt = now;
  char text[300];
  // Shifted to 24 bits: no 64-bit division routine in a 32-bit program.
  while (total > 0xFFFFFF) {
    total >>= 1;
    done >>= 1;
  }
  unsigned long percent = total ? static_cast<unsigned long>(done) * 100 / static_cast<unsigned long>(total) : 100;
  FormatText(text, sizeof text, "%s: %lu %%", progress->context->LoadMessage(57), percent);
  progress->context->ShowStatus(0, text);
}

}  // namespace

bool InstallerContext::CheckPackageSeal() {
  ShowStatus(0, LoadMessage(57));
  SealList used;
  SealListInit(&used);
  UsedFiles usedFiles = {&used, packageDir, false};
  SurveyScript(NoteUsedFile, &usedFiles);

  // The run's log (or plan) may lie in the package directory: it is being
  // written now and was never part of the package.
  char logName[kSealPathCapacity];
  const char* skipped = nullptr;
  char fullLog[kLongPathSize];
  const char* logInside = logPath[0] ? InsidePackage(FullPath(logPath, fullLog), packageDir) : nullptr;
  if (logInside && Utf8FromAnsi(logInside, logName, sizeof logName)) skipped = logName;

  static SealFailures failures;  // 3 KiB: kept off the stack
  failures.context = this;
  failures.named[0] = '\0';
  failures.count = 0;
  Progress progress = {this, 0, false};
  bool usedKnown = !usedFiles.outOfMemory && SealListIndex(&used);
  SealCheck check = {packageDir, usedKnown ? &used : nullptr, skipped, NoteFailure, &failures,
                     ShowProgress, &progress, 0};
  SealVerdict verdict = VerifySeal(&check);
  SealListFree(&used);
  if (verdict == kSealWhole && !usedKnown) {
    // What the script takes could not be listed: the seal is not known to hold.
    SealFinding finding = {kSealFileUnreadable, kSealFileName, "out of memory", 0};
    NoteFailure(&failures, finding);
    verdict = kSealBroken;
  }

  const char* keyword = RunIsRehearsal() ? "PLAN SEAL" : "SEAL";
  if (verdict == kSealAbsent) {
    LogEvent(keyword, "no %s: the package is not sealed", kSealFileName);
    return true;
  }
  if (verdict == kSealWhole) {
    LogEvent(keyword, "%s: %d files are as they were sealed%s%s%s", kSealFileName,
             check.filesChecked, skipped ? "; the run's log \"" : "", skipped ? logInside : "",
             skipped ? "\" is none of the package's files" : "");
    return true;
  }
  if (verdict == kSealNoHash) {
    SealFinding finding = {kSealFileUnreadable, kSealFileName, "no SHA-256 on this system", 0};
    NoteFailure(&failures, finding);
  }
  endCause = "seal";
  if (failures.count > kNamedFiles) {
    char count[kDecimalTextSize];
    char more[300];
    FormatText(more, sizeof more, LoadMessage(63),
               DecimalText(static_cast<unsigned>(failures.count - kNamedFiles), count));
    AppendText(failures.named, sizeof failures.named, "\n");
    AppendText(failures.named, sizeof failures.named, more);
  }
  if (RunIsRehearsal()) {
    LogEvent("PLAN SEAL", "%d files are not as sealed: a real run stops here (message 55)",
             failures.count);
    return false;
  }
  FormatText(messageText, sizeof messageText, LoadMessage(55), failures.named);
  ShowBox(kBoxSealFailed, messageText, msgTitle);
  return false;
}
