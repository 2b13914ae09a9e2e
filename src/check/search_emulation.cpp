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

// The search's comparison as Wine's FindFirstFileA makes it (found by the
// comparison test): '*' takes any run, '?' exactly one character, letters
// without regard to case; after a run of '*' the search goes on at the next
// name character equal to the mask's next one, and only the run since the
// last '*' is tried again; mask characters left over at the end of the name
// count when they are all '.' or '*'.
bool MaskMatches(const char* mask, const char* name) {
  const char* lastStar = nullptr;
  const char* retry = nullptr;
  while (*name != '\0' && *mask != '\0') {
    if (*mask == '*') {
      while (*mask == '*') ++mask;
      if (*mask == '\0') return true;
      lastStar = mask;
      while (*name != '\0' && Upper1250(*name) != Upper1250(*mask)) ++name;
      retry = name;
    } else if (*mask == '?') {
      ++mask;
      ++name;
    } else if (Upper1250(*mask) == Upper1250(*name)) {
      ++mask;
      ++name;
      if (*mask == '\0') {
        if (*name == '\0') return true;
        if (lastStar) mask = lastStar;
      }
    } else {
      if (!lastStar || *retry == '\0') return false;
      mask = lastStar;
      name = ++retry;
    }
  }
  while (*mask == '.' || *mask == '*') ++mask;
  return *name == '\0' && *mask == '\0';
}

// Characters a DOS name cannot hold.
bool IsInvalidDosCharacter(char c) {
  return static_cast<unsigned char>(c) > 0x7F || std::strchr("*?<>|\"+=,;[] ~.", c) != nullptr;
}

// Names that are not 8.3 names have a short name, and the search matches
// that one as well.
bool IsDosName(const std::string& name) {
  if (name.size() > 12) return false;
  if (!name.empty() && name[0] == '.') return name == "." || name == "..";
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '.') {
      if (dot != std::string::npos) return false;
      dot = i;
    } else if (static_cast<unsigned char>(c) > 0x7F || std::strchr("*?<>|\"+=,;[] :/\\", c)) {
      return false;
    }
  }
  if (dot == std::string::npos) return name.size() <= 8;
  return dot <= 8 && name.size() - dot > 1 && name.size() - dot < 5;
}

// The short name: four characters of the name, '~' up to five, three hash
// characters (unknown here: they match only '?' and '*') and three of the
// extension.
std::string ShortName(const std::string& name) {
  size_t extension = name.rfind('.');
  if (extension == 0) extension = std::string::npos;
  size_t baseEnd = extension == std::string::npos ? name.size() : extension;
  std::string shortName;
  for (size_t i = 0; i < baseEnd && shortName.size() < 4; ++i) {
    shortName += IsInvalidDosCharacter(name[i]) ? '_' : name[i];
  }
  while (shortName.size() < 5) shortName += '~';
  shortName += "\x7F\x7F\x7F";
  if (extension != std::string::npos) {
    shortName += '.';
    for (size_t i = extension + 1; i < name.size() && i <= extension + 3; ++i) {
      shortName += IsInvalidDosCharacter(name[i]) ? '_' : name[i];
    }
  }
  return shortName;
}

// The entry of `directory` whose name equals `name` without regard to case.
bool FindEntry(const fs::path& directory, const std::string& name, fs::path* entry) {
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    std::string candidate = it->path().filename().string();
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

bool WildcardMatches(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  // Blanks at the end of the mask do not count.
  std::string mask = pattern;
  while (!mask.empty() && mask[mask.size() - 1] == ' ') mask.erase(mask.size() - 1);
  if (MaskMatches(mask.c_str(), name)) return true;
  return !IsDosName(name) && MaskMatches(mask.c_str(), ShortName(name).c_str());
}

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
    entries.push_back({it->path().filename().string(), IsDirectory(it->path())});
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
