#include "actions/file_lines.h"

#include <cstring>

#include "script/script_reader.h"

void SplitRunLine(char* line, char** arguments) {
  if (arguments) *arguments = nullptr;
  if (!line) return;
  char* apostrophe = std::strchr(line, '\'');
  if (!apostrophe) return;
  *apostrophe = '\0';
  char* parameters = apostrophe + 1;
  char* closing = std::strchr(parameters, '\'');
  if (closing) *closing = '\0';
  if (arguments) *arguments = parameters;
}

const char* DeleteLineExtension(const char* line) {
  return line ? std::strrchr(line, '.') : nullptr;
}

bool DeleteNameMatches(const char* name, const char* extension) {
  if (!name || !extension) return false;
  const char* own = std::strrchr(name, '.');
  return own && SameText(own, extension);
}

bool SplitMoveLine(char* line, char** oldName, char** newName) {
  if (oldName) *oldName = nullptr;
  if (newName) *newName = nullptr;
  if (!line) return false;
  char* equals = std::strchr(line, '=');
  if (!equals || std::strpbrk(line, "*?")) return false;
  *equals = '\0';
  if (line[0] == '\0' || equals[1] == '\0') return false;
  if (oldName) *oldName = line;
  if (newName) *newName = equals + 1;
  return true;
}

bool IsValidFileName(const char* name, size_t length) {
  if (!name || length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 32 || std::strchr("<>:\"/\\|?*", c)) return false;
  }
  // A device name stays one with an extension or trailing blanks: "nul.txt".
  size_t base = 0;
  while (base < length && name[base] != '.' && name[base] != ' ') ++base;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* device : kDevices) {
    if (base == 3 && StartsWithText(name, device)) return false;
  }
  if (base == 4 && (StartsWithText(name, "COM") || StartsWithText(name, "LPT")) &&
      name[3] >= '1' && name[3] <= '9') {
    return false;
  }
  return true;
}
