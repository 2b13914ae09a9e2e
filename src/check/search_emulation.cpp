// The emulation of FindFirstFileA/FindNextFileA for setupcheck: the package's
// directory tree read through the standard library, names compared without
// regard to case. With it, the emulated platform; the Windows program does
// without both (the standard library's file system support is large).
#include <cstring>
#include <filesystem>
#include <system_error>

#include "check/check_platform.h"
#include "check/text_1250.h"

namespace fs = std::filesystem;

namespace {

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

// A directory entry's name as FindFirstFileA gives it on a Czech system:
// the file system stores names in UTF-8 (Linux, and the standard library's
// paths on Windows), the script and Setup see Windows-1250; a character
// that code page lacks becomes '?', bytes that are no UTF-8 stay as they are.
std::string EntryName(const fs::path& path) {
  std::string utf8 = path.filename().string();
  std::string name;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  for (size_t i = 0; i < utf8.size();) {
    size_t length = bytes[i] < 0x80 ? 0 : Utf8SequenceLength(bytes + i, utf8.size() - i);
    if (length == 0) {
      name += utf8[i++];
      continue;
    }
    unsigned code = bytes[i] & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) code = (code << 6) | (bytes[i + k] & 0x3F);
    char byte = '?';
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
      if (CodePoint1250(static_cast<unsigned char>(b)) == code) byte = static_cast<char>(b);
    }
    name += byte;
    i += length;
  }
  return name;
}

// The entry of `directory` whose name equals `name` without regard to case.
bool FindEntry(const fs::path& directory, const std::string& name, fs::path* entry) {
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    std::string candidate = EntryName(it->path());
    if (candidate.size() == name.size() &&
        SameText1250(candidate.c_str(), name.c_str(), name.size())) {
      *entry = it->path();
      return true;
    }
  }
  return false;
}

bool IsDirectory(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

}  // namespace

bool EmulatedFindFiles(const std::string& directory, const std::string& pattern,
                       std::vector<FoundEntry>* found) {
  found->clear();
  std::vector<std::string> parts(1);
  for (char c : pattern) {
    if (c == '\\' || c == '/') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  std::string last = parts.back();
  parts.pop_back();

  fs::path current = directory.empty() ? fs::path(".") : fs::path(directory);
  for (const std::string& part : parts) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      current = current.parent_path();
      continue;
    }
    fs::path next;
    if (HasWildcard(part) || !FindEntry(current, part, &next) || !IsDirectory(next)) return false;
    current = next;
  }
  if (last.empty() || !IsDirectory(current)) return false;

  std::vector<FoundEntry> entries = {{".", true}, {"..", true}};
  std::error_code error;
  for (fs::directory_iterator it(current, error), end; !error && it != end; it.increment(error)) {
    entries.push_back({EntryName(it->path()), IsDirectory(it->path())});
  }
  for (const FoundEntry& entry : entries) {
    if (WildcardMatches(last.c_str(), entry.name.c_str())) found->push_back(entry);
  }
  return !found->empty();
}

namespace {
const CheckPlatform kEmulatedPlatform = {EmulatedReadProfileString, EmulatedFindFiles};
}  // namespace

const CheckPlatform& EmulatedPlatform() { return kEmulatedPlatform; }

#ifndef _WIN32
const CheckPlatform& HostPlatform() { return kEmulatedPlatform; }
#endif
