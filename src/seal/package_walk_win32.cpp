// What setupcheck alone needs of the package's files on Windows: the walk
// below the package directory, writing setup.sum, the system's texts. Kept
// apart from package_files_win32.cpp so that Setup, which only reads and
// hashes, does not import these calls.
#include <windows.h>

#include <cstring>

#include "app/text.h"
#include "seal/package_files.h"
#include "seal/package_paths_win32.h"
#include "seal/seal_format.h"

namespace {

const DWORD kPiece = 1024 * 1024;  // written at once
const wchar_t kLeftoverSuffix[] = L".~tmp";

struct Walk {
  PackageVisitor visit;
  void* data;
  char* failedName;
  unsigned long* errorCode;
  bool stopped;
};

bool WalkDirectory(Walk* walk, const char* packageDir, char* relative) {
  wchar_t pattern[kWidePathSize];
  if (!PackageWidePath(packageDir, relative, L"*", pattern)) return true;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;  // nothing in it
    lstrcpynA(walk->failedName, relative[0] ? relative : ".", kSealPathCapacity);
    if (walk->errorCode) *walk->errorCode = code;
    return false;
  }
  bool whole = true;
  size_t base = std::strlen(relative);
  do {
    const wchar_t* name = found.cFileName;
    if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
    PackageItem item;
    item.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    item.fault = nullptr;
    item.name = relative;
    int room = static_cast<int>(kSealPathCapacity - base);
    int length = WideCharToMultiByte(CP_UTF8, 0, name, -1, relative + base, room, nullptr, nullptr);
    if (length <= 0) {
      relative[base] = '\0';
      item.fault = "a name too long";
    } else if (!item.link && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      size_t end = base + static_cast<size_t>(length) - 1;
      if (end + 2 <= kSealPathCapacity) {
        relative[end] = '\\';
        relative[end + 1] = '\0';
        whole = WalkDirectory(walk, packageDir, relative);
        relative[base] = '\0';
        continue;
      }
      item.fault = "a name too long";
    }
    if (!walk->visit(walk->data, item)) walk->stopped = true;
    relative[base] = '\0';
  } while (whole && !walk->stopped && FindNextFileW(search, &found));
  if (whole && !walk->stopped && GetLastError() != ERROR_NO_MORE_FILES) {
    lstrcpynA(walk->failedName, relative[0] ? relative : ".", kSealPathCapacity);
    if (walk->errorCode) *walk->errorCode = GetLastError();
    whole = false;
  }
  FindClose(search);
  return whole;
}

}  // namespace

bool WalkPackage(const char* packageDir, PackageVisitor visit, void* data, char* failedName,
                 unsigned long* errorCode) {
  char relative[kSealPathCapacity];
  relative[0] = '\0';
  failedName[0] = '\0';
  Walk walk = {visit, data, failedName, errorCode, false};
  return WalkDirectory(&walk, packageDir, relative);
}

bool WritePackageFile(const char* packageDir, const char* name, const char* bytes, size_t size,
                      unsigned long* errorCode) {
  wchar_t path[kWidePathSize];
  wchar_t temporary[kWidePathSize];
  if (!PackageWidePath(packageDir, name, L"", path) ||
      !PackageWidePath(packageDir, name, kLeftoverSuffix, temporary)) {
    *errorCode = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  DeleteFileW(temporary);  // a leftover (or a link) of that name: never written through
  HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *errorCode = GetLastError();
    return false;
  }
  DWORD code = 0;
  size_t done = 0;
  while (done < size && code == 0) {
    DWORD piece = size - done > kPiece ? kPiece : static_cast<DWORD>(size - done);
    DWORD put = 0;
    if (!WriteFile(file, bytes + done, piece, &put, nullptr) || put == 0) {
      code = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    }
    done += put;
  }
  if (code == 0 && !FlushFileBuffers(file)) code = GetLastError();
  CloseHandle(file);
  if (code == 0 && !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    code = GetLastError();
  }
  if (code != 0) {
    DeleteFileW(temporary);
    *errorCode = code;
    return false;
  }
  return true;
}

void RemovePackageLeftover(const char* packageDir, const char* name) {
  wchar_t temporary[kWidePathSize];
  if (PackageWidePath(packageDir, name, kLeftoverSuffix, temporary)) DeleteFileW(temporary);
}

void PackageErrorText(unsigned long errorCode, char* text, size_t capacity) {
  wchar_t wide[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                errorCode, 0, wide, 512, nullptr);
  while (length > 0 && (wide[length - 1] == L'\r' || wide[length - 1] == L'\n' ||
                        wide[length - 1] == L' ' || wide[length - 1] == L'.')) {
    wide[--length] = 0;
  }
  if (length == 0 ||
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, static_cast<int>(capacity), nullptr, nullptr) <= 0) {
    FormatText(text, capacity, "error %lu", errorCode);
  }
}
