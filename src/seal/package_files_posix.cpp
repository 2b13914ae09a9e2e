// The package's files on a POSIX system (the native setupcheck): names on
// the disk are taken as UTF-8, `\` in the seal is `/` here.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/crypto.h"
#include "app/text.h"
#include "seal/package_files.h"
#include "seal/seal_format.h"

namespace {

const size_t kPiece = 1024 * 1024;
const char kLeftoverSuffix[] = ".~tmp";

// packageDir followed by name with '/' for '\'; false when it does not fit.
bool NativePath(const char* packageDir, const char* name, const char* suffix, char* path,
                size_t capacity) {
  if (!CopyText(path, capacity, packageDir)) return false;
  size_t start = std::strlen(path);
  if (!AppendText(path, capacity, name) || !AppendText(path, capacity, suffix)) return false;
  for (char* p = path + start; *p; ++p) {
    if (*p == '\\') *p = '/';
  }
  return true;
}

PackageFileState StateOf(int code, unsigned long* errorCode) {
  if (errorCode) *errorCode = static_cast<unsigned long>(code);
  return code == ENOENT || code == ENOTDIR ? kPackageFileMissing : kPackageFileUnreadable;
}

// Opens a regular file for reading without following a link at its end.
int OpenRegular(const char* path, int* code) {
  int file = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (file < 0) {
    *code = errno;  // ELOOP for a link: no file of the package
    return -1;
  }
  struct stat status;
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
    *code = EISDIR;
    close(file);
    return -1;
  }
  return file;
}

struct Walk {
  PackageVisitor visit;
  void* data;
  char* failedName;
  unsigned long* errorCode;
  bool stopped;
};

// Walks the open directory `descriptor` (packageDir + relative, relative
// empty or ending in '\\'; the descriptor is closed here); false when a
// directory could not be read. Subdirectories are opened from their parent
// without following a link, so a directory swapped for one is not entered.
bool WalkDirectory(Walk* walk, int descriptor, char* relative) {
  DIR* directory = descriptor >= 0 ? fdopendir(descriptor) : nullptr;
  if (!directory) {
    if (walk->errorCode) *walk->errorCode = static_cast<unsigned long>(errno);
    if (descriptor >= 0) close(descriptor);
    CopyText(walk->failedName, kSealPathCapacity, relative[0] ? relative : ".");
    return false;
  }
  bool whole = true;
  size_t base = std::strlen(relative);
  while (whole && !walk->stopped) {
    errno = 0;
    dirent* entry = readdir(directory);
    if (!entry) {
      if (errno != 0) {
        CopyText(walk->failedName, kSealPathCapacity, relative[0] ? relative : ".");
        if (walk->errorCode) *walk->errorCode = static_cast<unsigned long>(errno);
        whole = false;
      }
      break;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat status;
    bool known = fstatat(dirfd(directory), name, &status, AT_SYMLINK_NOFOLLOW) == 0;
    PackageItem item;
    item.link = known && S_ISLNK(status.st_mode);
    item.fault = nullptr;
    relative[base] = '\0';
    if (!AppendText(relative, kSealPathCapacity, name)) {
      item.fault = "a name too long";
    } else if (std::strchr(name, '\\')) {
      item.fault = "a '\\' in a file name (Windows takes it for a directory)";
    } else if (!known) {
      item.fault = "a name that cannot be looked at";
    }
    item.name = relative;
    if (!item.fault && !item.link && S_ISDIR(status.st_mode)) {
      if (AppendText(relative, kSealPathCapacity, "\\")) {
        int sub = openat(dirfd(directory), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        whole = WalkDirectory(walk, sub, relative);
        continue;
      }
      item.fault = "a name too long";
    }
    if (!item.fault && !item.link && !S_ISREG(status.st_mode)) {
      item.fault = "neither a file nor a directory";
    }
    if (!walk->visit(walk->data, item)) walk->stopped = true;
  }
  relative[base] = '\0';
  closedir(directory);
  return whole;
}

}  // namespace

PackageFileState ReadPackageFile(const char* packageDir, const char* name, size_t limit,
                                 char** bytes, size_t* size, unsigned long* errorCode) {
  *bytes = nullptr;
  *size = 0;
  char path[4096];
  if (!NativePath(packageDir, name, "", path, sizeof path)) return StateOf(ENAMETOOLONG, errorCode);
  int code = 0;
  int file = OpenRegular(path, &code);
  if (file < 0) return StateOf(code, errorCode);
  struct stat status;
  char* buffer = nullptr;
  size_t used = 0;
  if (fstat(file, &status) != 0 || static_cast<unsigned long long>(status.st_size) > limit) {
    code = EFBIG;
  } else {
    size_t capacity = static_cast<size_t>(status.st_size) + 1;
    buffer = static_cast<char*>(std::malloc(capacity));
    if (!buffer) code = ENOMEM;
    while (buffer && code == 0) {
      if (used + 1 == capacity) {
        // The file grew while it was read: what it holds is not what was
        // measured.
        char extra;
        ssize_t more = read(file, &extra, 1);
        if (more != 0) code = more < 0 ? errno : EFBIG;
        break;
      }
      ssize_t got = read(file, buffer + used, capacity - 1 - used);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) code = errno;
      if (got <= 0) break;
      used += static_cast<size_t>(got);
    }
  }
  close(file);
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
  char path[4096];
  if (!NativePath(packageDir, name, "", path, sizeof path)) return StateOf(ENAMETOOLONG, errorCode);
  int code = 0;
  int file = OpenRegular(path, &code);
  if (file < 0) return StateOf(code, errorCode);
  unsigned char* buffer = static_cast<unsigned char*>(std::malloc(kPiece));
  Sha256Run run;
  bool hashing = buffer && Sha256Begin(&run);
  if (!buffer) code = ENOMEM;
  if (buffer && !hashing) code = ENOSYS;
  while (hashing) {
    ssize_t got = read(file, buffer, kPiece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) code = errno;
    if (got <= 0) break;
    *size += static_cast<unsigned long long>(got);
    if (!Sha256Add(&run, buffer, static_cast<size_t>(got))) code = ENOSYS;
    if (code != 0) break;
  }
  if (hashing && !Sha256Finish(&run, code == 0 ? digest : nullptr) && code == 0) code = ENOSYS;
  std::free(buffer);
  close(file);
  return code == 0 ? kPackageFileRead : StateOf(code, errorCode);
}

