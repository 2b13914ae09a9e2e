// The Win32 side of setupcheck's platform layer: the system calls that Setup
// itself relies on.
#include <windows.h>

#include <cstdlib>

#include "check/check_platform.h"

namespace {

int SystemReadProfileString(const char* path, const char* section, const char* key,
                            const char* defaultText, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  return static_cast<int>(
      GetPrivateProfileStringA(section, key, defaultText, buffer, static_cast<DWORD>(size), path));
}

bool SystemFindFiles(const std::string& directory, const std::string& pattern,
                     std::vector<FoundEntry>* found) {
  found->clear();
  std::string path = directory + pattern;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    found->push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return true;
}

const CheckPlatform kSystemPlatform = {SystemReadProfileString, SystemFindFiles};

}  // namespace

bool WriteConsoleText(const std::string& utf8, bool toError) {
  HANDLE console = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) return false;
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::vector<wchar_t> wide(static_cast<size_t>(length) + 1);
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  DWORD written;
  return WriteConsoleW(console, wide.data(), static_cast<DWORD>(length), &written, nullptr) != 0;
}

const CheckPlatform& SystemPlatform() { return kSystemPlatform; }

const CheckPlatform& HostPlatform() { return kSystemPlatform; }

// The program throws nothing. The standard library's default terminate
// handler would link its name demangler and a second printf into the
// program, more than the checker itself; a plain abort serves as well.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
