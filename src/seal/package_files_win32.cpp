// The package's files on Windows, through the wide-character calls: a name
// in the seal may hold characters the ANSI code page lacks.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "app/crypto.h"
#include "app/text.h"
#include "seal/package_files.h"
#include "seal/seal_format.h"

namespace {

const DWORD kPiece = 1024 * 1024;
const size_t kWidePathSize = 1100;  // a directory of 260 and a seal name of 780
const wchar_t kLeftoverSuffix[] = L".~tmp";

// packageDir (ANSI) followed by name (UTF-8) and suffix; false when it does
// not fit.
bool WidePath(const char* packageDir, const char* name, const wchar_t* suffix, wchar_t* path) {
  int directory = MultiByteToWideChar(CP_ACP, 0, packageDir, -1, path, kWidePathSize);
  if (directory <= 0) return false;
  int rest = kWidePathSize - (directory - 1);
  int named = MultiByteToWideChar(CP_UTF8, 0, name, -1, path + directory - 1, rest);
  if (named <= 0) return false;
  size_t used = static_cast<size_t>(directory - 1 + named - 1);
  size_t suffixLength = lstrlenW(suffix);
  if (used + suffixLength + 1 > kWidePathSize) return false;
  std::memcpy(path + used, suffix, (suffixLength + 1) * sizeof(wchar_t));
  return true;
}

PackageFileState StateOf(DWORD code, unsigned long* errorCode) {
  if (errorCode) *errorCode = code;
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? kPackageFileMissing
                                                                       : kPackageFileUnreadable;
}

// Opens a file on a disk for reading; a device (CON, a pipe) is no file of
// the package and is never read.
HANDLE OpenForReading(const wchar_t* path, DWORD* code) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *code = GetLastError();
  } else if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    *code = ERROR_INVALID_NAME;
  }
  return file;
}

// One read buffer for the process: a package of many small files would
// otherwise ask the heap for a megabyte per file.
BYTE* ReadBuffer() {
  static BYTE* buffer = nullptr;
  if (!buffer) buffer = static_cast<BYTE*>(std::malloc(kPiece));
  return buffer;
}

struct Walk {
  PackageVisitor visit;
  void* data;
  char* failedName;
  unsigned long* errorCode;
  bool stopped;
};

bool WalkDirectory(Walk* walk, const char* packageDir, char* relative) {
  wchar_t pattern[kWidePathSize];
  if (!WidePath(packageDir, relative, L"*", pattern)) return true;
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
      item.fault = "a name too long for a package file";
    } else if (!item.link && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      size_t end = base + static_cast<size_t>(length) - 1;
      if (end + 2 <= kSealPathCapacity) {
        relative[end] = '\\';
        relative[end + 1] = '\0';
        whole = WalkDirectory(walk, packageDir, relative);
        relative[base] = '\0';
        continue;
      }
      item.fault = "a name too long for a package file";
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

PackageFileState ReadPackageFile(const char* packageDir, const char* name, size_t limit,
                                 char** bytes, size_t* size, unsigned long* errorCode) {
  *bytes = nullptr;
  *size = 0;
  wchar_t path[kWidePathSize];
  if (!WidePath(packageDir, name, L"", path)) return StateOf(ERROR_FILENAME_EXCED_RANGE, errorCode);
  DWORD code = 0;
  HANDLE file = OpenForReading(path, &code);
  if (file == INVALID_HANDLE_VALUE) return StateOf(code, errorCode);
  LARGE_INTEGER length;
  char* buffer = nullptr;
  DWORD used = 0;
  if (!GetFileSizeEx(file, &length)) {
    code = GetLastError();
  } else if (static_cast<unsigned long long>(length.QuadPart) > limit) {
    code = ERROR_FILE_TOO_LARGE;
  } else {
    DWORD capacity = static_cast<DWORD>(length.QuadPart) + 1;
    buffer = static_cast<char*>(std::malloc(capacity));
    if (!buffer) code = ERROR_NOT_ENOUGH_MEMORY;
    while (buffer && code == 0) {
      DWORD got = 0;
      if (!ReadFile(file, buffer + used, capacity - used, &got, nullptr)) {
        code = GetLastError();
      } else if (got == 0) {
        break;
      } else if ((used += got) == capacity) {
        code = ERROR_FILE_TOO_LARGE;  // it grew while it was read
      }
    }
  }
  CloseHandle(file);
  if (code != 0) {
    std::free(buffer);
    return StateOf(code, errorCode);
  }
  buffer[used] = '\0';
  *bytes = buffer;
  *size = used;
  return kPackageFileRead;
}

PackageFileState HashPackageFile(const char* packageDir, const char* name, unsigned char* digest,
                                 unsigned long long* size, unsigned long* errorCode) {
  *size = 0;
  wchar_t path[kWidePathSize];
  if (!WidePath(packageDir, name, L"", path)) return StateOf(ERROR_FILENAME_EXCED_RANGE, errorCode);
  DWORD code = 0;
  HANDLE file = OpenForReading(path, &code);
  if (file == INVALID_HANDLE_VALUE) return StateOf(code, errorCode);
  BYTE* buffer = ReadBuffer();
  Sha256Run run;
  bool hashing = buffer && Sha256Begin(&run);
  if (!hashing) code = buffer ? NTE_BAD_ALGID : ERROR_NOT_ENOUGH_MEMORY;
  while (hashing) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, kPiece, &got, nullptr)) {
      code = GetLastError();
      break;
    }
    if (got == 0) break;
    *size += got;
    if (!Sha256Add(&run, buffer, got)) {
      code = NTE_BAD_HASH;
      break;
    }
  }
  if (hashing && !Sha256Finish(&run, code == 0 ? digest : nullptr) && code == 0) {
    code = NTE_BAD_HASH;
  }
  CloseHandle(file);
  return code == 0 ? kPackageFileRead : StateOf(code, errorCode);
}

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
  if (!WidePath(packageDir, name, L"", path) ||
      !WidePath(packageDir, name, kLeftoverSuffix, temporary)) {
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
  if (WidePath(packageDir, name, kLeftoverSuffix, temporary)) DeleteFileW(temporary);
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
