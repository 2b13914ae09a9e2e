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
