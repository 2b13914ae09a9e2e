#include "app/system_libraries.h"
#include "expand/expand.h"

namespace {

const DWORD kPathCapacity = MAX_PATH + 1;  // the callers' buffers of 261 bytes

}  // namespace

bool GetSpecialFolderPath(int csidl, char* path) {
  if (!path) return false;
  LPITEMIDLIST items = nullptr;
  if (FAILED(LazySHGetSpecialFolderLocation(nullptr, csidl, &items)) || !items) return false;
  // The system writes at most MAX_PATH bytes here, which the 261-byte buffer holds.
  bool found = LazySHGetPathFromIDListA(items, path) != FALSE;
  if (!found) path[0] = '\0';
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(LazySHGetMalloc(&allocator)) && allocator) {
    allocator->Free(items);
    allocator->Release();
  }
  return found;
}

bool GetTempDirectory(char* path) {
  if (!path) return false;
  DWORD length = GetTempPathA(kPathCapacity, path);
  // 0 is a failure; a result of the capacity or more is the size the path would need.
  if (length == 0 || length >= kPathCapacity) {
    path[0] = '\0';
    return false;
  }
  return true;
}
