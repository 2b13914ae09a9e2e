// [Copy], [Run], [Delete], [Move] and [ChangeDir] lines, and the small file
// routines they share.
#include "app/installer_context.h"

#include <cstdlib>
#include <cstring>

#include "actions/file_actions.h"
#include "actions/file_lines.h"
#include "actions/file_plan.h"
#include "app/system_libraries.h"
#include "app/text.h"
#include "journal/journal.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "script/script_reader.h"

char* systemErrorText = nullptr;

namespace {

// The installer and its script never overwrite themselves in the target.
const char* const kSetupFileNames[] = {"setup.exe", "setup.dat"};

// Search paths of the exclusion patterns: the platform's path length.
const size_t kSearchPathSize = 261;
// Program files up to this length are renamed aside before a copy.
const size_t kRenameAsideLimit = 2000;
// A finished copy waits under this name beside the target it replaces.
const char kTemporarySuffix[] = ".~tmp";
// How long a copied file's name at least stays on the status line before the
// next one replaces it.
const DWORD kFileStatusInterval = 40;

DWORD lastErrorCode = 0;

// An order whose equality is exactly SameText's.
int CompareFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int difference = static_cast<unsigned char>(FoldAscii(*a)) -
                     static_cast<unsigned char>(FoldAscii(*b));
    if (difference != 0 || *a == '\0') return difference;
  }
}

int CompareNameEntries(const void* a, const void* b) {
  return CompareFolded(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
}

// Calls visit for every name that directory + pattern (length characters)
// finds, until visit returns false. A search path that would not fit finds
// nothing rather than something else.
template <typename Visit>
void SearchPattern(const char* directory, const char* pattern, size_t length, Visit visit) {
  char path[kSearchPathSize];
  if (length == 0) return;
  if (!CopyText(path, sizeof path, directory) || !AppendTextN(path, sizeof path, pattern, length)) {
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  while (visit(found.cFileName) && FindNextFileA(search, &found)) {
  }
  FindClose(search);
}

// Calls visit(pattern, length) for each comma-separated pattern of list
// until it returns false. The list itself is never written.
template <typename Visit>
void ForEachPattern(const char* list, Visit visit) {
  const char* pattern = list;
  for (;;) {
    const char* comma = std::strchr(pattern, ',');
    size_t length = comma ? static_cast<size_t>(comma - pattern) : std::strlen(pattern);
    if (!visit(pattern, length) || !comma) return;
    pattern = comma + 1;
  }
}

bool AddName(ExclusionNames* names, const char* name) {
  if (names->count == names->capacity) {
    int capacity = names->capacity ? names->capacity * 2 : 16;
    char** grown = static_cast<char**>(std::realloc(names->names, sizeof(char*) * capacity));
    if (!grown) return false;
    names->names = grown;
    names->capacity = capacity;
  }
  char* copy = DuplicateText(name);
  if (!copy) return false;
  names->names[names->count++] = copy;
  return true;
}

void ReleaseNames(ExclusionNames* names) {
  for (int i = 0; i < names->count; ++i) std::free(names->names[i]);
  std::free(names->names);
  names->names = nullptr;
  names->count = 0;
  names->capacity = 0;
}

// What a single exclusion test costs when the names could not be kept.
bool PassesBySearch(const char* directory, const char* list, const char* fileName) {
  bool passes = true;
  ForEachPattern(list, [&](const char* pattern, size_t length) {
    SearchPattern(directory, pattern, length, [&](const char* found) {
      if (SameText(found, fileName)) passes = false;
      return passes;
    });
    return passes;
  });
  return passes;
}

void ClearReadOnlyKnown(const char* path, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return;
  DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(path, cleared ? cleared : FILE_ATTRIBUTE_NORMAL);
}

// CopyReadOnly with the source's attributes already in hand.
void MarkReadOnlyLike(DWORD sourceAttributes, const char* target) {
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES || !(sourceAttributes & FILE_ATTRIBUTE_READONLY)) {
    return;
  }
  DWORD attributes = GetFileAttributesA(target);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return;
  SetFileAttributesA(target, attributes | FILE_ATTRIBUTE_READONLY);
}

// Removes a file whatever its read-only attribute; false when it stays.
bool RemoveFile(const char* path) {
  if (DeleteFileA(path)) return true;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  ClearReadOnlyKnown(path, attributes);
  return DeleteFileA(path) != 0;
}

// Renames a program file out of the way of its replacement, to the first of
// "<target>.(0)" ... "(4)" that is free or can be freed; aside receives the
// name. A running program cannot be overwritten, but it can be renamed.
bool RenameProgramAside(const char* target, char* aside, size_t asideSize) {
  if (!IsProgramFile(target, std::strlen(target))) return false;
  bool recording = JournalActive();
  // A rename is recorded only where it can happen: an undo must never take
  // a leftover for the program.
  bool targetThere = !recording || GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES;
  for (int number = 0; number < 5; ++number) {
    FormatText(aside, asideSize, "%s.(%d)", target, number);
    if (!recording && MoveFileA(target, aside)) return true;
    // A leftover of an earlier update that is no longer in use goes (into
    // the backup while recording); one still in use stays, and the next
    // number is tried.
    if (GetFileAttributesA(aside) != INVALID_FILE_ATTRIBUTES) {
      if (recording ? !JournalKeepAndRemove(aside) : !RemoveFile(aside)) continue;
      LogChange("DELETE", nullptr, "\"%s\": a leftover of an earlier update", aside);
    }
    if (recording ? targetThere && JournalRenamed(target, aside) && MoveFileA(target, aside)
                  : MoveFileA(target, aside) != 0) {
      return true;
    }
  }
  return false;
}

// How a copy reached its target, for the run's log.
struct CopyOutcome {
  bool replaced;   // the target existed
  bool inPlace;    // copied over it in place: it could not be renamed
  bool renamed;    // a program moved aside to `aside`
  char aside[kRenameAsideLimit + 16];
};

// Copies over the target in place: the way that works where a finished copy
// cannot be renamed over the target. A read-only target is made writable
// for the second try and gets its attributes back when that fails too.
bool CopyInPlace(const char* source, const char* target, CopyOutcome* outcome) {
  outcome->inPlace = true;
  if (JournalActive() && !JournalInPlace(target)) return false;
  if (CopyFileA(source, target, FALSE)) return true;
  DWORD code = GetLastError();
  DWORD attributes = GetFileAttributesA(target);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(code);
    return false;
  }
  ClearReadOnlyKnown(target, attributes);
  if (CopyFileA(source, target, FALSE)) return true;
  code = GetLastError();
  SetFileAttributesA(target, attributes);
  SetLastError(code);
  return false;
}

