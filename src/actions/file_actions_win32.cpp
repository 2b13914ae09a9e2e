// [Copy], [Run], [Delete], [Move] and [ChangeDir] lines, and the small file
// routines they share.
#include "app/installer_context.h"

#include <cstdlib>
#include <cstring>

#include "actions/file_actions.h"
#include "actions/file_lines.h"
#include "app/system_libraries.h"
#include "app/text.h"
#include "script/script_reader.h"

char* systemErrorText = nullptr;

namespace {

// The installer and its script never overwrite themselves in the target.
const char* const kSetupFileNames[] = {"setup.exe", "setup.dat"};

// Search paths of the exclusion patterns: the platform's path length.
const size_t kSearchPathSize = 261;
// Program files up to this length are renamed aside before a copy.
const size_t kRenameAsideLimit = 2000;
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

bool IsSetupFileName(const char* name) {
  for (const char* setupName : kSetupFileNames) {
    if (SameText(name, setupName)) return true;
  }
  return false;
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

bool IsProgramFile(const char* path, size_t length) {
  if (length <= 4 || length > kRenameAsideLimit) return false;
  const char* extension = path + length - 4;
  return SameText(extension, ".exe") || SameText(extension, ".com");
}

// ReplaceFile; sourceAttributes may be INVALID_FILE_ATTRIBUTES (then read).
bool ReplaceFileKnown(const char* source, const char* target, DWORD sourceAttributes) {
  if (!source || !target) return false;
  char aside[kRenameAsideLimit + 16];
  bool renamed = false;
  if (IsProgramFile(target, std::strlen(target))) {
    for (int number = 0; number < 5 && !renamed; ++number) {
      FormatText(aside, sizeof aside, "%s.(%d)", target, number);
      if (MoveFileA(target, aside)) {
        renamed = true;
        break;
      }
      // A leftover of an earlier update that is no longer in use.
      bool removed = DeleteFileA(aside) != 0;
      if (!removed) {
        DWORD attributes = GetFileAttributesA(aside);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
          ClearReadOnlyKnown(aside, attributes);
          removed = DeleteFileA(aside) != 0;
        }
      }
      if (removed && MoveFileA(target, aside)) renamed = true;
    }
  }
  if (!CopyFileA(source, target, FALSE)) {
    DWORD code = GetLastError();
    // The installation must not be left without its program file.
    if (renamed) MoveFileExA(aside, target, MOVEFILE_REPLACE_EXISTING);
    SetLastError(code);
    return false;
  }
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES) sourceAttributes = GetFileAttributesA(source);
  MarkReadOnlyLike(sourceAttributes, target);
  return true;
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

void CreateDirectoryPath(const char* path) {
  if (!path) return;
  char level[kLongPathSize];
  for (size_t i = 0; path[i] != '\0' && i < sizeof level; ++i) {
    if (path[i] != '\\' || i == 0) continue;
    std::memcpy(level, path, i);
    level[i] = '\0';
    CreateDirectoryA(level, nullptr);  // existing levels and the drive fail harmlessly
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
  return ReplaceFileKnown(source, target, INVALID_FILE_ATTRIBUTES);
}

bool RunAndWait(const char* program, const char* parameters) {
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
    CloseHandle(execute.hProcess);
  }
  return true;
}

// --- line actions ----------------------------------------------------------------

void InstallerContext::ApplyCopyLine() {
  findHandle = FindFirstFileA(scratchPath, &findData);
  if (findHandle == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (HasWildcard(lineBuffer)) return;  // a pattern that finds nothing is no error
    char codeText[16];
    FormatSystemError(code);
    FormatText(errorText, sizeof errorText, LoadMessage(33), scratchPath,
               SystemErrorOrCode(codeText, sizeof codeText));
    FormatText(messageText, sizeof messageText, LoadMessage(34), errorText);
    errorsOccurred = true;
    if (ShowBox(kBoxMissingSource, messageText, nullptr) == IDNO) stopRequested = true;
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
      if (pathsFit) {
        if (ReplaceFileKnown(scratchPath, targetPath, sourceAttributes)) break;
        ClearReadOnly(targetPath);
        if (CopyFileA(scratchPath, targetPath, FALSE)) {
          if (sourceAttributes == INVALID_FILE_ATTRIBUTES) {
            CopyReadOnly(scratchPath, targetPath);
          } else {
            MarkReadOnlyLike(sourceAttributes, targetPath);
          }
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
      if (!RetryAfter(ShowBox(kBoxActionFailed, errorText, nullptr), &stopRequested)) break;
    }
  }

  FindClose(findHandle);
  findHandle = INVALID_HANDLE_VALUE;
  FreeExclusionNames(&excluded);
}

void InstallerContext::ApplyRunLine() {
  SplitRunLine(lineBuffer, &runArguments);
  const char* program = lineBuffer;
  for (;;) {
    ShowStatus(kActionRun, program);
    if (RunAndWait(program, runArguments)) return;
    FormatText(errorText, sizeof errorText, LoadMessage(35), program);
    errorsOccurred = true;
    if (!RetryAfter(ShowBox(kBoxActionFailed, errorText, nullptr), &stopRequested)) return;
  }
}

void InstallerContext::ApplyDeleteLine() {
  const char* extension = DeleteLineExtension(lineBuffer);
  if (!extension) return;
  ShowStatus(kActionDelete, lineBuffer);
  // Without a directory part there is no path to delete the found names by.
  const char* lastBackslash = std::strrchr(lineBuffer, '\\');
  if (!lastBackslash) return;
  size_t directoryLength = static_cast<size_t>(lastBackslash - lineBuffer) + 1;

  findHandle = FindFirstFileA(lineBuffer, &findData);
  if (findHandle == INVALID_HANDLE_VALUE) return;
  char path[kLongPathSize + MAX_PATH];
  do {
    const char* name = findData.cFileName;
    if (name[0] == '.' || (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (!DeleteNameMatches(name, extension)) continue;
    size_t nameLength = std::strlen(name);
    if (directoryLength + nameLength >= sizeof path) continue;
    std::memcpy(path, lineBuffer, directoryLength);
    std::memcpy(path + directoryLength, name, nameLength + 1);
    ClearReadOnlyKnown(path, findData.dwFileAttributes);
    DeleteFileA(path);
  } while (FindNextFileA(findHandle, &findData));
  FindClose(findHandle);
  findHandle = INVALID_HANDLE_VALUE;
}

void InstallerContext::ApplyMoveLine() {
  char* oldName = nullptr;
  char* newName = nullptr;
  if (!SplitMoveLine(lineBuffer, &oldName, &newName)) return;
  MoveFileA(oldName, newName);
  ClearReadOnly(newName);  // also when the move failed onto an existing file
}

void InstallerContext::ApplyChangeDirLine() { SetCurrentDirectoryA(lineBuffer); }
