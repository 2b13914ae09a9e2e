// The file actions of a rehearsal: what [Copy], [Run], [Delete], [Move] and
// [ChangeDir] would do, judged from the state each line would find. The
// system is asked, never changed: a file is opened to learn whether it may
// be opened, a directory's security is checked instead of making one.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "actions/file_actions.h"
#include "actions/file_lines.h"
#include "actions/file_plan.h"
#include "actions/registry.h"
#include "app/text.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "script/script_reader.h"
#include "version/version.h"

namespace {

bool automaticAnswers = false;
bool undoOnStop = false;
// The rehearsal's current directory while it is one that an earlier line
// makes (the process cannot enter it yet); empty: the process's own.
char planDirectory[MAX_PATH + 1] = "";
// Set while the rehearsal reads the version of a file as it is.
bool readingOrigin = false;

const char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

bool HasWildcard(const char* text) { return std::strpbrk(text, "*?") != nullptr; }

// The full form of path (kLongPathSize bytes), resolved as the line would
// resolve it.
const char* Resolve(const char* path, char* full) {
  bool rooted = (path[0] != '\0' && path[1] == ':') || (path[0] == '\\' && path[1] == '\\');
  if (!planDirectory[0] || rooted) return FullPath(path, full);
  char joined[kLongPathSize];
  if (path[0] == '\\') {
    FormatText(joined, sizeof joined, "%.2s%s", planDirectory, path);  // its drive
  } else {
    FormatText(joined, sizeof joined, "%s\\%s", planDirectory, path);
  }
  return FullPath(joined, full);
}

// A file or directory as the line would find it.
struct FileState {
  bool exists;
  bool directory;
  bool readOnly;
  bool planned;  // an earlier line decides it: the system is not asked about it
  // Where its bytes are now (the path itself, or the file an earlier line
  // copies there; "" for bytes made in the run).
  char origin[kLongPathSize];
};

void StateOf(const char* full, FileState* state) {
  PlanItem item = PlanGetItem(full);
  state->planned = item.state != kPlanUnknown;
  state->exists = false;
  state->directory = false;
  state->readOnly = false;
  CopyText(state->origin, sizeof state->origin, full);
  if (state->planned) {
    state->exists = item.state != kPlanAbsent;
    state->directory = item.state == kPlanDirectory;
    state->readOnly = item.readOnly;
    CopyText(state->origin, sizeof state->origin, item.state == kPlanPresent ? item.text : "");
    return;
  }
  DWORD attributes = GetFileAttributesA(full);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  state->exists = true;
  state->directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  state->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The directory of a full path, without its final backslash.
const char* ParentOf(const char* full, char* parent) {
  CopyText(parent, kLongPathSize, full);
  char* cut = std::strrchr(parent, '\\');
  if (cut && cut > parent + 2) {
    *cut = '\0';
  } else if (cut) {
    cut[1] = '\0';  // a drive's root keeps its backslash
  }
  return parent;
}

// Whether the file opens with `access` while every other holder keeps it
// open; the system's error otherwise. Opening changes nothing.
bool MayOpen(const char* path, DWORD access, DWORD* code) {
  HANDLE file = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (code) *code = GetLastError();
    return false;
  }
  CloseHandle(file);
  return true;
}

// A file is deleted when nothing holds it without sharing its deletion; a
// program that runs cannot be opened for writing, nor deleted.
bool MayDelete(const char* path, bool readOnly, DWORD* code) {
  return MayOpen(path, DELETE, code) && (readOnly || MayOpen(path, GENERIC_WRITE, code));
}

// Whether this process's user may do `right` in the directory, by its
// security; true where the system keeps none (the system decides then).
bool DirectoryAllows(const char* directory, DWORD right) {
  const SECURITY_INFORMATION what =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  GetFileSecurityA(directory, what, nullptr, 0, &size);
  if (size == 0) return true;
  void* descriptor = std::malloc(size);
  HANDLE token = nullptr;
  HANDLE impersonation = nullptr;
  bool allowed = true;
  if (descriptor && GetFileSecurityA(directory, what, descriptor, size, &size) &&
      OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &token) &&
      DuplicateToken(token, SecurityImpersonation, &impersonation)) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges;
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    if (AccessCheck(descriptor, impersonation, right, &mapping, &privileges, &privilegesSize,
                    &granted, &status)) {
      allowed = status != FALSE;
    }
  }
  if (impersonation) CloseHandle(impersonation);
  if (token) CloseHandle(token);
  std::free(descriptor);
  return allowed;
}

