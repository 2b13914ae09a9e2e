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

// A name on disk as the script names it: in Windows-1250. The standard
// library gives names in UTF-8 (on Linux as the disk holds them, whatever
// the locale); a name that is no UTF-8 is taken as it is.
std::string ScriptName(const fs::path& path) {
  return Text1250FromUtf8(path.filename().string());
}

// The entry of `directory` whose name equals `name` without regard to case.
bool FindEntry(const fs::path& directory, const std::string& name, fs::path* entry) {
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    std::string candidate = ScriptName(it->path());
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
  if (SearchNormalForm(last).empty() || !IsDirectory(current)) return false;

  std::vector<FoundEntry> entries = {{".", true}, {"..", true}};
  std::error_code error;
  for (fs::directory_iterator it(current, error), end; !error && it != end; it.increment(error)) {
    entries.push_back({ScriptName(it->path()), IsDirectory(it->path())});
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