bool WalkPackage(const char* packageDir, PackageVisitor visit, void* data, char* failedName,
                 unsigned long* errorCode) {
  char relative[kSealPathCapacity];
  relative[0] = '\0';
  failedName[0] = '\0';
  Walk walk = {visit, data, failedName, errorCode, false};
  return WalkDirectory(&walk, open(packageDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC), relative);
}

bool WritePackageFile(const char* packageDir, const char* name, const char* bytes, size_t size,
                      unsigned long* errorCode) {
  char path[4096];
  char temporary[4096];
  if (!NativePath(packageDir, name, "", path, sizeof path) ||
      !NativePath(packageDir, name, kLeftoverSuffix, temporary, sizeof temporary)) {
    *errorCode = ENAMETOOLONG;
    return false;
  }
  unlink(temporary);  // a leftover (or a link) of that name: never written through
  int file = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (file < 0) {
    *errorCode = static_cast<unsigned long>(errno);
    return false;
  }
  int code = 0;
  size_t done = 0;
  while (done < size && code == 0) {
    ssize_t put = write(file, bytes + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) code = put < 0 ? errno : EIO;
    if (put > 0) done += static_cast<size_t>(put);
  }
  if (code == 0 && fsync(file) != 0) code = errno;
  if (close(file) != 0 && code == 0) code = errno;
  if (code == 0 && rename(temporary, path) != 0) code = errno;
  if (code != 0) {
    unlink(temporary);
    *errorCode = static_cast<unsigned long>(code);
    return false;
  }
  return true;
}

void RemovePackageLeftover(const char* packageDir, const char* name) {
  char temporary[4096];
  if (NativePath(packageDir, name, kLeftoverSuffix, temporary, sizeof temporary)) unlink(temporary);
}

void PackageErrorText(unsigned long errorCode, char* text, size_t capacity) {
  CopyText(text, capacity, std::strerror(static_cast<int>(errorCode)));
}
