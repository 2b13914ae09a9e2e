#include "expand/definitions.h"

#include <cstdlib>
#include <cstring>

#include "actions/registry.h"
#include "app/text.h"
#include "expand/expand.h"
#include "log/run_log.h"
#include "script/script_reader.h"

namespace {

const size_t kFieldSize = kDefinitionFieldSize;

// Copies [begin, end) into a field; false when it does not fit.
bool TakeField(char* field, const char* begin, const char* end) {
  size_t length = static_cast<size_t>(end - begin);
  if (length >= kFieldSize) return false;
  std::memcpy(field, begin, length);
  field[length] = '\0';
  return true;
}

}  // namespace

ParseResult ParseDefinitionLine(const char* line, bool sourceNeverEmpty, bool defaultBackslash,
                                DefinitionLine* fields) {
  fields->sourceEnded = false;
  const char* equals = std::strchr(line, '=');
  if (!equals) return kLineNothing;
  fields->name = line;
  fields->nameLength = static_cast<size_t>(equals - line);
  fields->backslash = defaultBackslash;
  const char* p = equals + 1;
  if ((p[0] == '1' || p[0] == '0') && p[1] == ';') {
    fields->backslash = (p[0] == '1');
    p += 2;
  }
  if (sourceNeverEmpty && *p == '\0') return kLineNothing;
  const char* sourceEnd = std::strchr(sourceNeverEmpty ? p + 1 : p, ';');
  if (!sourceEnd) return kLineNothing;
  // An overlong field makes the whole line unusable, its root included.
  if (!TakeField(fields->source, p, sourceEnd)) return kLineNothing;

  const char* place = sourceEnd + 1;
  const char* placeEnd = std::strchr(place, ';');
  if (!placeEnd || !TakeField(fields->place, place, placeEnd)) {
    fields->sourceEnded = true;
    return kLineSourceOnly;
  }
  fields->sourceEnded = true;
  const char* key = placeEnd + 1;
  // A line that ends right after the place's ';' names no key.
  if (*key == '\0') return kLineSourceOnly;
  const char* keyEnd = std::strchr(key, ';');
  if (!keyEnd) keyEnd = key + std::strlen(key);
  if (!TakeField(fields->key, key, keyEnd)) return kLineSourceOnly;
  return kLineComplete;
}

