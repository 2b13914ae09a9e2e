// The emulation of the system's profile reader (GetPrivateProfileStringA) on
// the bytes of one INI file, as far as setup.dat needs it.
#include <cstdio>
#include <cstring>

#include "check/check_platform.h"
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

// A file that begins with a UTF-8 byte-order mark is read as UTF-8: its
// text arrives in Windows-1250, '?' for what that cannot show.
std::string FromUtf8(const std::string& bytes) {
  std::string text;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t size = bytes.size();
  for (size_t i = 0; i < size;) {
    size_t length = Utf8SequenceLength(p + i, size - i);
    if (length == 0) {
      text += p[i] < 0x80 ? static_cast<char>(p[i]) : '?';
      ++i;
      continue;
    }
    unsigned code = p[i] & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) code = (code << 6) | (p[i + k] & 0x3F);
    char byte = '?';
    for (unsigned c = 0x80; c <= 0xFF; ++c) {
      if (CodePoint1250(static_cast<unsigned char>(c)) == code) byte = static_cast<char>(c);
    }
    text += byte;
    i += length;
  }
  return text;
}

bool ReadWholeFile(const char* path, std::string* bytes) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  char chunk[4096];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, count);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

}  // namespace

bool ProfileNameIs(const std::string& stored, const char* sought) {
  return sought && SameName(stored, sought);
}

std::vector<ProfileLine> ParseProfile(const std::string& bytes) {
  std::vector<ProfileLine> lines;
  // Lines, blanks and the marks that matter are ASCII, so a UTF-8 file is
  // cut on its own bytes and only names and values are decoded.
  bool utf8 = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  size_t start = utf8 ? 3 : 0;
  const size_t end = bytes.size();
  while (start < end) {
    // A line ends at CR or LF.
    size_t lineEnd = bytes.find_first_of("\r\n", start);
    if (lineEnd == std::string::npos) lineEnd = end;
    size_t next = lineEnd < end ? lineEnd + 1 : end;

    size_t first = start, last = lineEnd;
    while (first < last && IsProfileBlank(bytes[first])) ++first;
    while (last > first && IsProfileBlank(bytes[last - 1])) --last;
    if (first < last) {
      ProfileLine line;
      line.offset = start;
      line.kind = ProfileLine::kOther;
      line.hasValue = false;
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
        line.kind = ProfileLine::kSection;
        size_t nameStart = 1, nameEnd = closing;
        while (nameStart < nameEnd && IsProfileBlank(text[nameStart])) ++nameStart;
        while (nameEnd > nameStart && IsProfileBlank(text[nameEnd - 1])) --nameEnd;
        line.name.assign(text + nameStart, nameEnd - nameStart);
      } else if (text[0] != ';') {
        line.kind = ProfileLine::kKey;
        const char* equals = static_cast<const char*>(std::memchr(text, '=', length));
        size_t nameEnd = equals ? static_cast<size_t>(equals - text) : length;
        while (nameEnd > 0 && IsProfileBlank(text[nameEnd - 1])) --nameEnd;
        line.name.assign(text, nameEnd);
        if (equals) {
          line.hasValue = true;
          const char* value = equals + 1;
          while (value < text + length && IsProfileBlank(*value)) ++value;
          line.value.assign(value, text + length);
        }
      }
      if (utf8) {
        line.name = FromUtf8(line.name);
        line.value = FromUtf8(line.value);
      }
      lines.push_back(line);
    }
    start = next;
  }
  return lines;
}

int FindProfileKey(const std::vector<ProfileLine>& lines, const char* section, const char* key) {
  // No section is found by an empty name.
  if (!section || !key || SameName("", section)) return -1;
  bool inSection = false;
  bool sectionSeen = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const ProfileLine& line = lines[i];
    if (line.kind == ProfileLine::kSection) {
      // Only the first section of that name is searched.
      if (sectionSeen) return -1;
      inSection = SameName(line.name, section);
      sectionSeen = inSection;
    } else if (inSection && line.kind == ProfileLine::kKey && SameName(line.name, key)) {
      return line.hasValue ? static_cast<int>(i) : -1;
    }
  }
  return -1;
}

std::string ProfileValue(const ProfileLine& line) {
  const std::string& value = line.value;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
      value[value.size() - 1] == value[0]) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

int EmulatedReadProfileString(const char* path, const char* section, const char* key,
                              const char* defaultText, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  std::string value;
  std::string bytes;
  int index = -1;
  if (path && ReadWholeFile(path, &bytes)) {
    std::vector<ProfileLine> lines = ParseProfile(bytes);
    index = FindProfileKey(lines, section, key);
    if (index >= 0) value = ProfileValue(lines[static_cast<size_t>(index)]);
  }
  if (index < 0) {
    value = defaultText ? defaultText : "";
    while (!value.empty() && value[value.size() - 1] == ' ') value.erase(value.size() - 1);
  }
  size_t count = value.size() < static_cast<size_t>(size - 1) ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}
