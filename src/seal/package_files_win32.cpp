// The package's files on Windows, read and hashed through the wide-character
// calls: a name in the seal may hold characters the ANSI code page lacks.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "app/crypto.h"
#include "app/text.h"
#include "seal/package_files.h"
#include "seal/package_paths_win32.h"
#include "seal/seal_format.h"

namespace {

const DWORD kPiece = 1024 * 1024;

}  // namespace

bool PackageWidePath(const char* packageDir, const char* name, const wchar_t* suffix, wchar_t* path) {
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

namespace {

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

}  // namespace

PackageFileState ReadPackageFile(const char* packageDir, const char* name, size_t limit,
                                 char** bytes, size_t* size, unsigned long* errorCode) {
  *bytes = nullptr;
  *size = 0;
  wchar_t path[kWidePathSize];
  if (!PackageWidePath(packageDir, name, L"", path)) return StateOf(ERROR_FILENAME_EXCED_RANGE, errorCode);
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
  if (!PackageWidePath(packageDir, name, L"", path)) return StateOf(ERROR_FILENAME_EXCED_RANGE, errorCode);
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