// A failed copy or program start, with how the run answers it; what the
// run does next.
PlanOutcome LogFailure(const char* keyword, const char* why, const char* format,
                       const char* first, const char* second) {
  char failure[512];
  FormatText(failure, sizeof failure, "%s; %s", why,
             !automaticAnswers ? "the user would be asked (planned on as after Ignore)"
             : undoOnStop      ? "answered Abort automatically: the installation stops and is undone"
                               : "answered Abort automatically: the installation stops");
  LogChange(keyword, failure, format, first, second);
  return automaticAnswers ? kPlanStops : kPlanFailed;
}

// The directories of path up to its last backslash that are not there
// would be made; false (after its event) when one cannot be.
bool PlanDirectories(const char* path) {
  size_t first = 1;
  if (path[0] == '\\' && path[1] == '\\') {
    // The server and share of a network path are not made.
    const char* share = std::strchr(path + 2, '\\');
    share = share ? std::strchr(share + 1, '\\') : nullptr;
    if (!share) return true;
    first = static_cast<size_t>(share - path) + 1;
  }
  char level[kLongPathSize];
  for (size_t i = first; path[i] != '\0' && i < sizeof level; ++i) {
    if (path[i] != '\\') continue;
    std::memcpy(level, path, i);
    level[i] = '\0';
    PlanBeginEvent();
    char full[kLongPathSize];
    FileState state;
    StateOf(FullPath(level, full), &state);
    if (state.exists && state.directory) continue;
    const char* name = std::strrchr(level, '\\');
    name = name ? name + 1 : level;
    const char* why = nullptr;
    char parent[kLongPathSize];
    FileState above;
    StateOf(ParentOf(full, parent), &above);
    if (state.exists) {
      why = "a file of that name is in the way";
    } else if (i == 2 && level[1] == ':') {
      why = "no such drive";
    } else if (!IsValidFileName(name, std::strlen(name))) {
      why = "the name is not valid";
    } else if (above.exists && !above.planned &&
               !DirectoryAllows(parent, FILE_ADD_SUBDIRECTORY)) {
      why = "no right to make a directory there";
    }
    LogChange("MKDIR", why, "\"%s\"", level);
    if (why) return false;
    PlanSetState(full, kPlanDirectory);
  }
  return true;
}

// --- what a file search would find -----------------------------------------------

struct Found {
  char name[MAX_PATH];
  bool directory;
  bool planned;  // only an earlier line puts it there
};

struct Listing {
  Found* items;
  int count;
  int capacity;
  bool changed;  // earlier lines add or remove names
  const char* mask;
};

bool AddFound(Listing* listing, const char* name, bool directory, bool planned) {
  if (listing->count == listing->capacity) {
    int grown = listing->capacity ? listing->capacity * 2 : 16;
    Found* bigger = static_cast<Found*>(std::realloc(listing->items, sizeof(Found) * grown));
    if (!bigger) return false;
    listing->items = bigger;
    listing->capacity = grown;
  }
  Found& found = listing->items[listing->count++];
  CopyText(found.name, sizeof found.name, name);
  found.directory = directory;
  found.planned = planned;
  return true;
}

void AddPlanned(const char* name, const PlanItem& item, void* context) {
  Listing* listing = static_cast<Listing*>(context);
  const char* part = std::strrchr(name, '\\') + 1;
  if (item.state == kPlanAbsent || !PlanNameMatches(listing->mask, part)) return;
  for (int i = 0; i < listing->count; ++i) {
    if (SameText(listing->items[i].name, part)) return;  // the system has it already
  }
  if (AddFound(listing, part, item.state == kPlanDirectory, true)) listing->changed = true;
}

// The search's order on NTFS and under Wine: names compared in upper case.
int CompareFound(const void* a, const void* b) {
  const char* x = static_cast<const Found*>(a)->name;
  const char* y = static_cast<const Found*>(b)->name;
  for (;; ++x, ++y) {
    int difference = static_cast<unsigned char>(FoldAscii(*x)) -
                     static_cast<unsigned char>(FoldAscii(*y));
    if (difference != 0 || *x == '\0') return difference;
  }
}

