#include "config/command_line.h"

#include <cstdlib>

#include "app/text.h"
#include "script/script_reader.h"

bool FindSwitchIn(const char* commandLine, const char* name, char* value, int capacity) {
  if (!commandLine || !name) return false;
  // Tokens are cut in place, so the scan works on a copy of the command line.
  char* text = DuplicateText(commandLine);
  if (!text) return false;

  bool found = false;
  bool complete = false;
  size_t pos = 0;
  char delimiter = ' ';
  if (text[0] == '"') {
    delimiter = '"';
    pos = 1;
  }
  while (text[pos] != '\0' && !found) {
    const char* token = text + pos;
    while (text[pos] != '\0' && text[pos] != delimiter) ++pos;
    if (text[pos] == delimiter) text[pos++] = '\0';
    while (text[pos] == delimiter && delimiter != '\0') ++pos;
    delimiter = ' ';
    while (text[pos] == ' ') ++pos;

    if (SameText(token, name)) {
      found = true;
      if (!value) {
        complete = true;
        break;
      }
      if (capacity <= 0) break;  // not even the terminator fits
      char valueDelimiter = ' ';
      if (text[pos] == '"') {
        valueDelimiter = '"';
        ++pos;
      }
      int copied = 0;
      for (;;) {
        char c = text[pos];
        if (c == '\0' || c == valueDelimiter) {
          complete = true;
          break;
        }
        if (copied >= capacity - 1) break;
        value[copied++] = c;
        ++pos;
      }
      value[copied] = '\0';
      break;
    }
    if (text[pos] == '"') {
      delimiter = '"';
      ++pos;
    }
  }
  std::free(text);
  return found && complete;
}

const char* CommandTail(const char* commandLine) {
  if (!commandLine) return nullptr;
  // Unsigned: Czech letters in an unquoted path are part of the name, not blanks.
  const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
  bool quoted = false;
  while (*p > ' ' || (*p != '\0' && quoted)) {
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  while (*p != '\0' && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}
