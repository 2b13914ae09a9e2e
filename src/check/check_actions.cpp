// The lines of the action sections, each read by its action's own routine.
#include <cstring>

#include "actions/file_lines.h"
#include "actions/ini_line.h"
#include "actions/registry.h"
#include "check/check_state.h"
#include "check/stand_ins.h"
#include "script/line_split.h"
#include "script/script_reader.h"

namespace {

// A line in a buffer of its own, for the routines that cut it in place.
struct LineCopy {
  std::vector<char> bytes;
  explicit LineCopy(const std::string& text) : bytes(text.begin(), text.end()) {
    bytes.push_back('\0');
    bytes.resize(kLineBufferSize > bytes.size() ? kLineBufferSize : bytes.size(), '\0');
  }
  char* get() { return bytes.data(); }
};

bool IsSetupFileName(const std::string& name) {
  return SameText(name.c_str(), "setup.exe") || SameText(name.c_str(), "setup.dat");
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

// The raw text up to the first '=' outside placeholders.
std::string BeforeEquals(const std::string& text) {
  return text.substr(0, IndexOutsideGroups(text, '='));
}

// The copied files' names: what the search finds, as [Copy] takes them.
std::vector<std::string> CopiedNames(const std::vector<FoundEntry>& found) {
  std::vector<std::string> names;
  for (const FoundEntry& entry : found) {
    if (!entry.directory && entry.name[0] != '.' && !IsSetupFileName(entry.name)) {
      names.push_back(entry.name);
    }
  }
  return names;
}

void CheckCopyLine(CheckState* state, const ScriptLine& line) {
  LineCopy copy(line.expanded);
  char scratch[kLongPathSize], target[kPathFieldSize], sourceDir[kPathFieldSize];
  char* filter = nullptr;
  SplitActionLine(copy.get(), kActionCopy, kPackageMarker, kInstallMarker, scratch, target,
                  sourceDir, &filter);
  std::string source = copy.get();  // the source text, cut at '|' and '='

  if (std::strchr(target, kDefinitionMarker[0])) {
    state->Add(line.number, kNote, "copy-target-definition",
               "the target comes from a definition: when its entry is not found at run time, "
               "{ini=...} and {reg=...} give the program directory, and the files go there");
  }
  std::string path = scratch;
  std::string directory = sourceDir;
  bool inPackage = path.compare(0, 3, kPackageMarker) == 0 &&
                   path.find_first_of("\x01\x02\x03\x04\x05\x06", 3) == std::string::npos &&
                   directory.compare(0, 3, kPackageMarker) == 0;
  if (!inPackage) {
    state->Add(line.number, kNote, "copy-outside-package",
               "the source " + Quote(BeforeEquals(line.text)) +
                   " lies outside the package: not checked");
    return;
  }
  std::string relative = path.substr(3);
  std::string relativeDir = directory.substr(3);
  std::vector<FoundEntry> found;
  bool searched = state->Find(relative, &found);
  std::vector<std::string> names = CopiedNames(found);

  // What the exclusion list takes away, pattern by pattern.
  std::vector<std::string> excluded;
  if (filter) {
    std::string list = filter;
    size_t from = 0;
    for (;;) {
      size_t comma = list.find(',', from);
      std::string pattern = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
      std::vector<FoundEntry> matched;
      bool any = false;
      if (!pattern.empty() && state->Find(relativeDir + pattern, &matched)) {
        for (const FoundEntry& entry : matched) {
          for (const std::string& name : names) {
            if (SameText(name.c_str(), entry.name.c_str())) {
              excluded.push_back(name);
              any = true;
            }
          }
        }
      }
      if (!any) {
        state->Add(line.number, kWarning, "copy-exclusion-nothing",
                   pattern.empty()
                       ? "the exclusion list has an empty pattern (two commas in a row or a final "
                         "comma): it excludes nothing"
                       : "the exclusion pattern " + Quote(pattern) +
                             " matches none of the files the line copies: it excludes nothing");
      }
      if (comma == std::string::npos) break;
      from = comma + 1;
    }
  }
  size_t remaining = 0;
  for (const std::string& name : names) {
    bool out = false;
    for (const std::string& gone : excluded) out = out || SameText(name.c_str(), gone.c_str());
    remaining += out ? 0 : 1;
  }

  if (HasWildcard(source)) {
    // Names the search finds only through their 8.3 short names.
    std::string mask = relative.substr(relative.find_last_of('\\') + 1);
    std::string alsoFound;
    for (const std::string& name : names) {
      if (!LongNameMatches(mask.c_str(), name.c_str())) alsoFound += (alsoFound.empty() ? "" : ", ") + Quote(name);
    }
    if (!alsoFound.empty()) {
      state->Add(line.number, kWarning, "copy-short-name",
                 "the pattern " + Quote(mask) + " also finds " + alsoFound +
                     " through the 8.3 short name, and Setup copies it as well");
    }
    if (remaining == 0) {
      std::string why = names.empty() ? "matches no file of the package"
                                      : "matches only files its exclusion list takes away";
      if (names.empty() && searched) {
        bool setupOnly = false;
        for (const FoundEntry& entry : found) setupOnly = setupOnly || IsSetupFileName(entry.name);
        if (setupOnly) why = "matches no file of the package but setup.exe and setup.dat, which are never copied";
      }
      state->Add(line.number, kWarning, "copy-matches-nothing",
                 "the source " + Quote(BeforeEquals(line.text)) + " " + why +
                     ": the line copies nothing");
    }
    return;
  }
  if (!searched) {
    state->Add(line.number, kError, "copy-source-missing",
               "the source " + Quote(BeforeEquals(line.text)) +
                   " is not in the package: Setup tells the end user it cannot copy it and asks "
                   "whether to go on (message 34)");
  } else if (found[0].directory) {
    state->Add(line.number, kError, "copy-source-directory",
               "the source " + Quote(BeforeEquals(line.text)) +
                   " is a directory, and [Copy] copies no directory: nothing is copied (for its "
                   "files write " + BeforeEquals(line.text) + "\\*)");
  } else if (IsSetupFileName(found[0].name)) {
    state->Add(line.number, kWarning, "copy-setup-file",
               Quote(found[0].name) + " is never copied: [Copy] leaves setup.exe and setup.dat "
               "out");
  } else if (remaining == 0) {
    state->Add(line.number, kWarning, "copy-matches-nothing",
               "the line's own exclusion list takes its source away: the line copies nothing");
  }
}

// True when the line was meant as a setting but is not one.
bool CheckVersionCopySettingForm(CheckState* state, const ScriptLine& line, bool afterFileLine) {
  static const char* const kSettings[] = {"MinVer", "MaxVer", "VerProg"};
  const std::string& text = line.expanded;
  size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  std::string name = text.substr(0, equals);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  for (const char* setting : kSettings) {
    if (!SameText(name.c_str(), setting)) continue;
    if (afterFileLine && VersionCopySetting(text.c_str()) != 0) {
      state->Add(line.number, kError, "versioncopy-setting-late",
                 Quote(line.text) + " comes after the section's first file line: it sets "
                 "nothing, and Setup copies it as a file line");
      return true;
    } else if (VersionCopySetting(text.c_str()) == 0) {
      state->Add(line.number, kError, "versioncopy-setting-form",
                 Quote(line.text) + " is not a setting: only " + setting + "= written exactly "
                 "so (this case, no blank before '=') sets one; Setup takes the line as a file "
                 "line");
      return true;
    }
  }
  return false;
}

// [VersionCopy]: settings before the first file line, checked when it comes.
// False when a file line was meant as a setting.
bool CheckVersionCopy(CheckState* state, const ScriptLine& line, int* sectionHeader,
                      bool* afterFileLine, std::string* bounds) {
  if (line.headerLine != *sectionHeader) {
    *sectionHeader = line.headerLine;
    *afterFileLine = false;
    bounds->clear();
  }
  if (line.verdict == kLineSetting) {
    int setting = VersionCopySetting(line.expanded.c_str());
    std::string value = line.expanded.substr(line.expanded.find('=') + 1);
    if (setting == 3) {
      CheckVerProg(state, line.number, value);
      *bounds += "P";
    } else {
      if (value.size() > 511) {
        state->Add(line.number, kWarning, "option-too-long",
                   "the bound is " + std::to_string(value.size()) +
                       " characters long: Setup keeps its first 511");
      }
      CheckBound(state, line.number, setting == 1 ? "MinVer" : "MaxVer", value.substr(0, 511),
                 setting == 2, true);
      *bounds += setting == 1 ? "N" : "X";
    }
    return true;
  }
  bool meantAsSetting = CheckVersionCopySettingForm(state, line, *afterFileLine);
  if (!*afterFileLine && line.verdict == kLineGated) {
    *afterFileLine = true;
    if (bounds->find('P') == std::string::npos && !bounds->empty()) {
      state->Add(line.number, kWarning, "bound-without-verprog",
                 "the section's version bounds have no effect: it has no VerProg= line, so no "
                 "version is checked");
    }
  }
  return !meantAsSetting;
}

void CheckRunOrDelete(CheckState* state, const ScriptLine& line, int action) {
  LineCopy copy(line.expanded);
  char* equals = std::strchr(copy.get(), '=');
  if (equals) {
    *equals = '\0';
    state->Add(line.number, kError, "text-after-equals",
               "everything from the '=' on is dropped: Setup " +
                   std::string(action == kActionRun ? "runs" : "deletes with") + " only " +
                   Quote(BeforeEquals(line.text)));
  }
  std::string cut = copy.get();
  if (action == kActionRun) {
    size_t first = cut.find('\'');
    if (first == 0) {
      state->Add(line.number, kError, "run-no-program",
                 "names no program before its parameters: Setup cannot start it (message 35)");
    }
    if (first != std::string::npos) {
      size_t second = cut.find('\'', first + 1);
      if (second == std::string::npos) {
        state->Add(line.number, kWarning, "run-apostrophe",
                   "the apostrophe that opens the parameters is not closed: the parameters run "
                   "to the end of the line");
      } else if (cut.find_first_not_of(" \t", second + 1) != std::string::npos) {
        state->Add(line.number, kWarning, "run-apostrophe",
                   "text after the closing apostrophe is ignored: " +
                       Quote(cut.substr(second + 1)));
      }
    }
    return;
  }
  const char* extension = DeleteLineExtension(cut.c_str());
  std::string problem;
  if (!extension) {
    problem = "has no '.'";
  } else if (!std::strchr(cut.c_str(), '\\')) {
    problem = "has no '\\' before the file name (a [Delete] line is directory\\name.ext)";
  } else if (std::strpbrk(extension, "\\/")) {
    problem = "has no extension after its last '\\'";
  } else if (std::strpbrk(extension, "*?")) {
    problem = "takes its extension " + Quote(extension) +
              " literally, and no file has it (dir\\*.* deletes nothing)";
  } else if (extension[1] == '\0' || std::strpbrk(extension, " \t")) {
    problem = "has the extension " + Quote(extension) + ", which no file has";
  }
  if (!problem.empty()) {
    state->Add(line.number, kError, "delete-nothing", "deletes nothing: the line " + problem);
  }
}

void CheckMoveLine(CheckState* state, const ScriptLine& line) {
  LineCopy copy(line.expanded);
  char *oldName = nullptr, *newName = nullptr;
  if (SplitMoveLine(copy.get(), &oldName, &newName)) return;
  std::string problem = !std::strchr(line.expanded.c_str(), '=') ? "has no '=' (old=new)"
                        : std::strpbrk(line.expanded.c_str(), "*?") ? "holds a wildcard, and [Move] moves one file"
                                                                    : "has an empty side";
  state->Add(line.number, kError, "move-nothing", "moves nothing: the line " + problem);
}

void CheckIniLine(CheckState* state, const ScriptLine& line, bool remove) {
  LineCopy copy(line.expanded);
  IniLineChange change;
  bool changes = ScanIniLine(copy.get(), remove, &change);
  const char* form = remove ? "file=section;key or file=section;;" : "file=section;key;value";
  if (!changes) {
    std::string problem;
    if (!std::strchr(line.expanded.c_str(), '=')) {
      problem = "has no '='";
    } else if (line.expanded[0] == '=') {
      problem = "has no file name before '='";
    } else if (std::strlen(change.section) >= kIniFieldSize - 1 ||
               std::strlen(change.key) >= kIniFieldSize - 1 ||
               std::strlen(change.value) >= kIniFieldSize - 1) {
      state->Add(line.number, kError, "ini-field-too-long",
                 "a section, key or value is longer than 263 characters: Setup refuses the line "
                 "and changes nothing");
      return;
    } else {
      problem = std::string("is not ") + form;
      if (!remove && line.expanded.back() == ';') problem += " (for an empty value end it in ';;')";
    }
    state->Add(line.number, kError, "ini-nothing", "changes nothing: the line " + problem);
    return;
  }
  std::string file = change.file;
  if (file.find_first_of("\\/:") == std::string::npos) {
    state->Add(line.number, kWarning, "ini-windows-dir",
               "the INI file " + Quote(file) + " has no directory: the system takes it from the "
               "Windows directory; give a full path such as {des}" + file);
  }
}

void CheckRegistryLine(CheckState* state, const ScriptLine& line, bool remove) {
  RegistryLineFields fields;
  if (!SplitRegistryLine(line.expanded.c_str(), &fields)) {
    state->Add(line.number, kError, "reg-nothing",
               "changes nothing: the line has no ';' (root;subkey;name;data)");
    return;
  }
  std::string root = fields.rootName;
  if (root.empty() && line.text[0] == ';') {
    state->Add(line.number, kError, "reg-comment",
               "begins with one ';': in [WriteReg] and [DelReg] that is no comment (only ';;' "
               "is) but a line with an empty root, which Setup takes as HKEY_LOCAL_MACHINE");
  } else if (RegistryRootFromName(root.c_str()) == kRootLocalMachine &&
             !StartsWithText(root.c_str(), "HKLM") && !SameText(root.c_str(), "HKEY_LOCAL_MACHINE")) {
    static const char* const kLongNames[][2] = {{"HKEY_CLASSES_ROOT", "HKCR"},
                                                {"HKEY_CURRENT_USER", "HKCU"},
                                                {"HKEY_USERS", "HKU"},
                                                {"HKEY_CURRENT_CONFIG", "HKCC"}};
    std::string meant;
    for (const auto& names : kLongNames) {
      if (SameText(root.c_str(), names[0])) meant = names[1];
    }
    if (meant.empty()) {
      meant = Closest(root, {"HKCR", "HKCU", "HKLM", "HKCC", "HKU"}, 2);
    }
    state->Add(line.number, kError, "reg-root",
               "the root " + Quote(root) + " is not one Setup knows (HKCR, HKCU, HKLM, HKCC, HKU): "
               "it writes under HKEY_LOCAL_MACHINE" +
                   (meant.empty() ? "" : "; did you mean " + meant + "?"));
  }
  if (!remove) {
    if (!fields.subkey || !fields.data) {
      state->Add(line.number, kError, "reg-nothing",
                 "writes nothing: [WriteReg] needs root;subkey;name;data (for an empty value "
                 "end the line in ';')");
    } else {
      size_t semicolons = 0;
      for (char c : line.expanded) semicolons += c == ';';
      if (semicolons > 3) {
        state->Add(line.number, kWarning, "reg-data-cut",
                   "the data ends at its first ';': Setup writes " + Quote(fields.data) +
                       " and ignores the rest");
      }
      if (fields.subkey[0] == '\0') {
        state->Add(line.number, kWarning, "reg-empty-subkey",
                   "the subkey is empty: the value goes directly under the root key");
      }
    }
  } else if (!fields.subkey || fields.subkey[0] == '\0') {
    state->Add(line.number, kError, "reg-nothing",
               "deletes nothing: [DelReg] needs root;subkey; or root;subkey;name;");
  } else if (!fields.valueName) {
    std::string rest = line.expanded.substr(line.expanded.find(';', line.expanded.find(';') + 1) + 1);
    if (!rest.empty()) {
      state->Add(line.number, kWarning, "reg-key-target",
                 "without a third ';' the target is the key " + Quote(fields.subkey) +
                     " (deleted when empty), not the value " + Quote(rest) + "; end the line in "
                     "';' to delete the value");
    }
  }
  FreeRegistryLine(&fields);
}

}  // namespace

void CheckActionLines(CheckState* state) {
  int versionSection = -1;
  bool afterFileLine = false;
  std::string bounds;
  for (const ScriptLine& line : state->lines) {
    if (line.verdict == kLineRefused) {
      if (line.cut) continue;  // reported with the long lines
      if (!line.expandedFits) {
        state->Add(line.number, kError, "refused-after-expansion",
                   "is longer than 1300 characters once its placeholders are replaced: Setup "
                   "does not execute it (message 46)");
      } else {
        state->Add(line.number, kError, "path-too-long",
                   "a path made from it is longer than Setup's path fields (the source 1300 "
                   "characters, the target and the source's directory 260): Setup does not "
                   "execute it (message 46)");
      }
      continue;
    }
    if (line.verdict != kLineRuns && line.verdict != kLineGated && line.verdict != kLineSetting) {
      continue;
    }
    std::string longest;
    if (line.text.find_first_of("{$") != std::string::npos &&
        !state->Expand(line.text, &longest, true)) {
      state->Add(line.number, kWarning, "may-be-refused",
                 "with directories as long as Windows allows (260 characters) its placeholders "
                 "make it longer than 1300 characters, and Setup would not execute it (message 46)");
    }
    switch (line.action) {
      case kActionCopy: CheckCopyLine(state, line); break;
      case kActionVersionCopy:
        if (CheckVersionCopy(state, line, &versionSection, &afterFileLine, &bounds) &&
            line.verdict == kLineGated) {
          CheckCopyLine(state, line);
        }
        break;
      case kActionRun:
      case kActionDelete: CheckRunOrDelete(state, line, line.action); break;
      case kActionMove: CheckMoveLine(state, line); break;
      case kActionWriteIni: CheckIniLine(state, line, false); break;
      case kActionDelIni: CheckIniLine(state, line, true); break;
      case kActionWriteReg: CheckRegistryLine(state, line, false); break;
      case kActionDelReg: CheckRegistryLine(state, line, true); break;
      default: break;
    }
  }
}