// What FindFirstFileA(pattern) would find when the line runs, pattern being
// a full path; directory receives its directory. code gets the search's
// error when the system finds nothing.
void ListMatches(const char* pattern, Listing* listing, char* directory, DWORD* code) {
  listing->items = nullptr;
  listing->count = listing->capacity = 0;
  listing->changed = false;
  const char* slash = std::strrchr(pattern, '\\');
  CopyText(directory, kLongPathSize, pattern);
  directory[slash ? slash - pattern : 0] = '\0';
  listing->mask = slash ? slash + 1 : pattern;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) {
    *code = GetLastError();
  } else {
    do {
      char full[kLongPathSize];
      FormatText(full, sizeof full, "%s\\%s", directory, found.cFileName);
      PlanItem item = PlanGetItem(full);
      if (item.state == kPlanAbsent) {
        listing->changed = true;
        continue;
      }
      bool isDirectory = item.state == kPlanUnknown
                             ? (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                             : item.state == kPlanDirectory;
      AddFound(listing, found.cFileName, isDirectory, false);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  PlanForEachChild(directory, '\\', AddPlanned, listing);
  if (listing->changed && listing->count > 1) {
    std::qsort(listing->items, listing->count, sizeof(Found), CompareFound);
  }
}

// A name that only an earlier line brings, matched by one of the exclusion
// patterns (the system's search of them cannot see it yet).
bool PlannedExcluded(const char* list, const char* name) {
  if (!list) return false;
  char pattern[MAX_PATH];
  for (const char* at = list;;) {
    const char* comma = std::strchr(at, ',');
    size_t length = comma ? static_cast<size_t>(comma - at) : std::strlen(at);
    if (length > 0 && length < sizeof pattern) {
      std::memcpy(pattern, at, length);
      pattern[length] = '\0';
      if (PlanNameMatches(pattern, name)) return true;
    }
    if (!comma) return false;
    at = comma + 1;
  }
}

// --- [Copy] --------------------------------------------------------------------

// The version of the file whose bytes a copy brings or replaces.
bool OriginVersion(const char* origin, FileVersion* version) {
  readingOrigin = true;
  bool found = origin[0] != '\0' && GetFileVersion(origin, version);
  readingOrigin = false;
  return found;
}

PlanOutcome FailCopy(const char* source, const char* target, const char* why) {
  return LogFailure("COPY", why, "\"%s\" -> \"%s\"", source, target);
}

// One file of a [Copy] line, as InstallFile would bring it.
PlanOutcome PlanCopyFile(const char* source, const char* target, bool pathsFit,
                         bool directoriesMade) {
  PlanBeginEvent();
  char fullSource[kLongPathSize];
  char fullTarget[kLongPathSize];
  FullPath(source, fullSource);
  FullPath(target, fullTarget);
  FileState from;
  FileState to;
  StateOf(fullSource, &from);
  StateOf(fullTarget, &to);
  const char* name = std::strrchr(fullTarget, '\\');
  name = name ? name + 1 : fullTarget;
  char reason[256];
  DWORD code = 0;
  // The new file (or the complete copy that replaces the old one) is made
  // in the target's directory.
  char parent[kLongPathSize];
  FileState directory;
  StateOf(ParentOf(fullTarget, parent), &directory);
  const char* why =
      !pathsFit                        ? "a path is too long"
      : !directoriesMade               ? "the target directory cannot be made"
      : !from.exists || from.directory ? "the source cannot be read"
      : !from.planned && !MayOpen(fullSource, GENERIC_READ, &code)
          ? SystemReason(code, reason, sizeof reason)
      : to.exists && to.directory ? "a directory of that name is in the way"
      : to.exists && lstrcmpiA(fullSource, fullTarget) == 0
          ? "the source and the target are the same file"
      : !IsValidFileName(name, std::strlen(name)) ? "the name is not valid"
      : directory.exists && !directory.planned && !DirectoryAllows(parent, FILE_ADD_FILE)
          ? "no right to make a file there"
          : nullptr;
  if (why) return FailCopy(source, target, why);

  // A program in the way is renamed aside first; on the way the leftovers
  // of earlier updates go where they can.
  char aside[kLongPathSize + 8] = "";
  if (IsProgramFile(fullTarget, std::strlen(fullTarget))) {
    bool canRename = to.exists && (to.planned || MayOpen(fullTarget, DELETE, nullptr));
    bool copyDepends = PlanEventDepends();
    for (int number = 0; number < 5 && !aside[0]; ++number) {
      char candidate[kLongPathSize + 8];
      char fullCandidate[kLongPathSize];
      FormatText(candidate, sizeof candidate, "%s.(%d)", target, number);
      FullPath(candidate, fullCandidate);
      PlanBeginEvent();
      FileState leftover;
      StateOf(fullCandidate, &leftover);
      copyDepends = copyDepends || PlanEventDepends();
      if (leftover.exists) {
        if (leftover.directory ||
            !(leftover.planned || MayDelete(fullCandidate, leftover.readOnly, nullptr))) {
          continue;  // still in use: the next number
        }
        LogChange("DELETE", nullptr, "\"%s\": a leftover of an earlier update", candidate);
        PlanSetState(fullCandidate, kPlanAbsent);
      }
      if (canRename) CopyText(aside, sizeof aside, candidate);
    }
    PlanBeginEvent();
    if (copyDepends) PlanMarkDependent();
  }
  // A target that cannot be renamed is replaced (or, failing that, written
  // over in place) unless something holds it for itself alone.
  if (!aside[0] && to.exists && !to.planned && !MayOpen(fullTarget, DELETE, &code) &&
      !MayOpen(fullTarget, GENERIC_WRITE, &code)) {
    return FailCopy(source, target, SystemReason(code, reason, sizeof reason));
  }

  char versions[96] = "";
  FileVersion old, fresh;
  if (to.exists && OriginVersion(to.origin, &old) && OriginVersion(from.origin, &fresh)) {
    FormatText(versions, sizeof versions, " (version %u.%u.%u.%u -> %u.%u.%u.%u)", old.major,
               old.minor, old.build, old.revision, fresh.major, fresh.minor, fresh.build,
               fresh.revision);
  }
  LogChange("COPY", nullptr, "\"%s\" -> \"%s\": %s%s%s%s%s%s", source, target,
            to.exists ? "would replace it" : "new", versions, to.readOnly ? " (read-only)" : "",
            aside[0] ? "; the old program would be renamed to \"" : "", aside,
            aside[0] ? "\"" : "");
  if (aside[0]) {
    char fullAside[kLongPathSize];
    PlanSetFile(FullPath(aside, fullAside), to.origin, to.readOnly);
  }
  PlanSetFile(fullTarget, from.origin, from.readOnly);
  return kPlanDone;
}

}  // namespace

void SetPlanAnswers(bool automatic, bool rollback) {
  automaticAnswers = automatic;
  undoOnStop = rollback;
}

PlanOutcome PlanCopyLine(const char* searchPath, const char* sourceDir, const char* targetSpec,
                         const char* exclusions, const char* sourceText) {
  PlanBeginEvent();
  char pattern[kLongPathSize];
  char directory[kLongPathSize];
  Listing listing;
  DWORD code = ERROR_FILE_NOT_FOUND;
  ListMatches(FullPath(searchPath, pattern), &listing, directory, &code);
  if (listing.count == 0) {
    std::free(listing.items);
    if (HasWildcard(sourceText)) {  // a pattern that finds nothing is no error
      LogChange("COPY", nullptr, "\"%s\": no file matches", searchPath);
      return kPlanDone;
    }
    char reason[256];
    char failure[512];
    FormatText(failure, sizeof failure, "%s; %s", SystemReason(code, reason, sizeof reason),
               automaticAnswers ? "answered Yes automatically: the installation goes on"
                                : "the user would be asked whether to go on (planned on as after Yes)");
    LogChange("COPY", failure, "\"%s\"", searchPath);
    return kPlanFailed;  // Yes goes on
  }

  ExclusionNames excluded;
  CollectExclusionNames(sourceDir, exclusions, &excluded);
  char fullSourceDir[kLongPathSize];
  FullPath(sourceDir, fullSourceDir);
  size_t sourceDirLength = std::strlen(fullSourceDir);
  if (sourceDirLength > 0 && fullSourceDir[sourceDirLength - 1] == '\\') {
    fullSourceDir[sourceDirLength - 1] = '\0';
  }
  bool patternsSeeAll = lstrcmpiA(fullSourceDir, directory) == 0;
  bool decided = false;
  bool intoDirectory = false;
  bool needsSeparator = false;
  bool directoriesMade = true;
  PlanOutcome outcome = kPlanDone;
  for (int i = 0; i < listing.count && outcome != kPlanStops; ++i) {
    const Found& found = listing.items[i];
    const char* name = found.name;
    if (IsSetupFileName(name) || !PassesExclusions(&excluded, name) ||
        (found.planned && patternsSeeAll && PlannedExcluded(exclusions, name)) ||
        name[0] == '.' || found.directory) {
      continue;
    }
    if (!decided) {
      decided = true;
      size_t specLength = std::strlen(targetSpec);
      bool endsInBackslash = specLength > 0 && targetSpec[specLength - 1] == '\\';
      char fullSpec[kLongPathSize];
      FileState spec;
      StateOf(FullPath(targetSpec, fullSpec), &spec);
      intoDirectory = specLength > 0 && (endsInBackslash || (spec.exists && spec.directory));
      needsSeparator = !endsInBackslash;
      const char* specBackslash = std::strrchr(targetSpec, '\\');
      if (intoDirectory || (specBackslash && specBackslash - targetSpec >= 4)) {
        directoriesMade = PlanDirectories(targetSpec);
      }
    }
    // Paths as the run makes them: one that does not fit fails.
    char source[kLongPathSize];
    char target[kLongPathSize];
    bool pathsFit = CopyText(source, sizeof source, sourceDir) &&
                    AppendText(source, sizeof source, name) &&
                    CopyText(target, sizeof target, targetSpec);
    if (intoDirectory) {
      if (pathsFit && needsSeparator) pathsFit = AppendText(target, sizeof target, "\\");
      pathsFit = pathsFit && AppendText(target, sizeof target, name);
    }
    PlanOutcome one = PlanCopyFile(source, target, pathsFit, directoriesMade);
    if (one != kPlanDone) outcome = one;
  }
  FreeExclusionNames(&excluded);
  std::free(listing.items);
  return outcome;
}

PlanOutcome PlanRunLine(const char* program, const char* parameters) {
  PlanBeginEvent();
  // The shell takes the name without the blanks before the apostrophe.
  char name[kLongPathSize];
  CopyText(name, sizeof name, program);
  for (size_t length = std::strlen(name); length > 0 && name[length - 1] == ' '; --length) {
    name[length - 1] = '\0';
  }
  char full[kLongPathSize];
  FileState state;
  bool found = false;
  if (std::strstr(name, "://")) {
    found = true;  // a link the shell opens
  } else if (std::strchr(name, '\\') || std::strchr(name, ':')) {
    StateOf(Resolve(name, full), &state);
    found = state.exists && !state.directory;
  } else {
    // The current directory first (where an earlier line may bring it), then
    // the system's search and the programs registered with the shell.
    char withExtension[kLongPathSize];
    bool bare = std::strchr(name, '.') == nullptr;
    FormatText(withExtension, sizeof withExtension, "%s%s", name, bare ? ".exe" : "");
    StateOf(Resolve(withExtension, full), &state);
    found = state.exists && !state.directory;
    char searched[MAX_PATH];
    if (!found && !state.planned && !planDirectory[0]) {
      DWORD length = SearchPathA(nullptr, name, ".exe", sizeof searched, searched, nullptr);
      if (length > 0 && length < sizeof searched) {
        StateOf(FullPath(searched, full), &state);
        found = state.exists && !state.directory;
      }
    }
    if (!found && FormatText(full, sizeof full, "%s%s", kAppPaths, withExtension)) {
      found = RegistryKeyExists(kRootLocalMachine, full);
    }
  }
  if (found) {
    LogChange("RUN", nullptr, "\"%s\" parameters \"%s\": would be started and waited for", program,
              parameters);
    return kPlanDone;
  }
  return LogFailure("RUN", "not found", "\"%s\" parameters \"%s\"", program, parameters);
}

void PlanDeleteLine(const char* line, const char* extension) {
  PlanBeginEvent();
  char pattern[kLongPathSize];
  char directory[kLongPathSize];
  Listing listing;
  DWORD code = 0;
  ListMatches(Resolve(line, pattern), &listing, directory, &code);
  if (listing.count == 0) LogChange("DELETE", nullptr, "\"%s\": no file matches", line);
  for (int i = 0; i < listing.count; ++i) {
    const Found& found = listing.items[i];
    if (found.name[0] == '.' || found.directory || !DeleteNameMatches(found.name, extension)) {
      continue;
    }
    PlanBeginEvent();
    char path[kLongPathSize];
    if (!FormatText(path, sizeof path, "%s\\%s", directory, found.name)) continue;
    FileState state;
    StateOf(path, &state);
    char reason[256];
    bool deletes = state.planned || MayDelete(path, state.readOnly, &code);
    LogChange("DELETE", deletes ? nullptr : SystemReason(code, reason, sizeof reason), "\"%s\"",
              path);
    if (deletes) PlanSetState(path, kPlanAbsent);
  }
  std::free(listing.items);
}

void PlanMoveLine(const char* oldName, const char* newName) {
  PlanBeginEvent();
  char fullOld[kLongPathSize];
  char fullNew[kLongPathSize];
  Resolve(oldName, fullOld);
  Resolve(newName, fullNew);
  FileState from;
  FileState to;
  StateOf(fullOld, &from);
  StateOf(fullNew, &to);
  char parent[kLongPathSize];
  FileState directory;
  StateOf(ParentOf(fullNew, parent), &directory);
  char reason[256];
  DWORD code = 0;
  const char* why = nullptr;
  if (!from.exists) {
    why = "it does not exist";
  } else if (to.exists) {
    why = "the new name is taken (its read-only attribute would be cleared)";
    // The file in the way loses its read-only attribute all the same.
    if (to.readOnly && !to.directory) PlanSetFile(fullNew, to.origin, false);
  } else if (!directory.exists || !directory.directory) {
    why = "the directory of the new name does not exist";
  } else if (!from.planned && !MayOpen(fullOld, DELETE, &code)) {
    why = SystemReason(code, reason, sizeof reason);
  }
  LogChange("MOVE", why, "\"%s\" -> \"%s\"", fullOld, fullNew);
  if (why) return;
  if (from.directory) {
    PlanSetState(fullNew, kPlanDirectory);
  } else {
    PlanSetFile(fullNew, from.origin, false);  // the moved file loses its read-only attribute
  }
  PlanSetState(fullOld, kPlanAbsent);
}

void PlanChangeDirLine(const char* directory) {
  PlanBeginEvent();
  char full[kLongPathSize];
  Resolve(directory, full);
  FileState state;
  StateOf(full, &state);
  bool entered = false;
  if (state.exists && state.directory) {
    if (!state.planned) {
      entered = SetCurrentDirectoryA(full) != FALSE;
      if (entered) planDirectory[0] = '\0';
    } else if (std::strlen(full) < sizeof planDirectory) {
      // Made by an earlier line: later relative lines resolve against it.
      CopyText(planDirectory, sizeof planDirectory, full);
      entered = true;
    }
  }
  char now[MAX_PATH + 1];
  char why[MAX_PATH + 64];
  FormatText(why, sizeof why, "it does not exist; the current directory stays \"%s\"",
             planDirectory[0] ? planDirectory : CurrentDirectory(now));
  LogChange("CHANGEDIR", entered ? nullptr : why, "\"%s\"", directory);
}

const char* PlanIniChange(const char* file, bool write, char* reason, size_t size) {
  // A name without a drive is the profile functions' own (the Windows
  // directory): nothing to judge here.
  if (!std::strchr(file, ':') && !(file[0] == '\\' && file[1] == '\\')) return nullptr;
  char full[kLongPathSize];
  FullPath(file, full);
  FileState state;
  StateOf(full, &state);
  DWORD code = 0;
  if (state.exists) {
    if (state.directory) return "a directory of that name is in the way";
    if (!state.planned && !MayOpen(full, GENERIC_WRITE, &code)) {
      return SystemReason(code, reason, size);
    }
    return nullptr;
  }
  char parent[kLongPathSize];
  FileState directory;
  StateOf(ParentOf(full, parent), &directory);
  if (!directory.exists || !directory.directory) {
    return SystemReason(ERROR_PATH_NOT_FOUND, reason, size);
  }
  if (!directory.planned && !DirectoryAllows(parent, FILE_ADD_FILE)) {
    return SystemReason(ERROR_ACCESS_DENIED, reason, size);
  }
  if (write) PlanSetFile(full, "", false);
  return nullptr;
}

const char* PlanContentOf(const char* path) {
  if (!path || readingOrigin || !RunIsRehearsal()) return path;
  static char origin[kLongPathSize];
  char full[kLongPathSize];
  PlanItem item = PlanGetItem(Resolve(path, full));
  if (item.state == kPlanUnknown || item.state == kPlanDirectory) return path;
  CopyText(origin, sizeof origin, item.state == kPlanPresent ? item.text : "");
  return origin;
}

void PlanFinish() {
  planDirectory[0] = '\0';
  automaticAnswers = false;
  undoOnStop = false;
  PlanForgetChanges();
}
