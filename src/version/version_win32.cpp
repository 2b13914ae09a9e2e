#include <windows.h>

#include <cstdlib>

#include "actions/file_plan.h"
#include "app/system_libraries.h"
#include "version/version.h"

bool GetFileVersion(const char* path, FileVersion* version) {
  if (!version) return false;
  version->major = 0;
  version->minor = 0;
  version->build = 0;
  version->revision = 0;
  if (!path) return false;
  // A rehearsal reads the file an earlier line would have put there.
  path = PlanContentOf(path);
  if (!path[0]) return false;

  DWORD handle = 0;
  DWORD size = LazyGetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return false;
  void* block = std::malloc(size);
  if (!block) return false;

  bool found = false;
  if (LazyGetFileVersionInfoA(path, handle, size, block)) {
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (LazyVerQueryValueA(block, "\\", reinterpret_cast<void**>(&info), &length) && info &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
      version->major = HIWORD(info->dwFileVersionMS);
      version->minor = LOWORD(info->dwFileVersionMS);
      version->build = HIWORD(info->dwFileVersionLS);
      version->revision = LOWORD(info->dwFileVersionLS);
      found = true;
    }
  }
  std::free(block);
  return found;
}
