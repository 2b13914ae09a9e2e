#include "expand/expand.h"

#include <cstdlib>
#include <cstring>

#include "actions/registry.h"
#include "app/text.h"
#include "script/script_reader.h"

namespace {

const size_t kPathBufferSize = 261;   // MAX_PATH and its NUL
const size_t kWorkBufferSize = 1301;  // one script line and its NUL
const int kMaxVariableName = 25;

// Shell folder numbers (CSIDL_*): spelled out so this file stays free of the
// system headers.
struct SpecialFolder {
  const char* name;  // with its closing brace: matches only a whole name
  int csidl;
};
const SpecialFolder kSpecialFolders[] = {
    {"desktop}", 16},  {"desktopall}", 25},   {"programs}", 2},
    {"programsall}", 23}, {"programfiles}", 38},
};

const char* const kVariableNames[] = {"INIFILE", "EXEDIR", "DBDIR",
                                      "SHDDIR",  "VELMORA", "TEMP", nullptr};
enum { kVarIniFile, kVarExeDir, kVarDbDir, kVarShdDir, kVarVelmora, kVarTemp };

// The first count characters of a equal the whole of b, ASCII letters folded.
bool SameTextN(const char* a, size_t count, const char* b) {
  for (size_t i = 0; i < count; ++i) {
    if (b[i] == '\0' || FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return b[count] == '\0';
}

// The text being rebuilt: appends are bounded by its capacity, and a cut is
// remembered so the caller can refuse the result.
struct Output {
  char* text;
  size_t capacity;
  size_t length;
  bool cut;
};

void Append(Output* out, const char* src, size_t count) {
  for (size_t i = 0; i < count && src[i] != '\0'; ++i) {
    if (out->length + 1 >= out->capacity) {
      out->cut = true;
      break;
    }
    out->text[out->length++] = src[i];
  }
  out->text[out->length] = '\0';
}

void AppendAll(Output* out, const char* src) {
  if (src) Append(out, src, static_cast<size_t>(-1));
}

void AppendChar(Output* out, char c) { Append(out, &c, 1); }

// Index just after the '}' that closes the group opened at copy[start], or
// the end of the text when the group is never closed.
size_t SkipGroup(const char* copy, size_t start, bool* closed) {
  int depth = 0;
  size_t i = start;
  for (; copy[i] != '\0'; ++i) {
    if (copy[i] == '{') {
      ++depth;
    } else if (copy[i] == '}') {
      if (--depth == 0) {
        *closed = true;
        return i + 1;
      }
    }
  }
  *closed = false;
  return i;
}

// The entry of the first of the comma-separated names (starting at names)
// that the table defines; null when none does.
const char* LookupDefinition(const char* names, char* const* table) {
  const char* name = names;
  for (;;) {
    size_t length = std::strcspn(name, ",}");
    if (name[length] == '\0') return nullptr;  // unterminated name matches nothing
    for (int i = 0; table && table[i]; ++i) {
      const char* entry = table[i];
      const char* equals = std::strchr(entry, '=');
      size_t entryNameLength = equals ? static_cast<size_t>(equals - entry) : std::strlen(entry);
      if (entryNameLength != length) continue;
      bool same = true;
      for (size_t k = 0; k < length; ++k) {
        if (FoldAscii(name[k]) != FoldAscii(entry[k])) {
          same = false;
          break;
        }
      }
      if (same) return entry;
    }
    if (name[length] == '}') return nullptr;
    name += length + 1;
  }
}

struct ExpandInputs {
  const char* sourceDirectory;
  const char* destinationDirectory;
  const char* programDirectory;
  const char* iniFileName;
  char* const* iniDefinitions;
  char* const* regDefinitions;
  const DateValue* packageDate;
};

bool Expand(char* text, size_t capacity, const ExpandInputs& in);

// The path runs from pathStart to the group's closing brace, or to the end
// of the line when the group is open.
void AppendFileVersion(Output* out, const char* copy, size_t pathStart, size_t pathEnd,
                       const ExpandInputs& in) {
  FileVersion version = {0, 0, 0, 0};
  char path[kWorkBufferSize];
  size_t length = pathEnd - pathStart;
  // A path cut to fit would name another file: such a path has no version.
  if (length < sizeof(path)) {
    std::memcpy(path, copy + pathStart, length);
    path[length] = '\0';
    if (Expand(path, sizeof(path), in)) {
      if (!GetFileVersion(path, &version)) version = FileVersion{0, 0, 0, 0};
    }
  }
  char number[48];
  FormatText(number, sizeof(number), "%u.%u.%u.%u", static_cast<unsigned>(version.major),
             static_cast<unsigned>(version.minor), static_cast<unsigned>(version.build),
             static_cast<unsigned>(version.revision));
  AppendAll(out, number);
}

// The value of the placeholder whose '{' stands at copy[at]; groupEnd is
// where the scan goes on.
void AppendPlaceholder(Output* out, const char* copy, size_t at, size_t groupEnd,
                       bool closed, const ExpandInputs& in) {
  const char* p = copy + at + 1;
  // Fewer than three characters after the brace cannot form a placeholder.
  if (p[0] == '\0' || p[1] == '\0' || p[2] == '\0') return;

  const DateValue* date = in.packageDate;
  bool dated = date && date->valid;
  char number[48];

  if (StartsWithText(p, "src}")) {
    AppendAll(out, in.sourceDirectory);
  } else if (StartsWithText(p, "des}")) {
    AppendAll(out, in.destinationDirectory);
  } else if (StartsWithText(p, "exe}")) {
    AppendAll(out, in.programDirectory);
  } else if (StartsWithText(p, "inifile}")) {
    AppendAll(out, in.iniFileName);
  } else if (StartsWithText(p, "\\n}")) {
    AppendChar(out, '\n');
  } else if (StartsWithText(p, "\\r}")) {
    AppendChar(out, '\r');
  } else if (StartsWithText(p, "\\t}")) {
    AppendChar(out, '\t');
  } else if (StartsWithText(p, "idts}")) {
    if (dated) {
      FormatText(number, sizeof(number), "%d.%d.%d", static_cast<int>(date->day),
                 static_cast<int>(date->month), static_cast<int>(date->year));
      AppendAll(out, number);
    }
  } else if (StartsWithText(p, "idtn}")) {
    if (dated) {
      FormatText(number, sizeof(number), "%d", static_cast<int>(date->dayNumber));
      AppendAll(out, number);
    }
  } else if (StartsWithText(p, "idta}")) {
    if (dated) {
      FormatText(number, sizeof(number), "%04d%02d%02d", static_cast<int>(date->year),
                 static_cast<int>(date->month), static_cast<int>(date->day));
      AppendAll(out, number);
    }
  } else if (StartsWithText(p, "fver=")) {
    AppendFileVersion(out, copy, at + 6, closed ? groupEnd - 1 : groupEnd, in);
  } else if (StartsWithText(p, "ini=") || StartsWithText(p, "reg=")) {
    char* const* table = (FoldAscii(p[0]) == 'I') ? in.iniDefinitions : in.regDefinitions;
    const char* entry = LookupDefinition(p + 4, table);
    const char* equals = entry ? std::strchr(entry, '=') : nullptr;
    if (!entry) {
      AppendAll(out, in.programDirectory);
    } else if (equals) {
      AppendAll(out, equals + 1);
    } else {
      out->cut = true;  // a value too long to read whole: the line cannot be made
    }
  } else {
    for (const SpecialFolder& folder : kSpecialFolders) {
      if (std::strncmp(p, folder.name, std::strlen(folder.name)) != 0) continue;
      char path[kPathBufferSize] = "";
      if (GetSpecialFolderPath(folder.csidl, path)) {
        path[kPathBufferSize - 1] = '\0';
        AppendAll(out, path);
        size_t length = std::strlen(path);
        if (length > 0 && path[length - 1] != '\\') AppendChar(out, '\\');
      }
      break;
    }
  }
}

// Makes text a terminated string within capacity; false when it was not.
bool Terminate(char* text, size_t capacity) {
  if (strnlen(text, capacity) < capacity) return true;
  text[capacity - 1] = '\0';
  return false;
}

bool Expand(char* text, size_t capacity, const ExpandInputs& in) {
  if (!text || capacity == 0) return false;
  bool fits = Terminate(text, capacity);
  char* copy = DuplicateText(text);
  if (!copy) return false;  // left as it was

  Output out = {text, capacity, 0, false};
  text[0] = '\0';
  size_t i = 0;
  while (copy[i] != '\0') {
    if (copy[i] != '{') {
      AppendChar(&out, copy[i++]);
      continue;
    }
    // The whole group goes; only the placeholder's value, if any, stays.
    bool closed = false;
    size_t groupEnd = SkipGroup(copy, i, &closed);
    AppendPlaceholder(&out, copy, i, groupEnd, closed, in);
    i = groupEnd;
  }
  std::free(copy);
  if (out.cut) fits = false;
  if (!ExpandVariables(text, capacity, in.programDirectory)) fits = false;
  return fits;
}

}  // namespace

bool ExpandPlaceholders(char* text, size_t capacity, const char* sourceDirectory,
                        const char* destinationDirectory, const char* programDirectory,
                        const char* iniFileName, char* const* iniDefinitions,
                        char* const* regDefinitions, const DateValue* packageDate) {
  ExpandInputs in = {sourceDirectory, destinationDirectory, programDirectory, iniFileName,
                     iniDefinitions,  regDefinitions,       packageDate};
  return Expand(text, capacity, in);
}

bool ExpandVariables(char* text, size_t capacity, const char* programDirectory) {
  if (!text || capacity == 0) return false;
  bool fits = Terminate(text, capacity);
  char* copy = DuplicateText(text);
  if (!copy) return false;

  Output out = {text, capacity, 0, false};
  text[0] = '\0';
  size_t i = 0;
  while (copy[i] != '\0') {
    if (copy[i] != '$') {
      AppendChar(&out, copy[i++]);
      continue;
    }
    size_t nameStart = i + 1;
    size_t length = 0;
    while (length < static_cast<size_t>(kMaxVariableName) && copy[nameStart + length] != '\0' &&
           copy[nameStart + length] != '$') {
      ++length;
    }
    char name[kMaxVariableName + 1];
    std::memcpy(name, copy + nameStart, length);
    name[length] = '\0';
    char after = copy[nameStart + length];
    int variable = (after == '$') ? FindName(name, kVariableNames) : -1;

    if (variable == kVarExeDir) {
      const char* dir = programDirectory ? programDirectory : "";
      size_t dirLength = std::strlen(dir);
      // Only a final backslash goes: a directory without one stays whole.
      if (dirLength > 0 && dir[dirLength - 1] == '\\') --dirLength;
      Append(&out, dir, dirLength);
    } else if (variable == kVarVelmora) {
      char path[kPathBufferSize] = "";
      FindSiblingModule(programDirectory, path);
      path[kPathBufferSize - 1] = '\0';
      AppendAll(&out, path);
    } else if (variable == kVarTemp) {
      char path[kPathBufferSize] = "";
      if (GetTempDirectory(path)) {
        path[kPathBufferSize - 1] = '\0';
        AppendAll(&out, path);
      }
    } else {
      // Not a variable with a value: the '$' and the name stay, a closing
      // '$' is consumed.
      AppendChar(&out, '$');
      Append(&out, name, length);
      if (after != '$') {
        // A name cut at its limit resumes with its next character, which
        // is kept rather than lost.
        i = nameStart + length;
        continue;
      }
    }
    i = nameStart + length + 1;
  }
  std::free(copy);
  return fits && !out.cut;
}

int FindName(const char* name, const char* const* names) {
  if (!name || !names) return -1;
  for (int i = 0; names[i]; ++i) {
    if (SameTextN(name, std::strlen(name), names[i])) return i;
  }
  return -1;
}

namespace {

// Tries one candidate made of up to three parts; true when it exists and
// fits path.
bool TryCandidate(char* path, const char* a, size_t aLength, const char* b) {
  size_t length = aLength + std::strlen(b);
  if (length >= kPathBufferSize) return false;
  char* candidate = static_cast<char*>(std::malloc(length + 1));
  if (!candidate) return false;
  std::memcpy(candidate, a, aLength);
  std::memcpy(candidate + aLength, b, std::strlen(b) + 1);
  bool found = FileExists(candidate);
  if (found) CopyText(path, kPathBufferSize, candidate);
  std::free(candidate);
  return found;
}

}  // namespace

void FindSiblingModule(const char* programDirectory, char* path) {
  if (!path) return;
  const char* dir = programDirectory ? programDirectory : "";
  size_t dirLength = std::strlen(dir);

  if (TryCandidate(path, dir, dirLength, "Velmora26\\Velmora26.exe")) return;

  char* registered =
      RegistryReadString("Software\\Valtor CZ\\Quillon\\2.0\\Path", "Velmora", kRootLocalMachine);
  if (registered) {
    TrimChar(registered, static_cast<int>(std::strlen(registered)) + 1, '"', true);
    bool found = TryCandidate(path, registered, std::strlen(registered), "");
    std::free(registered);
    if (found) return;
  }

  // The parent: without the trailing backslash and the last component, but
  // with the backslash before that component.
  size_t parentLength = dirLength;
  if (parentLength > 0 && dir[parentLength - 1] == '\\') --parentLength;
  while (parentLength > 0 && dir[parentLength - 1] != '\\') --parentLength;
  if (TryCandidate(path, dir, parentLength, "Velmora26\\Velmora26.exe")) return;

  TryCandidate(path, dir, dirLength, "Velmora25\\Velmora25.exe");
}
