// The lines of the action sections, each read by its action's own routine.
// Messages quote the author's own text: the fields of the written line,
// which placeholders (whose values hold no separators here) do not shift.
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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A target that receives files under their names (blanks after the '\'
// have their own finding).
bool EndsInBackslash(const std::string& target) {
  size_t last = target.find_last_not_of(" \t");
  return last == std::string::npos || target[last] == '\\';
}

// The text up to the first `c` outside placeholders, and the rest after it.
std::string Before(const std::string& text, char c) {
  return text.substr(0, IndexOutsideGroups(text, c));
}
std::string After(const std::string& text, char c) {
  size_t at = IndexOutsideGroups(text, c);
  return at == std::string::npos ? "" : text.substr(at + 1);
}

// The last part of a path (after its last backslash outside placeholders).
std::string LastPart(const std::string& path) {
  std::vector<std::string> parts = FieldsOutsideGroups(path, '\\');
  return parts.back();
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Whether a path names something of a real installation (a placeholder's
// stand-in) rather than the package.
bool StartsWithStandIn(const std::string& path) {
  return !path.empty() && path[0] >= '\x01' && path[0] <= '\x06';
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

// The [Copy] line as the author wrote it: source, target, exclusion list.
struct CopyText {
  std::string source, target, filter;
  bool hasTarget, hasFilter;
  explicit CopyText(const std::string& line) {
    std::string main = Before(line, '|');
    hasFilter = IndexOutsideGroups(line, '|') != std::string::npos;
    filter = After(line, '|');
    source = Before(main, '=');
    hasTarget = IndexOutsideGroups(main, '=') != std::string::npos;
    target = After(main, '=');
  }
};

// Blanks at the edges of a source or target belong to the names.
void CheckCopyBlanks(CheckState* state, const ScriptLine& line, const CopyText& written) {
  std::string problems;
  const std::string& source = written.source;
  const std::string& target = written.target;
  if (!source.empty() && IsBlank(source.back())) {
    problems += "; the source " + Quote(source) + " ends in a blank";
  }
  if (written.hasTarget && !target.empty() && IsBlank(target[0])) {
    problems += "; the target " + Quote(target) + " begins with a blank, which Setup keeps: it "
                "copies into " + Quote(target.substr(0, target.find('\\')));
  } else if (written.hasTarget && !target.empty() && IsBlank(target.back())) {
    problems += "; the target " + Quote(target) + " ends in a blank";
  }
  if (problems.empty()) return;
  std::string fixed = Trimmed(source) + (written.hasTarget ? "=" + Trimmed(target) : "") +
                      (written.hasFilter ? "|" + written.filter : "");
  state->Add(line.number, kWarning, "copy-blanks",
             "blanks around '=' belong to the names" + problems + "; write " + fixed);
}

void CheckCopyLine(CheckState* state, const ScriptLine& line) {
  LineCopy copy(line.expanded);
  char scratch[kLongPathSize], target[kPathFieldSize], sourceDir[kPathFieldSize];
  char* filter = nullptr;
  SplitActionLine(copy.get(), kActionCopy, kPackageMarker, kInstallMarker, scratch, target,
                  sourceDir, &filter);
  std::string source = copy.get();  // the source text, cut at '|' and '='
  CopyText written(line.text);
  CheckCopyBlanks(state, line, written);

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
    // An absolute path that no placeholder made is one of the author's own
    // machine; the package's file of that name was probably meant.
    std::vector<std::string> named;
    std::string name = path.substr(path.find_last_of('\\') + 1);
    if (!StartsWithStandIn(path) && !name.empty() && !HasWildcard(name)) {
      named = state->PackageFilesNamed(SearchNormalForm(name));
    }
    if (!named.empty()) {
      state->Add(line.number, kWarning, "copy-author-path",
                 "the source " + Quote(written.source) + " is an absolute path, which Setup "
                 "looks for as written on the end user's machine (a path of the machine the "
                 "package was made on is not there), while the package holds " + named[0] +
                     ": for the package's file write " + named[0] +
                     (written.hasTarget ? "=" + written.target : "") +
                     (written.hasFilter ? "|" + written.filter : "") +
                     " (an installation's own files are named with {des} or {exe})");
    } else {
      state->Add(line.number, kNote, "copy-outside-package",
                 "the source " + Quote(written.source) + " lies outside the package: not checked");
    }
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
    std::vector<std::string> patterns = FieldsOutsideGroups(filter, ',');
    std::vector<std::string> shown = FieldsOutsideGroups(written.filter, ',');
    for (size_t k = 0; k < patterns.size(); ++k) {
      const std::string& pattern = patterns[k];
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
      if (any) continue;
      std::string author = k < shown.size() ? shown[k] : pattern;
      std::string message;
      if (pattern.empty()) {
        message = "the exclusion list has an empty pattern (two commas in a row or a final "
                  "comma): it excludes nothing";
      } else {
        message = "the exclusion pattern " + Quote(author) +
                  " matches none of the files the line copies: it excludes nothing";
        if (author.find(';') != std::string::npos) {
          std::string commas = author;
          for (char& c : commas) c = c == ';' ? ',' : c;
          message += "; patterns are separated by ',', not ';': did you mean " + commas + "?";
        }
      }
      state->Add(line.number, kWarning, "copy-exclusion-nothing", message);
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
                 "the pattern " + Quote(LastPart(written.source)) + " also finds " + alsoFound +
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
                 "the source " + Quote(written.source) + " " + why + ": the line copies nothing");
    } else if (!EndsInBackslash(target)) {
      // Each file is copied onto the one target file in turn.
      std::string shownTarget = Trimmed(written.target);
      std::string files = remaining == 1 ? "one file of the package (more may come)"
                                         : std::to_string(remaining) + " files of the package";
      state->Add(line.number, remaining > 1 ? kError : kWarning, "copy-onto-one-file",
                 "the source " + Quote(written.source) + " matches " + files + ", and the target " +
                     Quote(shownTarget) + " does not end in '\\': unless that directory exists "
                     "already, Setup copies every file onto the one file " +
                     Quote(LastPart(shownTarget)) + ", and only the last one stays; write " +
                     shownTarget + "\\");
    }
    return;
  }
  if (!searched) {
    state->Add(line.number, kError, "copy-source-missing",
               "the source " + Quote(written.source) +
                   " is not in the package: Setup tells the end user it cannot copy it and asks "
                   "whether to go on (message 34)");
  } else if (found[0].directory) {
    state->Add(line.number, kError, "copy-source-directory",
               "the source " + Quote(written.source) +
                   " is a directory, and [Copy] copies no directory: nothing is copied (for its "
                   "files write " + written.source + "\\*)");
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
struct VersionCopyState {
  int header = -1;
  bool afterFileLine = false;
  std::string bounds;  // P for VerProg, N and X for the bounds
};

// False when a file line was meant as a setting.
bool CheckVersionCopy(CheckState* state, const ScriptLine& line, VersionCopyState* section) {
  if (line.headerLine != section->header) {
    *section = VersionCopyState();
    section->header = line.headerLine;
  }
  if (line.verdict == kLineSetting) {
    int setting = VersionCopySetting(line.expanded.c_str());
    std::string value = line.text.substr(line.text.find('=') + 1);
    if (setting == 3) {
      CheckVerProg(state, line.number, value);
      section->bounds += "P";
    } else {
      if (value.size() > 511) {
        state->Add(line.number, kWarning, "option-too-long",
                   "the bound is " + std::to_string(value.size()) +
                       " characters long: Setup keeps its first 511");
      }
      CheckBound(state, line.number, setting == 1 ? "MinVer" : "MaxVer", value.substr(0, 511),
                 setting == 2, true);
      size_t colon = IndexOutsideGroups(value, ':');
      if (colon != std::string::npos) {
        CheckTextCodePage(state, line.number, "the bound's message", value.substr(colon + 1));
      }
      section->bounds += setting == 1 ? "N" : "X";
    }
    return true;
  }
  bool meantAsSetting = CheckVersionCopySettingForm(state, line, section->afterFileLine);
  if (!section->afterFileLine && line.verdict == kLineGated) {
    section->afterFileLine = true;
    if (section->bounds.find('P') == std::string::npos && !section->bounds.empty()) {
      state->Add(line.number, kWarning, "bound-without-verprog",
                 "the section's version bounds have no effect: it has no VerProg= line, so no "
                 "version is checked");
    }
  }
  return !meantAsSetting;
}

// Why a [Delete] line deletes nothing, or "".
std::string DeleteProblem(const std::string& cut) {
  const char* extension = DeleteLineExtension(cut.c_str());
  if (!extension) return "has no '.'";
  if (!std::strchr(cut.c_str(), '\\')) {
    return "has no '\\' before the file name (a [Delete] line is directory\\name.ext)";
  }
  if (std::strpbrk(extension, "\\/")) return "has no extension after its last '\\'";
  if (std::strpbrk(extension, "*?")) {
    return "takes its extension " + Quote(extension) +
           " literally, and no file has it (dir\\*.* deletes nothing)";
  }
  if (extension[1] == '\0' || std::strpbrk(extension, " \t")) {
    return "has the extension " + Quote(extension) + ", which no file has";
  }
  return "";
}

// Where [Run], [Delete] and [Move] lines are taken from: whether the
// current directory is the package's at this point.
struct CurrentDirectory {
  bool package = false;
};

void CheckRunLine(CheckState* state, const ScriptLine& line, const CurrentDirectory& current) {
  const std::string& full = line.expanded;
  std::string cut = full.substr(0, full.find('='));
  std::string writtenCut = Before(line.text, '=');
  if (cut.size() < full.size()) {
    state->Add(line.number, kError, "text-after-equals",
               "everything from the '=' on is dropped: Setup runs only " + Quote(writtenCut));
  }
  // The author's apostrophes, before the cut (a cut that takes the closing
  // one away is the '=' finding's doing).
  size_t first = full.find('\'');
  std::string program = cut.substr(0, cut.find('\''));
  if (first == 0 || Trimmed(program).empty()) {
    state->Add(line.number, kError, "run-no-program",
               "names no program before its parameters: Setup cannot start it (message 35)");
  } else if (program.find('"') != std::string::npos) {
    state->Add(line.number, kError, "run-quote",
               "the program " + Quote(Before(writtenCut, '\'')) + " holds a double quote: Setup "
               "takes the quotes as part of the program's name and cannot start it (message "
               "35); write the program without quotes (a blank in it needs none) and its "
               "parameters between apostrophes");
  } else {
    std::string name = Trimmed(program);
    // A relative path with a directory is taken from the current directory.
    if (!current.package && !StartsWithStandIn(name) && !IsAbsolutePath(name.c_str()) &&
        name.find('\\') != std::string::npos && !HasWildcard(name)) {
      std::vector<FoundEntry> found;
      if (state->Find(name, &found) && !found[0].directory) {
        std::string author = Trimmed(Before(writtenCut, '\''));
        state->Add(line.number, kWarning, "run-relative",
                   "the program " + Quote(author) + " is relative: Setup starts it from the "
                   "current directory of that moment (the install directory, or the one a "
                   "[ChangeDir] line made current), not from the package, which holds it; "
                   "write {src}" + author);
      }
    }
  }
  if (first != std::string::npos) {
    size_t second = full.find('\'', first + 1);
    if (second == std::string::npos) {
      state->Add(line.number, kWarning, "run-apostrophe",
                 "the apostrophe that opens the parameters is not closed: the parameters run "
                 "to the end of the line");
    } else if (full.find_first_not_of(" \t", second + 1) < cut.size()) {
      std::vector<std::string> fields = FieldsOutsideGroups(writtenCut, '\'');
      std::string rest;
      for (size_t k = 2; k < fields.size(); ++k) rest += (k > 2 ? "'" : "") + fields[k];
      state->Add(line.number, kWarning, "run-apostrophe",
                 "text after the closing apostrophe is ignored: " + Quote(rest));
    }
  }
}

void CheckDeleteLine(CheckState* state, const ScriptLine& line) {
  const std::string& full = line.expanded;
  std::string cut = full.substr(0, full.find('='));
  std::string problem = DeleteProblem(cut);
  if (cut.size() < full.size()) {
    // When only the cut makes the line delete nothing, that is one finding.
    bool cutCauses = !problem.empty() && DeleteProblem(full).empty();
    state->Add(line.number, kError, "text-after-equals",
               "everything from the '=' on is dropped: Setup deletes with only " +
                   Quote(Before(line.text, '=')) +
                   (cutCauses ? ", which deletes nothing (the line " + problem + ")" : ""));
    if (cutCauses) return;
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
  std::string writtenFile = Before(line.text, '=');
  if (!changes) {
    std::string problem;
    std::vector<std::string> written = FieldsOutsideGroups(After(line.text, '='), ';');
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
    } else if (!remove && written.size() == 3 && !written[2].empty() &&
               line.expanded.back() == ';') {
      // Written in full; its value gives nothing here.
      problem = "ends in ';' once its value " + Quote(written[2]) +
                " has been expanded to nothing, and a line file=section;key; writes no entry";
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
               "the INI file " + Quote(writtenFile) + " has no directory: the system takes it "
               "from the Windows directory; give a full path such as {des}" + writtenFile);
  }
}

void CheckRegistryLine(CheckState* state, const ScriptLine& line, bool remove) {
  RegistryLineFields fields;
  if (!SplitRegistryLine(line.expanded.c_str(), &fields)) {
    state->Add(line.number, kError, "reg-nothing",
               "changes nothing: the line has no ';' (root;subkey;name;data)");
    return;
  }
  std::vector<std::string> written = FieldsOutsideGroups(line.text, ';');
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
               "the root " + Quote(written[0]) + " is not one Setup knows (HKCR, HKCU, HKLM, "
               "HKCC, HKU): it writes under HKEY_LOCAL_MACHINE" +
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
        std::string data = written.size() > 3 ? written[3] : fields.data;
        state->Add(line.number, kWarning, "reg-data-cut",
                   "the data ends at its first ';': Setup writes " + Quote(data) +
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
  } else if (!fields.valueName && written.size() > 2) {
    std::string rest;
    for (size_t k = 2; k < written.size(); ++k) rest += (k > 2 ? ";" : "") + written[k];
    if (!rest.empty()) {
      state->Add(line.number, kWarning, "reg-key-target",
                 "without a third ';' the target is the key " + Quote(written[1]) +
                     " (deleted when empty), not the value " + Quote(rest) + "; end the line in "
                     "';' to delete the value");
    }
  }
  FreeRegistryLine(&fields);
}

// [ChangeDir] lines: whether the package directory becomes the current one.
void FollowChangeDir(const ScriptLine& line, CurrentDirectory* current) {
  std::string target = line.expanded;
  while (!target.empty() && target.back() == '\\') target.pop_back();
  current->package = target == std::string(kPackageMarker, 2);
}

}  // namespace

void CheckActionLines(CheckState* state) {
  VersionCopyState versionCopy;
  CurrentDirectory current;
  current.package = state->noDir;
  LineWalk walk;
  ScriptLine line;
  while (NextLine(*state, &walk, &line)) {
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
        if (CheckVersionCopy(state, line, &versionCopy) && line.verdict == kLineGated) {
          CheckCopyLine(state, line);
        }
        break;
      case kActionRun: CheckRunLine(state, line, current); break;
      case kActionDelete: CheckDeleteLine(state, line); break;
      case kActionMove: CheckMoveLine(state, line); break;
      case kActionWriteIni: CheckIniLine(state, line, false); break;
      case kActionDelIni: CheckIniLine(state, line, true); break;
      case kActionWriteReg: CheckRegistryLine(state, line, false); break;
      case kActionDelReg: CheckRegistryLine(state, line, true); break;
      case kActionChangeDir: FollowChangeDir(line, &current); break;
      default: break;
    }
    CheckPlaceholdersIn(state, line.number, line.text, "");
  }
}