// True when both paths, made full, are one name (letters in any case).
bool NameTheSameFile(const char* a, const char* b) {
  char fullA[kLongPathSize];
  char fullB[kLongPathSize];
  return lstrcmpiA(FullPath(a, fullA), FullPath(b, fullB)) == 0;
}

// Copies the source to the temporary name as a new file. A leftover of a run
// that was killed is removed by its name first: never written into, since
// it may be a second name of another file.
bool CopyToTemporary(const char* source, const char* temporary) {
  if (CopyFileA(source, temporary, TRUE)) return true;
  DWORD code = GetLastError();
  if ((code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) && RemoveFile(temporary) &&
      CopyFileA(source, temporary, TRUE)) {
    return true;
  }
  code = GetLastError();
  RemoveFile(temporary);  // a copy that broke off leaves no fragment behind
  SetLastError(code);
  return false;
}

// Replaces an existing target by a complete copy: the source is copied to
// "<target>.~tmp" beside it (which also replaces a leftover of a killed
// run), and only that finished copy takes the target's place, with one
// replacing rename. Whatever fails, the old target keeps its content and
// attributes, and the temporary file is gone.
bool ReplaceByCompleteCopy(const char* source, const char* target, CopyOutcome* outcome) {
  if (NameTheSameFile(source, target)) {
    // A file copied onto itself fails as a plain copy over it would.
    SetLastError(ERROR_SHARING_VIOLATION);
    return false;
  }
  char temporary[MAX_PATH];
  bool temporaryFits = FormatText(temporary, sizeof temporary, "%s%s", target, kTemporarySuffix);
  bool recording = JournalActive();
  char backup[kBackupPathSize];
  bool canLink = false;
  if (recording &&
      !JournalReplace(target, temporaryFits ? temporary : "", source, backup, &canLink)) {
    return false;
  }
  if (!temporaryFits) {
    // No valid path for the temporary copy: in place, after a backup copy.
    if (recording && JournalSetAside(target, backup, false, false) == kAsideFailed) return false;
    return CopyInPlace(source, target, outcome);
  }
  if (!CopyToTemporary(source, temporary)) return false;
  DWORD code;
  if (recording) {
    // The old file waits in the backup until the new one took its place. A
    // second name shares the file's attributes: a read-only one is moved.
    DWORD attributes = GetFileAttributesA(target);
    bool mayLink = canLink && attributes != INVALID_FILE_ATTRIBUTES &&
                   !(attributes & FILE_ATTRIBUTE_READONLY);
    JournalAside aside = JournalSetAside(target, backup, mayLink, true);
    if (aside == kAsideLinked) {
      if (MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING)) return true;
      // Its second name goes (it shares the file's attributes and bytes),
      // and the old file is set aside the other way.
      DeleteFileA(backup);
      aside = JournalSetAside(target, backup, false, true);
    }
    if (aside == kAsideFailed) {
      code = GetLastError();
      RemoveFile(temporary);
      SetLastError(code);
      return false;
    }
    if (aside == kAsideMoved) {
      if (MoveFileExA(temporary, target, 0)) return true;
      code = GetLastError();
      MoveFileExA(backup, target, 0);
      RemoveFile(temporary);
      SetLastError(code);
      return false;
    }
    // Only a copy was kept: the target is replaced as without a journal.
  }
  if (MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING)) return true;
  code = GetLastError();
  DWORD attributes = GetFileAttributesA(target);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    // Only a finished copy may make the old target writable.
    ClearReadOnlyKnown(target, attributes);
    if (MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING)) return true;
    code = GetLastError();
    SetFileAttributesA(target, attributes);
  }
  RemoveFile(temporary);
  // Held open by a program that lets others write to it but not rename it.
  if (IsSharingOrAccessError(code)) return CopyInPlace(source, target, outcome);
  SetLastError(code);
  return false;
}

