// [Options] as Setup reads it: the values through the profile reader, the
// flag lines through the script's own line reader.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "check/check_state.h"
#include "script/script_reader.h"

namespace {

const char kAbsent[] = "\x01";  // a default no value can equal
// Enough to measure any value: Setup itself takes at most 2047 characters.
const int kWholeValue = 4096;

struct OptionKey {
  const char* key;
  int keep;  // characters Setup keeps of the value; 0 when not a text
};

const OptionKey kOptionKeys[] = {
    {"LangID", 0}, {"MsgTitle", 511}, {"ByeMsg", 511}, {"MinVer", 254}, {"MaxVer", 254},
    {"VerProg", 1299}, {"Info", 254}, {"URL", 254}, {"HideWin", 0}, {"Date", 0},
};

const char* const kFlags[] = {"KillQuillon", "NoDir", "SkipWelcome", "SkipInfo", "Rollback"};

// The value Setup gets with a buffer of `size` bytes; `present` says whether
// the key is there at all.
std::string ReadValue(const CheckState& state, const char* section, const char* key, int size,
                      bool* present = nullptr) {
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
  state.platform->readProfileString(state.scriptPath.c_str(), section, key, kAbsent,
                                    buffer.data(), size);
  std::string value = buffer.data();
  if (present) *present = value != kAbsent;
  return value == kAbsent ? "" : value;
}

// The line the profile reader takes `key` from, or the first [Options] line.
int KeyLine(const CheckState& state, const std::vector<ProfileLine>& profile, const char* section,
            const char* key) {
  int index = FindProfileKey(profile, section, key);
  if (index >= 0) return state.LineAt(profile[static_cast<size_t>(index)].offset);
  for (const ScriptLine& line : state.lines) {
    if (SameText(line.text.c_str(), "[Options]")) return line.number;
  }
  return 1;
}

bool FlagIsOn(const CheckState& state, const char* flag) {
  FILE* file = std::fopen(state.scriptPath.c_str(), "rb");
  if (!file) return false;
  std::string line = std::string(flag) + "=1";
  bool on = FindScriptLine(file, "[Options]", line.c_str());
  std::fclose(file);
  return on;
}

// Why a flag line in the profile's [Options] is not the exact line Setup looks for.
std::string FlagProblem(const CheckState& state, const ScriptLine& line, int firstOptions) {
  if (line.headerLine != firstOptions) {
    const ScriptLine* header = state.Line(line.headerLine);
    if (header && SameText(header->text.c_str(), "[Options]")) {
      return "it stands in a second [Options] section, and only the first one counts";
    }
    return "it stands under " + Quote(header ? header->text : "") +
           ", which Setup's line reader does not take for [Options]";
  }
  const std::string& text = line.text;
  size_t equals = text.find('=');
  if (equals == std::string::npos) return "it has no '=1'";
  std::string value = text.substr(equals + 1);
  if ((equals > 0 && (text[equals - 1] == ' ' || text[equals - 1] == '\t')) ||
      (!value.empty() && (value[0] == ' ' || value[0] == '\t'))) {
    return "blanks around '='";
  }
  if (value.compare(0, 1, "1") == 0) {
    return value.find_first_not_of(" \t", 1) == std::string::npos ? "a trailing blank"
                                                                    : "text after the 1";
  }
  return "its value is " + Quote(value) + ", and only 1 turns it on";
}

void CheckFlags(CheckState* state, const std::vector<ProfileLine>& profile) {
  int firstOptions = 0;
  for (const ScriptLine& line : state->lines) {
    if (line.verdict == kLineHeader && SameText(line.text.c_str(), "[Options]")) {
      firstOptions = line.number;
      break;
    }
  }
  for (const char* flag : kFlags) {
    std::string exact = std::string(flag) + "=1";
    bool on = FlagIsOn(*state, flag);
    int onLine = 0;
    std::string section;
    for (const ProfileLine& entry : profile) {
      if (entry.kind == ProfileLine::kSection) section = entry.name;
      if (entry.kind != ProfileLine::kKey || !ProfileNameIs(section, "Options") ||
          !ProfileNameIs(entry.name, flag)) {
        continue;
      }
      const ScriptLine* line = state->Line(state->LineAt(entry.offset));
      if (!line || (entry.hasValue && ProfileValue(entry) == "0")) continue;
      // Under a header the line reader does not know, the header's finding says it.
      if (line->section == kSectionUnknown) continue;
      if (line->headerLine == firstOptions && SameText(line->text.c_str(), exact.c_str())) {
        if (onLine == 0) onLine = line->number;
        continue;
      }
      std::string problem = FlagProblem(*state, *line, firstOptions);
      if (on) {
        state->Add(line->number, kWarning, "flag-not-seen",
                   Quote(line->text) + " is not seen (" + problem + "); " + exact +
                       " elsewhere turns the flag on");
      } else {
        state->Add(line->number, kError, "flag-not-seen",
                   Quote(line->text) + " is not seen (" + problem + "): " + flag +
                       " stays off; write exactly " + exact +
                       " (no blanks, nothing after it) in the first [Options] section");
      }
    }
    if (on && onLine != 0 && std::strcmp(flag, "KillQuillon") == 0) {
      state->Add(onLine, kNote, "flag-waits",
                 "KillQuillon=1: before installing, Setup waits until a person has closed "
                 "Quillon, even under /silent (unless /noboxes)");
    }
  }
}

void CheckUnknownKeys(CheckState* state, const std::vector<ProfileLine>& profile) {
  std::vector<std::string> known;
  for (const OptionKey& option : kOptionKeys) known.push_back(option.key);
  for (const char* flag : kFlags) known.push_back(flag);
  std::string section;
  for (size_t i = 0; i < profile.size(); ++i) {
    const ProfileLine& entry = profile[i];
    if (entry.kind == ProfileLine::kSection) section = entry.name;
    if (entry.kind != ProfileLine::kKey || !ProfileNameIs(section, "Options")) continue;
    int number = state->LineAt(entry.offset);
    bool isKnown = false;
    for (const std::string& name : known) isKnown = isKnown || ProfileNameIs(entry.name, name.c_str());
    if (!isKnown) {
      std::string closest = Closest(entry.name, known, entry.name.size() > 4 ? 2 : 1);
      std::string what = entry.hasValue ? Quote(entry.name) + " is no option"
                                        : Quote(entry.name) + " is not a setting (no '=')";
      state->Add(number, kWarning, "option-unknown",
                 what + ": Setup ignores it" +
                     (closest.empty() ? "" : "; did you mean " + closest + "?"));
      continue;
    }
    bool isFlag = false;
    for (const char* flag : kFlags) isFlag = isFlag || ProfileNameIs(entry.name, flag);
    int readIndex = FindProfileKey(profile, section.c_str(), entry.name.c_str());
    if (!isFlag && readIndex != static_cast<int>(i)) {
      std::string why = readIndex >= 0
                            ? "the one on line " +
                                  std::to_string(state->LineAt(profile[static_cast<size_t>(readIndex)].offset)) +
                                  " counts"
                            : "only the first [Options] section is read";
      state->Add(number, kWarning, "option-not-read",
                 Quote(entry.name) + " is not read: " + why);
    }
  }
}

}  // namespace

