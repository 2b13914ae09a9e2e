// The emulation of the system's profile reader (GetPrivateProfileStringA) on
// the bytes of one INI file, as far as setup.dat needs it. It walks the
// bytes line by line and keeps nothing of the file but the line at hand.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "check/check_platform.h"
#include "check/package_check.h"
#include "check/text_1250.h"

namespace {

// Blanks around lines, names and values; 0x1A is the old end-of-file mark.
bool IsProfileBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\x1a';
}

// A section or key name, searched without the blanks around it and without
// regard to the case of the ASCII letters (other letters compare exactly).
bool SameName(const std::string& stored, const char* sought) {
  while (IsProfileBlank(*sought)) ++sought;
  size_t length = std::strlen(sought);
  while (length > 0 && IsProfileBlank(sought[length - 1])) --length;
  if (stored.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    char a = stored[i], b = sought[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

// The reader keeps names and values as texts that end at their first NUL;
// more than kProfileTextKept characters of them are not kept here.
std::string UpToNul(const char* text, size_t length, bool* cut, char* last = nullptr) {
  const void* nul = std::memchr(text, '\0', length);
  if (nul) length = static_cast<size_t>(static_cast<const char*>(nul) - text);
  if (last) *last = length > 0 ? text[length - 1] : '\0';
  if (length > kProfileTextKept) {
    *cut = true;
    length = kProfileTextKept;
  }
  return std::string(text, length);
}

}  // namespace

ReadOutcome ReadFileBounded(const char* path, size_t limit, std::string* bytes, int* error) {
  bytes->clear();
  if (error) *error = 0;
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    if (error) *error = errno;
    return kReadFailed;
  }
  // A file's size, when it has one, saves growing the text as it comes; a
  // device has none and is read up to the limit.
  struct stat status;
  if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    if (static_cast<unsigned long long>(status.st_size) > limit) {
      std::fclose(file);
      return kReadTooLarge;
    }
    bytes->reserve(static_cast<size_t>(status.st_size) + 1);
  }
  char chunk[4096];
  size_t count;
  ReadOutcome outcome = kReadWhole;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (count > limit - bytes->size()) {
      outcome = kReadTooLarge;
      break;
    }
    bytes->append(chunk, count);
  }
  if (outcome == kReadWhole && std::ferror(file)) {
    if (error) *error = errno;
    outcome = kReadFailed;
  }
  std::fclose(file);
  return outcome;
}

bool ProfileNameIs(const std::string& stored, const char* sought) {
  return sought && stored.size() < kProfileTextKept && SameName(stored, sought);
}

bool NextProfileLine(const std::string& bytes, size_t* offset, ProfileLine* line) {
  // Lines, blanks and the marks that matter are ASCII, so a UTF-8 file is
  // cut on its own bytes and only names and values are decoded.
  bool utf8 = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  size_t start = *offset < 3 && utf8 ? 3 : *offset;
  const size_t end = bytes.size();
  while (start < end) {
    // A line ends at CR or LF.
    size_t lineEnd = start;
    while (lineEnd < end && bytes[lineEnd] != '\r' && bytes[lineEnd] != '\n') ++lineEnd;
    size_t next = lineEnd < end ? lineEnd + 1 : end;

    size_t first = start, last = lineEnd;
    while (first < last && IsProfileBlank(bytes[first])) ++first;
    while (last > first && IsProfileBlank(bytes[last - 1])) --last;
    if (first == last) {
      start = next;
      continue;
    }
    *offset = next;
    line->offset = start;
    line->kind = ProfileLine::kOther;
    line->hasValue = false;
    line->name.clear();
    line->value.clear();
    line->cut = false;
    line->valueLast = '\0';
    const char* text = bytes.data() + first;
    size_t length = last - first;
    size_t closing = length;
    if (text[0] == '[') {
      for (size_t i = length; i-- > 1;) {
        if (text[i] == ']') {
          closing = i;
          break;
        }
      }
    }
    if (text[0] == '[' && closing < length) {
      line->kind = ProfileLine::kSection;
      size_t nameStart = 1, nameEnd = closing;
      while (nameStart < nameEnd && IsProfileBlank(text[nameStart])) ++nameStart;
      while (nameEnd > nameStart && IsProfileBlank(text[nameEnd - 1])) --nameEnd;
      line->name = UpToNul(text + nameStart, nameEnd - nameStart, &line->cut);
    } else if (text[0] != ';') {
      line->kind = ProfileLine::kKey;
      const char* equals = static_cast<const char*>(std::memchr(text, '=', length));
      size_t nameEnd = equals ? static_cast<size_t>(equals - text) : length;
      while (nameEnd > 0 && IsProfileBlank(text[nameEnd - 1])) --nameEnd;
      line->name = UpToNul(text, nameEnd, &line->cut);
      if (equals) {
        line->hasValue = true;
        const char* value = equals + 1;
        while (value < text + length && IsProfileBlank(*value)) ++value;
        line->value = UpToNul(value, static_cast<size_t>(text + length - value), &line->cut,
                              &line->valueLast);
      }
    }
    if (utf8) {
      line->name = Text1250FromUtf8(line->name);
      line->value = Text1250FromUtf8(line->value);
      if (!line->cut && !line->value.empty()) line->valueLast = line->value.back();
    }
    return true;
  }
  *offset = end;
  return false;
}

bool FindProfileKey(const std::string& bytes, const char* section, const char* key,
                    ProfileLine* found) {
  // No section is found by an empty name.
  if (!section || !key || SameName("", section)) return false;
  bool inSection = false;
  bool sectionSeen = false;
  size_t offset = 0;
  ProfileLine line;
  while (NextProfileLine(bytes, &offset, &line)) {
    if (line.kind == ProfileLine::kSection) {
      // Only the first section of that name is searched.
      if (sectionSeen) return false;
      inSection = ProfileNameIs(line.name, section);
      sectionSeen = inSection;
    } else if (inSection && line.kind == ProfileLine::kKey && ProfileNameIs(line.name, key)) {
      if (!line.hasValue) return false;
      *found = line;
      return true;
    }
  }
  return false;
}

std::string ProfileValue(const ProfileLine& line) {
  const std::string& value = line.value;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && line.valueLast == value[0]) {
    return value.substr(1, line.cut ? std::string::npos : value.size() - 2);
  }
  return value;
}

int EmulatedReadProfileString(const char* path, const char* section, const char* key,
                              const char* defaultText, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  std::string value;
  std::string bytes;
  ProfileLine line;
  // Beyond kMaxScriptBytes nothing is read: setupcheck refuses such a script
  // before it asks for its options.
  bool found = path && ReadFileBounded(path, kMaxScriptBytes, &bytes) == kReadWhole &&
               FindProfileKey(bytes, section, key, &line);
  if (found) {
    value = ProfileValue(line);
  } else {
    value = defaultText ? defaultText : "";
    while (!value.empty() && value[value.size() - 1] == ' ') value.erase(value.size() - 1);
  }
  size_t count = value.size() < static_cast<size_t>(size - 1) ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}