// One attempt to bring a [Copy] file to its target: a program file in the
// way is renamed aside (and put back when the copy fails), a new target is
// copied directly, an existing one is replaced only by a complete copy.
// sourceAttributes may be INVALID_FILE_ATTRIBUTES (then read).
// expectExisting: the file before it in the line replaced a target, so this
// one probably does too.
bool InstallFile(const char* source, const char* target, DWORD sourceAttributes,
                 CopyOutcome* outcome, bool expectExisting = false) {
  outcome->replaced = outcome->inPlace = outcome->renamed = false;
  if (!source || !target) return false;
  outcome->renamed = RenameProgramAside(target, outcome->aside, sizeof outcome->aside);
  outcome->replaced = outcome->renamed;
  bool copied = false;
  bool exists;
  if (JournalActive() || (expectExisting && !outcome->renamed)) {
    // Asking first: what is made must be recorded before it is made, and
    // asking after an existing file costs less than a copy that fails.
    // A directory in the target's way fails as without a journal: the old
    // target cannot be read for its record, and so stays.
    exists = !outcome->renamed && GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES;
    if (!exists) {
      copied = (!JournalActive() || JournalNewFile(target, source)) &&
               CopyFileA(source, target, TRUE);
    }
  } else {
    // Asking the copy to fail on an existing target tells new from existing
    // targets without a call of its own.
    copied = CopyFileA(source, target, TRUE) != 0;
    DWORD code = GetLastError();
    exists = !copied && (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS);
    if (!copied && !exists) SetLastError(code);
  }
  if (exists) {
    outcome->replaced = true;
    copied = ReplaceByCompleteCopy(source, target, outcome);
  }
  if (!copied) {
    DWORD code = GetLastError();
    // The installation must not be left without its program file.
    if (outcome->renamed) MoveFileExA(outcome->aside, target, MOVEFILE_REPLACE_EXISTING);
    SetLastError(code);
    return false;
  }
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES) sourceAttributes = GetFileAttributesA(source);
  MarkReadOnlyLike(sourceAttributes, target);
  return true;
}

// What the log says of a copy that arrived.
void LogCopied(const char* source, const char* target, const CopyOutcome& outcome) {
  if (!RunLogActive()) return;
  const char* how = !outcome.replaced ? "new"
                    : outcome.inPlace ? "replaced in place (it could not be renamed)"
                                      : "replaced";
  LogEvent("COPY", "\"%s\" -> \"%s\": %s%s%s%s", source, target, how,
           outcome.renamed ? "; the old program was renamed to \"" : "",
           outcome.renamed ? outcome.aside : "", outcome.renamed ? "\"" : "");
}

