// How the system's file search compares a mask with a name, for setupcheck
// on every system (the comparison test checks it against Wine's search).
#include <cstring>
#include <string>

#include "check/check_platform.h"
#include "check/text_1250.h"

namespace {

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

// Blanks at the end of the mask do not count.
std::string Mask(const char* pattern) {
  std::string mask = pattern;
  while (!mask.empty() && mask[mask.size() - 1] == ' ') mask.erase(mask.size() - 1);
  return mask;
}

}  // namespace

bool WildcardMatches(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  if (LongNameMatches(pattern, name)) return true;
  return !IsDosName(name) && MaskMatches(Mask(pattern).c_str(), ShortName(name).c_str());
}

bool LongNameMatches(const char* pattern, const char* name) {
  return pattern && name && MaskMatches(Mask(pattern).c_str(), name);
}
