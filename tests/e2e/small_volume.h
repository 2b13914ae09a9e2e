// The small volume that the test command mounts (SETUP_SMALL_VOLUME, a
// Windows path), and an installation on it whose free space a filler file
// cuts down.
#pragma once

#include <windows.h>

#include <string>

#include "e2e/e2e_support.h"

namespace e2e {

// The volume, or empty with the reason in *why.
inline std::string SmallVolume(std::string* why) {
  char path[MAX_PATH + 1];
  DWORD length = GetEnvironmentVariableA("SETUP_SMALL_VOLUME", path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    *why = "SETUP_SMALL_VOLUME is not set: scripts/test.sh could not mount a small volume";
    return "";
  }
  ULARGE_INTEGER freeBytes, totalBytes;
  if (!GetDiskFreeSpaceExA(path, &freeBytes, &totalBytes, nullptr) ||
      totalBytes.QuadPart > 4u * 1024 * 1024) {
    *why = std::string(path) + " is not a small volume of its own";
    return "";
  }
  return path;
}

inline unsigned long long FreeBytes(const std::string& dir) {
  ULARGE_INTEGER freeBytes;
  return GetDiskFreeSpaceExA(dir.c_str(), &freeBytes, nullptr, nullptr) ? freeBytes.QuadPart : 0;
}

// An installation "inst" on the volume; Fill leaves `keep` bytes free.
struct FullVolume {
  std::string volume;
  std::string inst;
  std::string filler;

  bool Make(const std::string& root) {
    volume = root;
    inst = JoinPath(volume, "inst");
    filler = JoinPath(volume, "filler.bin");
    DeleteTree(inst);
    DeleteTree(filler);
    return MakeInstallation(inst);
  }
  // The filler's size for `keep` free bytes (0 when there is less room).
  unsigned long long FillerSize(unsigned long long keep) const {
    unsigned long long now = FreeBytes(volume);
    return now > keep ? now - keep : 0;
  }
  bool Fill(unsigned long long keep) const {
    unsigned long long size = FillerSize(keep);
    return size > 0 && WriteFileBytes(filler, std::string(static_cast<size_t>(size), 'f'));
  }
  ~FullVolume() {
    DeleteTree(inst);
    DeleteTree(filler);
  }
};

}  // namespace e2e