bool IsExistingDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HasWildcard(const char* text) {
  return std::strchr(text, '*') != nullptr || std::strchr(text, '?') != nullptr;
}

// The answer of an Abort/Retry/Ignore box: true to try once more.
bool RetryAfter(int answer, bool* stopRequested) {
  if (answer == IDRETRY) return true;
  if (answer == IDABORT || answer == IDCANCEL) *stopRequested = true;
  return false;
}

// Where the files of one [Copy] line go; decided at its first file, since
// neither the target text nor its kind changes during the line.
struct CopyTarget {
  bool decided;
  bool intoDirectory;
  bool needsSeparator;
};

}  // namespace

// --- exclusion names --------------------------------------------------------

void CollectExclusionNames(const char* directory, const char* list, ExclusionNames* names) {
  names->names = nullptr;
  names->count = 0;
  names->capacity = 0;
  names->incomplete = false;
  names->directory = directory;
  names->list = list;
  if (!list) return;
  ForEachPattern(list, [&](const char* pattern, size_t length) {
    SearchPattern(directory, pattern, length, [&](const char* found) {
      if (!AddName(names, found)) names->incomplete = true;
      return !names->incomplete;
    });
    return !names->incomplete;
  });
  if (names->incomplete) {
    ReleaseNames(names);
    return;
  }
  if (names->count > 1) {
    std::qsort(names->names, names->count, sizeof(char*), CompareNameEntries);
  }
}

bool PassesExclusions(const ExclusionNames* names, const char* fileName) {
  if (!names->list) return true;
  if (names->incomplete) return PassesBySearch(names->directory, names->list, fileName);
  if (names->count == 0) return true;
  return std::bsearch(&fileName, names->names, names->count, sizeof(char*), CompareNameEntries) ==
         nullptr;
}

void FreeExclusionNames(ExclusionNames* names) { ReleaseNames(names); }

// --- shared file routines ------------------------------------------------------

bool IsSetupFileName(const char* name) {
  for (const char* setupName : kSetupFileNames) {
    if (SameText(name, setupName)) return true;
  }
  return false;
}

void FormatSystemError(DWORD code) {
  if (systemErrorText) {
    LocalFree(systemErrorText);
    systemErrorText = nullptr;
  }
  lastErrorCode = code;
  char* text = nullptr;
  // Inserts are ignored: no arguments are passed for them.
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
      nullptr);
  if (length == 0 && text) {
    LocalFree(text);
    text = nullptr;
  }
  systemErrorText = text;
}

const char* SystemErrorOrCode(char* buffer, size_t capacity) {
  if (systemErrorText) return systemErrorText;
  FormatText(buffer, capacity, "%lu", static_cast<unsigned long>(lastErrorCode));
  return buffer;
}

const char* FullPath(const char* path, char* buffer) {
  DWORD length = GetFullPathNameA(path, kLongPathSize, buffer, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(kLongPathSize)) {
    CopyText(buffer, kLongPathSize, path);
  }
  return buffer;
}

const char* CurrentDirectory(char* buffer) {
  DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) buffer[0] = '\0';
  return buffer;
}

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool IsProgramFile(const char* path, size_t length) {
  if (length <= 4 || length > kRenameAsideLimit) return false;
  const char* extension = path + length - 4;
  return SameText(extension, ".exe") || SameText(extension, ".com");
}

bool IsSharingOrAccessError(unsigned long code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
         code == ERROR_LOCK_VIOLATION;
}

void CreateDirectoryPath(const char* path) {
  if (!path) return;
  char level[kLongPathSize];
  for (size_t i = 0; path[i] != '\0' && i < sizeof level; ++i) {
    if (path[i] != '\\' || i == 0) continue;
    std::memcpy(level, path, i);
    level[i] = '\0';
    // Existing levels (and the drive) are passed; a level that is made is
    // recorded first. Below one that cannot be made none can.
    if (GetFileAttributesA(level) != INVALID_FILE_ATTRIBUTES) continue;
    char reason[256];
    const char* failure = nullptr;
    if (JournalActive() && !JournalNewDirectory(level)) {
      failure = "the journal cannot record it";
    } else if (!CreateDirectoryA(level, nullptr)) {
      DWORD code = GetLastError();
      if (GetFileAttributesA(level) != INVALID_FILE_ATTRIBUTES) continue;  // made meanwhile
      failure = SystemReason(code, reason, sizeof reason);
    }
    LogChange("MKDIR", failure, "\"%s\"", level);
    if (failure) return;
  }
}