void ReadPackageDate(CheckState* state) {
  char text[14];
  state->platform->readProfileString(state->scriptPath.c_str(), "Options", "Date", "", text,
                                     sizeof text);
  state->dateGiven = text[0] != '\0';
  ParseDate(text, &state->date);
}

void CheckOptions(CheckState* state) {
  std::vector<ProfileLine> profile = ParseProfile(state->bytes);
  CheckUnknownKeys(state, profile);
  CheckFlags(state, profile);

  for (const OptionKey& option : kOptionKeys) {
    bool present = false;
    std::string whole = ReadValue(*state, "Options", option.key, kWholeValue, &present);
    if (!present) continue;
    int line = KeyLine(*state, profile, "Options", option.key);
    if (option.keep > 0 && whole.size() > static_cast<size_t>(option.keep)) {
      state->Add(line, kWarning, "option-too-long",
                 std::string(option.key) + " is " + std::to_string(whole.size()) +
                     " characters long: Setup keeps its first " + std::to_string(option.keep));
    }
    std::string key = option.key;
    if (key == "MsgTitle" || key == "ByeMsg" || key == "Info") {
      CheckPlaceholdersIn(state, line, whole,
                          key + " is expanded before the definitions are read");
    } else if (key == "VerProg" || key == "MinVer" || key == "MaxVer") {
      CheckPlaceholdersIn(state, line, whole, "");
    }
    if (key == "LangID") {
      int language = std::atoi(whole.c_str());
      if (language != 1 && language != 2) {
        state->Add(line, kWarning, "langid-no-texts",
                   "LangID " + Quote(whole) + " is language " + std::to_string(language) +
                       ", which has no texts: Setup shows the Czech ones (1 Czech, 2 Slovak)");
      }
    } else if (key == "HideWin") {
      if (whole.size() != 1) {
        state->Add(line, kWarning, "hidewin-value",
                   "HideWin " + Quote(whole) + " is read as off: only a single character other "
                   "than 0 turns it on; write HideWin=1");
      }
    } else if (key == "MinVer" || key == "MaxVer") {
      std::string bound = ReadValue(*state, "Options", option.key, 255);
      bool hasProgram = !ReadValue(*state, "Options", "VerProg", 1300).empty();
      if (!hasProgram) {
        state->Add(line, kWarning, "bound-without-verprog",
                   key + " has no effect: VerProg is not set, so no version is checked");
      } else {
        CheckBound(state, line, option.key, bound, key == "MaxVer", false);
      }
    } else if (key == "VerProg") {
      CheckVerProg(state, line, ReadValue(*state, "Options", "VerProg", 1300));
    } else if (key == "Date") {
      std::string read = ReadValue(*state, "Options", "Date", 14);
      DateValue cut = {false, 0, 0, 0, 0}, full = {false, 0, 0, 0, 0};
      bool cutValid = ParseDate(read.c_str(), &cut) && cut.valid;
      bool fullValid = ParseDate(whole.c_str(), &full) && full.valid;
      if (!cutValid && !whole.empty()) {
        state->Add(line, kError, "date-malformed",
                   "Date " + Quote(whole) + " is not a date Setup reads (d.m.yyyy, optionally "
                   "followed by +n or -n days" + (whole.size() > 13 ? ", in 13 characters" : "") +
                   "): {idts}, {idtn} and {idta} insert nothing");
      } else if (cutValid && (!fullValid || full.dayNumber != cut.dayNumber)) {
        char date[40];
        FormatText(date, sizeof date, "%d.%d.%d", static_cast<int>(cut.day),
                      static_cast<int>(cut.month), static_cast<int>(cut.year));
        state->Add(line, kError, "date-malformed",
                   "Setup reads only the first 13 characters of Date, " + Quote(read) +
                       ", which is " + date + "; write the date and its offset in 13 characters");
      }
    }
  }
  bool present = false;
  std::string binDir = ReadValue(*state, "ReadIni", "BinDir", kWholeValue, &present);
  if (present && binDir.size() > 259) {
    state->Add(KeyLine(*state, profile, "ReadIni", "BinDir"), kWarning, "option-too-long",
               "BinDir is " + std::to_string(binDir.size()) +
                   " characters long: Setup keeps its first 259");
  }
}