namespace {

// name=value in a new heap text of exactly its size, with the optional final
// backslash; null when memory runs out. A value longer than a line is kept
// whole: a line that uses it and does not fit is refused when expanded.
char* MakeEntry(const char* name, size_t nameLength, const char* value, bool backslash) {
  size_t valueLength = std::strlen(value);
  size_t length = nameLength + 1 + valueLength;
  // The entry ends with the value, or with '=' when the value is empty.
  bool addBackslash = backslash && (valueLength == 0 || value[valueLength - 1] != '\\');
  size_t total = length + (addBackslash ? 1 : 0);
  char* entry = static_cast<char*>(std::malloc(total + 1));
  if (!entry) return nullptr;
  std::memcpy(entry, name, nameLength);
  entry[nameLength] = '=';
  std::memcpy(entry + nameLength + 1, value, valueLength);
  if (addBackslash) entry[length] = '\\';
  entry[total] = '\0';
  return entry;
}

bool ExpandDefinitionLine(char* line, const char* sourceDirectory,
                          const char* destinationDirectory, const char* programDirectory,
                          const char* iniFileName, const DateValue* packageDate) {
  // Definitions never see each other: both tables are empty here.
  char* noDefinitions[kDefinitionSlots] = {nullptr};
  // A line cut to fit would name another file or key.
  return ExpandPlaceholders(line, kLineBufferSize, sourceDirectory, destinationDirectory,
                            programDirectory, iniFileName, noDefinitions, noDefinitions,
                            packageDate);
}

typedef char* (*LineReader)(char* line, RegistryRoot* currentRoot, const char* sourceDirectory,
                            const char* destinationDirectory, const char* programDirectory,
                            const char* iniFileName, const DateValue* packageDate,
                            bool defaultBackslash);

char* ReadIniLine(char* line, RegistryRoot*, const char* sourceDirectory,
                  const char* destinationDirectory, const char* programDirectory,
                  const char* iniFileName, const DateValue* packageDate, bool defaultBackslash) {
  return ParseIniDefinition(line, sourceDirectory, destinationDirectory, programDirectory,
                            iniFileName, packageDate, defaultBackslash);
}

char* ReadRegLine(char* line, RegistryRoot* currentRoot, const char* sourceDirectory,
                  const char* destinationDirectory, const char* programDirectory,
                  const char* iniFileName, const DateValue* packageDate, bool defaultBackslash) {
  if (!ExpandDefinitionLine(line, sourceDirectory, destinationDirectory, programDirectory,
                            iniFileName, packageDate)) {
    return nullptr;
  }
  DefinitionLine fields;
  ParseResult result = ParseDefinitionLine(line, false, defaultBackslash, &fields);
  // The root named by a line holds for the lines after it.
  if (fields.sourceEnded && fields.source[0] != '\0') {
    *currentRoot = RegistryRootFromName(fields.source);
  }
  if (result != kLineComplete) return nullptr;
  char* value = RegistryReadString(fields.place, fields.key, *currentRoot);
  if (!value) return nullptr;
  char* entry = MakeEntry(fields.name, fields.nameLength, value, fields.backslash);
  std::free(value);
  return entry;
}

// What a definition line gave: the line as looked up (expanded), and the
// value, or why the placeholder falls back or refuses its lines.
void LogDefinition(const char* header, const char* line, const char* entry) {
  if (!RunLogActive()) return;
  const char* kind = header[5] == 'i' ? "ini" : "reg";  // "[readini]" or "[readreg]"
  const char* equals = std::strchr(line, '=');
  int nameLength = equals ? static_cast<int>(equals - line) : static_cast<int>(std::strlen(line));
  const char* value = entry ? std::strchr(entry, '=') : nullptr;
  if (value) {
    LogEvent("DEFINE", "{%s=%.*s} = \"%s\" (looked up by \"%s\")", kind, nameLength, line,
             value + 1, line);
  } else if (entry) {
    LogEvent("DEFINE", "{%s=%.*s}: the value is too long to read whole; lines that use it are "
             "refused (looked up by \"%s\")", kind, nameLength, line, line);
  } else {
    LogEvent("DEFINE", "{%s=%.*s}: nothing found; it gives the program directory (looked up by "
             "\"%s\")", kind, nameLength, line, line);
  }
}

void ReadDefinitions(const char* header, LineReader readLine, FILE* script, char** table,
                     int capacity, const char* sourceDirectory, const char* destinationDirectory,
                     const char* programDirectory, const char* iniFileName,
                     const DateValue* packageDate, bool defaultBackslash) {
  if (!script || !table || capacity <= 0) return;
  std::rewind(script);
  int count = 0;
  while (count < capacity && table[count]) ++count;
  RegistryRoot currentRoot = kRootLocalMachine;
  bool inSection = false;
  char line[kLineBufferSize];
  while (count < capacity && !ScriptEnded(script)) {
    bool cut = false;
    int length = ReadScriptLine(script, line, kMaxLineLength, &cut);
    if (length <= 0 || line[0] == ';') continue;
    if (line[0] == '[') {
      inSection = SameText(line, header);
      continue;
    }
    if (!inSection) continue;
    // A definition cut short could name another file, key or value.
    if (cut) {
      LogEvent("DEFINE", "%s line longer than %d characters: defines nothing", header,
               kMaxLineLength);
      continue;
    }
    char* entry = readLine(line, &currentRoot, sourceDirectory, destinationDirectory,
                           programDirectory, iniFileName, packageDate, defaultBackslash);
    LogDefinition(header, line, entry);
    if (entry) {
      table[count++] = entry;
      table[count] = nullptr;
    }
  }
  std::rewind(script);
}

}  // namespace