void ClearReadOnly(const char* path) {
  if (!path) return;
  ClearReadOnlyKnown(path, GetFileAttributesA(path));
}

void CopyReadOnly(const char* source, const char* target) {
  if (!source || !target) return;
  MarkReadOnlyLike(GetFileAttributesA(source), target);
}

bool ReplaceFile(const char* source, const char* target) {
  CopyOutcome outcome;
  return InstallFile(source, target, INVALID_FILE_ATTRIBUTES, &outcome);
}

bool RunAndWait(const char* program, const char* parameters, unsigned long* exitCode) {
  SHELLEXECUTEINFOA execute;
  std::memset(&execute, 0, sizeof execute);
  execute.cbSize = sizeof execute;
  // The failure is reported by our own message, with Retry; the shell's
  // own error box would come first and, unattended, never be answered.
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  execute.hwnd = nullptr;
  execute.lpVerb = "Open";
  execute.lpFile = program;
  execute.lpParameters = parameters;
  execute.lpDirectory = nullptr;
  execute.nShow = SW_SHOW;
  if (!LazyShellExecuteExA(&execute)) return false;
  if (execute.hProcess) {
    WaitForSingleObject(execute.hProcess, INFINITE);
    DWORD code = 0;
    if (exitCode && GetExitCodeProcess(execute.hProcess, &code)) *exitCode = code;
    CloseHandle(execute.hProcess);
  }
  return true;
}

// --- line actions ----------------------------------------------------------------

