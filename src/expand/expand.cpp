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

// The value of the placeholder that `group` found at copy[at].
void AppendPlaceholder(Output* out, const char* copy, size_t at, const BraceGroup& group,
                       const ExpandInputs& in) {
  const DateValue* date = in.packageDate;
  bool dated = date && date->valid;
  char number[48];

  switch (group.kind) {
    case kPlaceholderNone: break;
    case kPlaceholderSource: AppendAll(out, in.sourceDirectory); break;
    case kPlaceholderDestination: AppendAll(out, in.destinationDirectory); break;
    case kPlaceholderProgram: AppendAll(out, in.programDirectory); break;
    case kPlaceholderIniFileName: AppendAll(out, in.iniFileName); break;
    case kPlaceholderLineFeed: AppendChar(out, '\n'); break;
    case kPlaceholderReturn: AppendChar(out, '\r'); break;
    case kPlaceholderTab: AppendChar(out, '\t'); break;
    case kPlaceholderDateText:
      if (dated) {
        FormatText(number, sizeof(number), "%d.%d.%d", static_cast<int>(date->day),
                   static_cast<int>(date->month), static_cast<int>(date->year));
        AppendAll(out, number);
      }
      break;
    case kPlaceholderDayNumber:
      if (dated) {
        FormatText(number, sizeof(number), "%d", static_cast<int>(date->dayNumber));
        AppendAll(out, number);
      }
      break;
    case kPlaceholderDateDigits:
      if (dated) {
        FormatText(number, sizeof(number), "%04d%02d%02d", static_cast<int>(date->year),
                   static_cast<int>(date->month), static_cast<int>(date->day));
        AppendAll(out, number);
      }
      break;
    case kPlaceholderFileVersion:
      AppendFileVersion(out, copy, at + 6, group.closed ? group.end - 1 : group.end, in);
      break;
    case kPlaceholderIniValue:
    case kPlaceholderRegValue: {
      char* const* table =
          group.kind == kPlaceholderIniValue ? in.iniDefinitions : in.regDefinitions;
      const char* entry = LookupDefinition(copy + at + 5, table);
      const char* equals = entry ? std::strchr(entry, '=') : nullptr;
      if (!entry) {
        AppendAll(out, in.programDirectory);
      } else if (equals) {
        AppendAll(out, equals + 1);
      } else {
        out->cut = true;  // a value too long to read whole: the line cannot be made
      }
      break;
    }
    case kPlaceholderFolder: {
      char path[kPathBufferSize] = "";
      if (GetSpecialFolderPath(group.folder, path)) {
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
    BraceGroup group = ScanBraceGroup(copy, i);
    AppendPlaceholder(&out, copy, i, group, in);
    i = group.end;
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
    DollarGroup group = ScanDollarGroup(copy, i);
    const char* name = copy + i + 1;
    size_t length = group.nameLength;
    int variable = group.variable;

    if (variable == kVariableExeDir) {
      const char* dir = programDirectory ? programDirectory : "";
      size_t dirLength = std::strlen(dir);
      // Only a final backslash goes: a directory without one stays whole.
      if (dirLength > 0 && dir[dirLength - 1] == '\\') --dirLength;
      Append(&out, dir, dirLength);
    } else if (variable == kVariableVelmora) {
      char path[kPathBufferSize] = "";
      FindSiblingModule(programDirectory, path);
      path[kPathBufferSize - 1] = '\0';
      AppendAll(&out, path);
    } else if (variable == kVariableTemp) {
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
    }
    i = group.next;
  }
  std::free(copy);
  return fits && !out.cut;
}

const char* const kVariableNames[] = {"INIFILE", "EXEDIR", "DBDIR",
                                      "SHDDIR",  "VELMORA", "TEMP", nullptr};

BraceGroup ScanBraceGroup(const char* text, size_t at) {
  BraceGroup group = {at, false, kPlaceholderNone, 0};
  int depth = 0;
  size_t i = at;
  for (; text[i] != '\0'; ++i) {
    if (text[i] == '{') {
      ++depth;
    } else if (text[i] == '}' && --depth == 0) {
      group.closed = true;
      break;
    }
  }
  group.end = group.closed ? i + 1 : i;

  const char* p = text + at + 1;
  // Fewer than three characters after the brace cannot form a placeholder.
  if (p[0] == '\0' || p[1] == '\0' || p[2] == '\0') return group;
  struct Form {
    const char* text;
    PlaceholderKind kind;
  };
  static const Form kForms[] = {
      {"src}", kPlaceholderSource},       {"des}", kPlaceholderDestination},
      {"exe}", kPlaceholderProgram},      {"inifile}", kPlaceholderIniFileName},
      {"\\n}", kPlaceholderLineFeed},     {"\\r}", kPlaceholderReturn},
      {"\\t}", kPlaceholderTab},          {"idts}", kPlaceholderDateText},
      {"idtn}", kPlaceholderDayNumber},   {"idta}", kPlaceholderDateDigits},
      {"fver=", kPlaceholderFileVersion}, {"ini=", kPlaceholderIniValue},
      {"reg=", kPlaceholderRegValue},
  };
  for (const Form& form : kForms) {
    if (StartsWithText(p, form.text)) {
      group.kind = form.kind;
      return group;
    }
  }
  for (const SpecialFolder& folder : kSpecialFolders) {
    if (std::strncmp(p, folder.name, std::strlen(folder.name)) == 0) {
      group.kind = kPlaceholderFolder;
      group.folder = folder.csidl;
      return group;
    }
  }
  return group;
}

DollarGroup ScanDollarGroup(const char* text, size_t at) {
  DollarGroup group = {0, 0, false, -1};
  size_t nameStart = at + 1;
  size_t length = 0;
  while (length < static_cast<size_t>(kMaxVariableName) && text[nameStart + length] != '\0' &&
         text[nameStart + length] != '$') {
    ++length;
  }
  group.nameLength = length;
  group.closed = text[nameStart + length] == '$';
  if (group.closed) {
    char name[kMaxVariableName + 1];
    std::memcpy(name, text + nameStart, length);
    name[length] = '\0';
    group.variable = FindName(name, kVariableNames);
  }
  // A closing '$' is consumed; a name cut at its limit resumes with its next
  // character, which is kept rather than lost.
  group.next = nameStart + length + (group.closed ? 1 : 0);
  return group;
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
