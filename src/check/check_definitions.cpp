// The definition sections [readini] and [readreg], and the placeholders and
// variables of every text Setup expands.
#include <algorithm>
#include <cstring>

#include "actions/registry.h"
#include "check/check_state.h"
#include "expand/definitions.h"
#include "script/script_reader.h"

namespace {

// Names kept for look-ups; no real package comes near.
const size_t kMostNames = 1000;

// Records a well-formed definition's name; false when it was defined before.
bool AddName(DefinitionNames* names, const std::string& name) {
  if (names->first.size() < static_cast<size_t>(kDefinitionCapacity)) names->first.push_back(name);
  std::string folded;
  for (char c : name) folded += FoldAscii(c);
  if (names->folded.count(folded)) return false;
  if (names->folded.size() >= kMostNames) {
    names->overflow = true;
    return true;
  }
  names->folded.insert(folded);
  names->spelled.push_back(name);
  return true;
}

void CheckDefinitionLine(CheckState* state, const ScriptLine& line, bool ini, int* count) {
  const char* header = ini ? "[readini]" : "[readreg]";
  const char* form = ini ? "Name=[0;|1;]file;section;key" : "Name=[0;|1;]root;subkey;value name";
  DefinitionNames* names = ini ? &state->iniNames : &state->regNames;
  const std::string& text = line.text;
  std::string expanded;
  if (!state->Expand(text, &expanded, false, false)) {
    state->Add(line.number, kError, "definition-malformed",
               "is longer than 1300 characters once its placeholders are replaced: it defines "
               "nothing");
    return;
  }
  // The author's fields, for the messages: placeholders give no ';'.
  std::vector<std::string> written = FieldsOutsideGroups(text.substr(IndexOutsideGroups(text, '=') + 1), ';');
  if (!written.empty() && (written[0] == "0" || written[0] == "1")) written.erase(written.begin());
  DefinitionLine fields;
  ParseResult result = ParseDefinitionLine(expanded.c_str(), ini, true, &fields);
  if (!ini && fields.sourceEnded && fields.source[0] != '\0' &&
      RegistryRootFromName(fields.source) == kRootLocalMachine &&
      !StartsWithText(fields.source, "HKLM")) {
    state->Add(line.number, kError, "reg-root",
               "the root " + Quote(written.empty() ? fields.source : written[0]) +
                   " is not one Setup knows (HKCR, HKCU, HKLM, HKCC, HKU): it reads under "
                   "HKEY_LOCAL_MACHINE, here and on the lines after it with an empty root");
  }
  if (result != kLineComplete) {
    state->Add(line.number, kError, "definition-malformed",
               "defines nothing: a definition is " + std::string(form) +
                   ", and {" + (ini ? "ini" : "reg") + "=...} of a name no line defines gives "
                   "the program directory");
    return;
  }
  std::string name(fields.name, fields.nameLength);
  if (ini && fields.source[0] == ';') {
    // [readini] takes ';' as the file name's first character.
    std::string source = written.size() > 1 ? ";" + written[1] : fields.source;
    state->Add(line.number, kError, "definition-source",
               "the file name is " + Quote(source) + ": in [readini] the file comes "
               "right after '=' (or after 0; or 1;), so the ';' belongs to it");
  }
  if (!AddName(names, name)) {
    // The name as the author wrote it: placeholders in it are no stand-ins.
    std::string writtenName = text.substr(0, std::min(text.size(), IndexOutsideGroups(text, '=')));
    state->Add(line.number, kWarning, "definition-duplicate",
               Quote(writtenName) + " is defined again: {" + (ini ? "ini" : "reg") + "=" +
                   writtenName + "} takes the first definition that finds its value");
  }
  if (++*count == kDefinitionCapacity + 1) {
    state->Add(line.number, kWarning, "definition-over-ten",
               std::string("Setup reads at most 10 definitions of ") + header +
                   ": this and the later ones count only when earlier ones find nothing");
  }
}

// Why `content` (the text between braces) names no placeholder.
std::string UnknownPlaceholderHint(const std::string& content) {
  static const char* const kFolders[] = {"desktop", "desktopall", "programs", "programsall",
                                         "programfiles"};
  for (const char* folder : kFolders) {
    if (SameText(content.c_str(), folder)) {
      return "; shell folder names are lower case only: write {" + std::string(folder) + "}";
    }
  }
  bool hexadecimal = content.size() >= 8;
  for (char c : content) hexadecimal = hexadecimal && (std::strchr("0123456789abcdefABCDEF-", c));
  if (hexadecimal) return " (a text in braces, such as a class identifier, cannot pass through)";
  std::vector<std::string> names = {"src",  "des",  "exe",  "inifile", "\\n",        "\\r",
                                    "\\t",  "idts", "idtn", "idta",    "desktop",    "desktopall",
                                    "programs", "programsall", "programfiles"};
  std::string plain;
  for (char c : content) {
    if (c != ' ' && c != '\t') plain += c;
  }
  std::string closest = Closest(plain, names, plain.size() > 3 ? 2 : 1);
  if (closest.empty() && plain.find('=') != std::string::npos) {
    std::string head = plain.substr(0, plain.find('=') + 1);
    closest = Closest(head, {"fver=", "ini=", "reg="}, 1);
    if (!closest.empty()) closest += plain.substr(head.size());
  }
  return closest.empty() ? "" : "; did you mean {" + closest + "}?";
}

void CheckDefinitionUse(CheckState* state, int line, const std::string& content, bool ini,
                        bool closed) {
  const DefinitionNames& defined = ini ? state->iniNames : state->regNames;
  std::string list = content.substr(4);
  std::vector<std::string> names;
  size_t from = 0;
  for (;;) {
    size_t comma = list.find(',', from);
    names.push_back(list.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  if (!closed || defined.overflow) return;  // unclosed: reported as such
  for (const std::string& name : names) {
    std::string folded;
    for (char c : name) folded += FoldAscii(c);
    if (defined.folded.count(folded)) return;
  }
  std::string placeholder = "{" + content + "}";
  std::string closest = Closest(names[0], defined.spelled, 2);
  state->Add(line, kError, "definition-undefined",
             std::string("no ") + (ini ? "[readini]" : "[readreg]") + " line defines " +
                 Quote(names.size() == 1 ? names[0] : list) + ": " + placeholder +
                 " gives the program directory" +
                 (closest.empty() ? "" : "; did you mean " + Quote(closest) + "?"));
}

}  // namespace

void CheckDefinitions(CheckState* state) {
  LineWalk walk;
  walk.verdicts = false;
  ScriptLine line;
  int iniCount = 0, regCount = 0;
  while (NextLine(*state, &walk, &line)) {
    bool ini = line.section == kSectionReadIni;
    if ((!ini && line.section != kSectionReadReg) || line.verdict != kLineSkipped) continue;
    if (line.cut) continue;  // reported with the long lines
    CheckDefinitionLine(state, line, ini, ini ? &iniCount : &regCount);
    CheckPlaceholdersIn(state, line.number, line.text, "definition lines see no definitions");
  }
}

void CheckPlaceholdersIn(CheckState* state, int line, const std::string& text,
                         const std::string& withoutDefinitions) {
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '$') {
      DollarGroup group = ScanDollarGroup(text.c_str(), i);
      bool hasValue = group.variable == kVariableExeDir || group.variable == kVariableVelmora ||
                      group.variable == kVariableTemp;
      if (group.closed && group.nameLength > 0 && !hasValue) {
        std::string name = text.substr(i + 1, group.nameLength);
        std::string closest = Closest(name, {"EXEDIR", "TEMP", "VELMORA"}, 2);
        state->Add(line, kWarning, "variable-unknown",
                   "$" + name + "$ is not a variable with a value: Setup writes $" + name +
                       " (the second '$' is dropped)" +
                       (closest.empty() ? "" : "; did you mean $" + closest + "$?"));
      }
      i = group.next;
      continue;
    }
    if (text[i] != '{') {
      ++i;
      continue;
    }
    BraceGroup group = ScanBraceGroup(text.c_str(), i);
    std::string content = text.substr(i + 1, group.end - i - (group.closed ? 2 : 1));
    if (!group.closed) {
      state->Add(line, kError, "placeholder-unclosed",
                 "the '{' of " + Quote(text.substr(i)) + " is not closed: Setup removes "
                 "everything from it to the end of the line");
    }
    switch (group.kind) {
      case kPlaceholderNone:
        if (group.closed) {
          state->Add(line, kError, "placeholder-unknown",
                     "{" + content + "} is not a placeholder: Setup removes it with its braces" +
                         UnknownPlaceholderHint(content));
        }
        break;
      case kPlaceholderDateText:
      case kPlaceholderDayNumber:
      case kPlaceholderDateDigits:
        if (!state->date.valid) {
          state->Add(line, kWarning, "date-placeholder-empty",
                     "{" + content + "} inserts nothing: " +
                         (state->dateGiven ? "Date is not a date Setup reads"
                                           : "[Options] has no Date"));
        }
        break;
      case kPlaceholderFileVersion:
        CheckPlaceholdersIn(state, line, content.substr(5), withoutDefinitions);
        break;
      case kPlaceholderIniValue:
      case kPlaceholderRegValue:
        if (!withoutDefinitions.empty()) {
          state->Add(line, kWarning, "definition-in-definition",
                     withoutDefinitions + ": {" + content + (group.closed ? "}" : "") +
                         " gives the program directory here");
        } else {
          CheckDefinitionUse(state, line, content, group.kind == kPlaceholderIniValue,
                             group.closed);
        }
        break;
      default: break;
    }
    i = group.end;
  }
}