void ReadIniDefinitions(FILE* script, char** table, int capacity, const char* sourceDirectory,
                        const char* destinationDirectory, const char* programDirectory,
                        const char* iniFileName, const DateValue* packageDate,
                        bool defaultBackslash) {
  ReadDefinitions("[readini]", ReadIniLine, script, table, capacity, sourceDirectory,
                  destinationDirectory, programDirectory, iniFileName, packageDate,
                  defaultBackslash);
}

void ReadRegDefinitions(FILE* script, char** table, int capacity, const char* sourceDirectory,
                        const char* destinationDirectory, const char* programDirectory,
                        const char* iniFileName, const DateValue* packageDate,
                        bool defaultBackslash) {
  ReadDefinitions("[readreg]", ReadRegLine, script, table, capacity, sourceDirectory,
                  destinationDirectory, programDirectory, iniFileName, packageDate,
                  defaultBackslash);
}

char* ParseIniDefinition(char* line, const char* sourceDirectory, const char* destinationDirectory,
                         const char* programDirectory, const char* iniFileName,
                         const DateValue* packageDate, bool defaultBackslash) {
  if (!line) return nullptr;
  if (!ExpandDefinitionLine(line, sourceDirectory, destinationDirectory, programDirectory,
                            iniFileName, packageDate)) {
    return nullptr;
  }
  DefinitionLine fields;
  if (ParseDefinitionLine(line, true, defaultBackslash, &fields) != kLineComplete) return nullptr;
  // The section name is held with its brackets in a field of the same size.
  char section[kFieldSize];
  if (!FormatText(section, sizeof(section), "[%s]", fields.place)) return nullptr;

  // FindIniValue wants the name alone; it is cut from the line in place.
  char saved = line[fields.nameLength];
  line[fields.nameLength] = '\0';
  char* entry = FindIniValue(fields.source, section, fields.key, fields.name);
  line[fields.nameLength] = saved;
  // A value too long to read whole takes no backslash: it is never used.
  if (!entry || !fields.backslash || !std::strchr(entry, '=')) return entry;

  size_t length = std::strlen(entry);
  if (entry[length - 1] == '\\') return entry;
  char* longer = static_cast<char*>(std::realloc(entry, length + 2));
  if (!longer) {
    std::free(entry);
    return nullptr;
  }
  longer[length] = '\\';
  longer[length + 1] = '\0';
  return longer;
}

char* FindIniValue(const char* path, const char* sectionInBrackets, const char* key,
                   const char* name) {
  if (!path || !sectionInBrackets || !key || !name) return nullptr;
  FILE* file = std::fopen(path, "rb");
  if (!file) return nullptr;
  size_t keyLength = std::strlen(key);
  char line[kLineBufferSize];
  char* entry = nullptr;
  bool inSection = false;
  while (!ScriptEnded(file)) {
    bool cut = false;
    int length = ReadScriptLine(file, line, kMaxLineLength, &cut);
    if (length <= 0 || line[0] == ';') continue;
    if (line[0] == '[') {
      inSection = SameText(line, sectionInBrackets);
      continue;
    }
    if (!inSection || static_cast<size_t>(length) <= keyLength || line[keyLength] != '=') continue;
    bool same = true;
    for (size_t i = 0; i < keyLength; ++i) {
      if (FoldAscii(line[i]) != FoldAscii(key[i])) {
        same = false;
        break;
      }
    }
    if (!same) continue;
    // The first matching line decides. One longer than the reader takes
    // gives the name alone: its value is too long, and never replaced by
    // the program directory.
    entry = cut ? DuplicateText(name) : MakeEntry(name, std::strlen(name), line + keyLength + 1, false);
    break;
  }
  std::fclose(file);
  return entry;
}

void FreeDefinitions(char** table, int capacity) {
  if (!table) return;
  for (int i = 0; i < capacity && table[i]; ++i) {
    std::free(table[i]);
    table[i] = nullptr;
  }
}