void InstallerContext::ApplyCopyLine() {
  if (RunIsRehearsal()) {
    PlanOutcome outcome = PlanCopyLine(scratchPath, sourceDir, targetSpec, copyFilter, lineBuffer);
    if (outcome != kPlanDone) errorsOccurred = true;
    if (outcome == kPlanStops) stopRequested = true;
    return;
  }
  findHandle = FindFirstFileA(scratchPath, &findData);
  if (findHandle == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (HasWildcard(lineBuffer)) {  // a pattern that finds nothing is no error
      LogChange("COPY", nullptr, "\"%s\": no file matches", scratchPath);
      return;
    }
    char codeText[16];
    FormatSystemError(code);
    const char* systemText = SystemErrorOrCode(codeText, sizeof codeText);
    FormatText(errorText, sizeof errorText, LoadMessage(33), scratchPath, systemText);
    FormatText(messageText, sizeof messageText, LoadMessage(34), errorText);
    errorsOccurred = true;
    int answer = ShowBox(kBoxMissingSource, messageText, nullptr);
    char reason[256];
    char failure[512];
    FormatText(failure, sizeof failure, "%s; %s", SystemReason(code, reason, sizeof reason),
               answer == IDNO ? "the installation stops" : "the installation goes on");
    LogChange("COPY", failure, "\"%s\"", scratchPath);
    if (answer == IDNO) stopRequested = true;
    return;
  }

  // The found entries' attributes stand for the copied files only when the
  // files are taken from the searched directory itself.
  const char* lastBackslash = std::strrchr(scratchPath, '\\');
  size_t searchDirLength = lastBackslash ? static_cast<size_t>(lastBackslash - scratchPath) + 1 : 0;
  bool attributesApply = searchDirLength == std::strlen(sourceDir) &&
                         std::strncmp(scratchPath, sourceDir, searchDirLength) == 0;

  ExclusionNames excluded;
  CollectExclusionNames(sourceDir, copyFilter, &excluded);
  CopyTarget target = {false, false, false};
  bool statusShown = false;
  DWORD statusTick = 0;
  bool lastReplaced = false;

  for (bool more = true; more && !stopRequested;
       more = FindNextFileA(findHandle, &findData) != 0) {
    const char* name = findData.cFileName;
    fileAccepted = !IsSetupFileName(name) && PassesExclusions(&excluded, name);
    if (!fileAccepted || name[0] == '.' || (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      continue;
    }

    if (!target.decided) {
      target.decided = true;
      size_t specLength = std::strlen(targetSpec);
      bool endsInBackslash = specLength > 0 && targetSpec[specLength - 1] == '\\';
      target.intoDirectory = specLength > 0 && (endsInBackslash || IsExistingDirectory(targetSpec));
      target.needsSeparator = !endsInBackslash;
      const char* specBackslash = std::strrchr(targetSpec, '\\');
      if (target.intoDirectory || (specBackslash && specBackslash - targetSpec >= 4)) {
        CreateDirectoryPath(targetSpec);
      }
    }

    // A path that does not fit is reported, never cut into another file's name.
    bool pathsFit = CopyText(scratchPath, sizeof scratchPath, sourceDir);
    pathsFit = pathsFit && AppendText(scratchPath, sizeof scratchPath, name);
    bool targetFits = CopyText(targetPath, sizeof targetPath, targetSpec);
    if (target.intoDirectory) {
      if (targetFits && target.needsSeparator) {
        targetFits = AppendText(targetPath, sizeof targetPath, "\\");
      }
      targetFits = targetFits && AppendText(targetPath, sizeof targetPath, name);
    }
    pathsFit = pathsFit && targetFits;
    DWORD sourceAttributes = attributesApply ? findData.dwFileAttributes : INVALID_FILE_ATTRIBUTES;

    // Setting a window's text costs more than copying a small file on some
    // systems; no one reads a thousand names a second. The first file of a
    // line is always named, later ones when the line has been still a while.
    DWORD now = GetTickCount();
    bool named = !statusShown || now - statusTick >= kFileStatusInterval;
    if (named) {
      ShowStatus(kActionCopy, name);
      statusShown = true;
      statusTick = now;
    }
    for (;;) {
      DWORD code = ERROR_FILENAME_EXCED_RANGE;
      CopyOutcome outcome;
      if (pathsFit) {
        // The read-only retry and every other fallback live in InstallFile:
        // each of them keeps the old target whole until a copy is complete.
        if (InstallFile(scratchPath, targetPath, sourceAttributes, &outcome, lastReplaced)) {
          lastReplaced = outcome.replaced;
          LogCopied(scratchPath, targetPath, outcome);
          break;
        }
        code = GetLastError();
      }
      char codeText[16];
      FormatSystemError(code);
      FormatText(errorText, sizeof errorText, LoadMessage(32), scratchPath, targetPath,
                 SystemErrorOrCode(codeText, sizeof codeText));
      errorsOccurred = true;
      // A failing file is always named while its question is open.
      if (!named) ShowStatus(kActionCopy, name);
      named = true;
      int answer = ShowBox(kBoxActionFailed, errorText, nullptr);
      char reason[256];
      char failure[512];
      FormatText(failure, sizeof failure, "%s; answer %s", SystemReason(code, reason, sizeof reason),
                 AnswerName(answer));
      LogChange("COPY", failure, "\"%s\" -> \"%s\"", scratchPath, targetPath);
      if (!RetryAfter(answer, &stopRequested)) break;
    }
  }

  FindClose(findHandle);
  findHandle = INVALID_HANDLE_VALUE;
  FreeExclusionNames(&excluded);
}

void InstallerContext::ApplyRunLine() {
  SplitRunLine(lineBuffer, &runArguments);
  const char* program = lineBuffer;
  const char* parameters = runArguments ? runArguments : "";
  if (RunIsRehearsal()) {
    PlanOutcome outcome = PlanRunLine(program, parameters);
    if (outcome != kPlanDone) errorsOccurred = true;
    if (outcome == kPlanStops) stopRequested = true;
    return;
  }
  // What a program does cannot be undone; the journal says that it ran.
  if (JournalActive()) JournalProgram(program, parameters);
  for (;;) {
    ShowStatus(kActionRun, program);
    DWORD started = GetTickCount();
    unsigned long exitCode = 0;
    if (RunAndWait(program, runArguments, &exitCode)) {
      DWORD elapsed = GetTickCount() - started;
      LogEvent("RUN", "\"%s\" parameters \"%s\": exit code %lu after %lu.%lu s", program,
               parameters, exitCode, static_cast<unsigned long>(elapsed / 1000),
               static_cast<unsigned long>(elapsed % 1000 / 100));
      return;
    }
    DWORD code = GetLastError();
    FormatText(errorText, sizeof errorText, LoadMessage(35), program);
    errorsOccurred = true;
    int answer = ShowBox(kBoxActionFailed, errorText, nullptr);
    char reason[256];
    char failure[512];
    FormatText(failure, sizeof failure, "%s; answer %s", SystemReason(code, reason, sizeof reason),
               AnswerName(answer));
    LogChange("RUN", failure, "\"%s\" parameters \"%s\"", program, parameters);
    if (!RetryAfter(answer, &stopRequested)) return;
  }
}

void InstallerContext::ApplyDeleteLine() {
  const char* extension = DeleteLineExtension(lineBuffer);
  if (!extension) {
    LogChange("DELETE", nullptr, "\"%s\": no extension: deletes nothing", lineBuffer);
    return;
  }
  ShowStatus(kActionDelete, lineBuffer);
  // Without a directory part there is no path to delete the found names by.
  const char* lastBackslash = std::strrchr(lineBuffer, '\\');
  if (!lastBackslash) {
    LogChange("DELETE", nullptr, "\"%s\": no directory: deletes nothing", lineBuffer);
    return;
  }
  if (RunIsRehearsal()) {
    PlanDeleteLine(lineBuffer, extension);
    return;
  }
  size_t directoryLength = static_cast<size_t>(lastBackslash - lineBuffer) + 1;

  findHandle = FindFirstFileA(lineBuffer, &findData);
  if (findHandle == INVALID_HANDLE_VALUE) {
    LogChange("DELETE", nullptr, "\"%s\": no file matches", lineBuffer);
    return;
  }
  char path[kLongPathSize + MAX_PATH];
  do {
    const char* name = findData.cFileName;
    if (name[0] == '.' || (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (!DeleteNameMatches(name, extension)) continue;
    size_t nameLength = std::strlen(name);
    if (directoryLength + nameLength >= sizeof path) continue;
    std::memcpy(path, lineBuffer, directoryLength);
    std::memcpy(path + directoryLength, name, nameLength + 1);
    bool deleted;
    if (JournalActive()) {
      deleted = JournalKeepAndRemove(path);  // into the backup, for an undo
    } else {
      ClearReadOnlyKnown(path, findData.dwFileAttributes);
      deleted = DeleteFileA(path) != 0;
    }
    if (!RunLogActive()) continue;
    // The log names the file in full: a relative line depends on the
    // current directory.
    DWORD code = GetLastError();
    char full[kLongPathSize];
    FullPath(path, full);
    char reason[256];
    LogChange("DELETE", deleted ? nullptr : SystemReason(code, reason, sizeof reason), "\"%s\"",
              full);
  } while (FindNextFileA(findHandle, &findData));
  FindClose(findHandle);
  findHandle = INVALID_HANDLE_VALUE;
}

void InstallerContext::ApplyMoveLine() {
  char* oldName = nullptr;
  char* newName = nullptr;
  if (!SplitMoveLine(lineBuffer, &oldName, &newName)) {
    LogChange("MOVE", nullptr, "\"%s\": moves nothing (it needs old=new, both named, without "
              "wildcards)", lineBuffer);
    return;
  }
  if (RunIsRehearsal()) {
    PlanMoveLine(oldName, newName);
    return;
  }
  char fullOld[kLongPathSize];
  char fullNew[kLongPathSize];
  FullPath(oldName, fullOld);
  FullPath(newName, fullNew);
  // The moved file, or the one in its way, loses its read-only attribute.
  if (JournalActive() && !(JournalAttributes(oldName) && JournalAttributes(newName) &&
                           JournalMoved(oldName, newName))) {
    LogChange("MOVE", "the journal cannot record it", "\"%s\" -> \"%s\"", fullOld, fullNew);
    return;
  }
  char reason[256];
  bool moved = MoveFileA(oldName, newName) != FALSE;
  LogChange("MOVE", moved ? nullptr : SystemReason(GetLastError(), reason, sizeof reason),
            "\"%s\" -> \"%s\"", fullOld, fullNew);
  ClearReadOnly(newName);  // also when the move failed onto an existing file
}

void InstallerContext::ApplyChangeDirLine() {
  // A rehearsal changes the directory too, so later lines resolve as they would.
  if (RunIsRehearsal()) {
    PlanChangeDirLine(lineBuffer);
    return;
  }
  bool changed = SetCurrentDirectoryA(lineBuffer) != FALSE;
  if (!RunLogActive()) return;
  char directory[MAX_PATH + 1];
  char why[MAX_PATH + 64];
  FormatText(why, sizeof why, "it does not exist; the current directory stays \"%s\"",
             CurrentDirectory(directory));
  LogChange("CHANGEDIR", changed ? nullptr : why, "\"%s\"", lineBuffer);
}
