// The yardstick of the seal benchmark: the least a check of every file of a
// package can do on this platform, a FindFirstFileW walk that hashes each
// file with CNG's SHA-256 (BCrypt) in pieces of 1 MiB.
// Usage: bare_hash DIRECTORY. Exit code 1 when a file could not be hashed;
// an empty directory hashes nothing (the benchmark's start-up run).
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <cwchar>

namespace {

BCRYPT_ALG_HANDLE algorithm = nullptr;
unsigned char buffer[1 << 20];
int files = 0;
int failures = 0;

void HashFile(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (file == INVALID_HANDLE_VALUE || BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
    ++failures;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return;
  }
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    BCryptHashData(hash, buffer, got, 0);
  }
  unsigned char digest[32];
  if (BCryptFinishHash(hash, digest, sizeof digest, 0) != 0) ++failures;
  BCryptDestroyHash(hash);
  CloseHandle(file);
  ++files;
}

void Walk(const wchar_t* directory) {
  wchar_t pattern[MAX_PATH * 2];
  std::swprintf(pattern, MAX_PATH * 2, L"%ls\\*", directory);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.cFileName[0] == L'.' &&
        (found.cFileName[1] == 0 || (found.cFileName[1] == L'.' && found.cFileName[2] == 0))) {
      continue;
    }
    wchar_t path[MAX_PATH * 2];
    std::swprintf(path, MAX_PATH * 2, L"%ls\\%ls", directory, found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Walk(path);
    } else {
      HashFile(path);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bare_hash DIRECTORY\n");
    return 2;
  }
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return 1;
  Walk(argv[1]);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  std::printf("%d files\n", files);
  return failures ? 1 : 0;
}
