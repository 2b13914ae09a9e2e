// The yardstick of the copy benchmark: the least a copy of a directory's
// files can do on this platform, one FindFirstFileA/CopyFileA loop.
// Usage: bare_copy SOURCE_DIR TARGET_DIR. Exit code 1 when a copy failed; an
// empty SOURCE_DIR copies nothing (the benchmark's start-up run).
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bare_copy SOURCE_DIR TARGET_DIR\n");
    return 2;
  }
  char pattern[MAX_PATH];
  std::snprintf(pattern, sizeof pattern, "%s\\*", argv[1]);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 1;
  int failures = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    char source[MAX_PATH * 2];
    char target[MAX_PATH * 2];
    std::snprintf(source, sizeof source, "%s\\%s", argv[1], found.cFileName);
    std::snprintf(target, sizeof target, "%s\\%s", argv[2], found.cFileName);
    // FALSE: an existing target is overwritten, as Setup does.
    if (!CopyFileA(source, target, FALSE)) ++failures;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return failures ? 1 : 0;
}
