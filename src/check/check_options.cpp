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
int KeyLine(const CheckState& state, const char* section, const char* key) {
  ProfileLine found;
  if (FindProfileKey(state.bytes, section, key, &found)) {
    LineCounter counter;
    return counter.At(state.bytes, found.offset);
  }
  LineWalk walk;
  walk.verdicts = false;
  ScriptLine line;
  while (NextLine(state, &walk, &line)) {
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

// The [Options] entries of the profile, each with the script line it
// stands on; `visit` returns nothing.
template <typename Visit>
void ForEachOptionsEntry(const CheckState& state, Visit visit) {
  size_t offset = 0;
  ProfileLine entry;
  std::string section;
  LineWalk walk;
  walk.verdicts = false;
  ScriptLine line;
  bool haveLine = false;
  while (NextProfileLine(state.bytes, &offset, &entry)) {
    if (entry.kind == ProfileLine::kSection) section = entry.name;
    if (entry.kind != ProfileLine::kKey || !ProfileNameIs(section, "Options")) continue;
    // The script line that holds the entry; none when checking stopped before it.
    while (!haveLine || line.end <= entry.offset) {
      haveLine = NextLine(state, &walk, &line);
      if (!haveLine) return;
    }
    visit(entry, line);
  }
}

// Why a flag line in the profile's [Options] is not the exact line Setup looks for.
std::string FlagProblem(const ScriptLine& line, int firstOptions) {
  if (line.headerLine != firstOptions) {
    if (SameText(line.headerText.c_str(), "[Options]")) {
      return "it stands in a second [Options] section, and only the first one counts";
    }
    return "it stands under " + Quote(line.headerText) +
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

// One flag: whether Setup sees it on, and the line of its exact form.
struct FlagState {
  const char* name;
  bool on;
  int onLine;
};

void CheckFlagEntry(CheckState* state, const ProfileLine& entry, const ScriptLine& line,
                    const FlagState& flag, int firstOptions) {
  std::string exact = std::string(flag.name) + "=1";
  if (entry.hasValue && ProfileValue(entry) == "0") return;
  // Under a header the line reader does not know, the header's finding says it.
  if (line.section == kSectionUnknown) return;
  if (line.headerLine == firstOptions && SameText(line.text.c_str(), exact.c_str())) return;
  std::string problem = FlagProblem(line, firstOptions);
  if (flag.on) {
    state->Add(line.number, kWarning, "flag-not-seen",
               Quote(line.text) + " is not seen (" + problem + "); " + exact +
                   " elsewhere turns the flag on");
  } else {
    state->Add(line.number, kError, "flag-not-seen",
               Quote(line.text) + " is not seen (" + problem + "): " + flag.name +
                   " stays off; write exactly " + exact +
                   " (no blanks, nothing after it) in the first [Options] section");
  }
}

// Every key of the [Options] sections, in one walk: unknown ones, ones the
// reader does not take, flag lines Setup's line reader does not see.
void CheckOptionKeys(CheckState* state) {
  std::vector<std::string> known;
  for (const OptionKey& option : kOptionKeys) known.push_back(option.key);
  for (const char* flag : kFlags) known.push_back(flag);
  // Where the reader takes each option from (npos: nowhere).
  std::vector<size_t> readAt;
  std::vector<int> readLine;
  for (const OptionKey& option : kOptionKeys) {
    ProfileLine found;
    bool read = FindProfileKey(state->bytes, "Options", option.key, &found);
    readAt.push_back(read ? found.offset : std::string::npos);
    LineCounter counter;
    readLine.push_back(read ? counter.At(state->bytes, found.offset) : 0);
  }
  int firstOptions = 0;
  {
    LineWalk walk;
    walk.verdicts = false;
    ScriptLine line;
    while (NextLine(*state, &walk, &line)) {
      if (line.verdict == kLineHeader && SameText(line.text.c_str(), "[Options]")) {
        firstOptions = line.number;
        break;
      }
    }
  }
  std::vector<FlagState> flags;
  for (const char* flag : kFlags) flags.push_back({flag, FlagIsOn(*state, flag), 0});
  state->noDir = flags[1].on;

  ForEachOptionsEntry(*state, [&](const ProfileLine& entry, const ScriptLine& line) {
    int number = line.number;
    for (FlagState& flag : flags) {
      if (!ProfileNameIs(entry.name, flag.name)) continue;
      std::string exact = std::string(flag.name) + "=1";
      if (line.headerLine == firstOptions && SameText(line.text.c_str(), exact.c_str()) &&
          flag.onLine == 0) {
        flag.onLine = number;
      }
      CheckFlagEntry(state, entry, line, flag, firstOptions);
      return;
    }
    bool isKnown = false;
    for (const std::string& name : known) isKnown = isKnown || ProfileNameIs(entry.name, name.c_str());
    if (!isKnown) {
      std::string closest = Suggest(entry.name, known, entry.name.size() > 4 ? 2 : 1);
      std::string what = entry.hasValue ? Quote(entry.name) + " is no option"
                                        : Quote(entry.name) + " is not a setting (no '=')";
      state->Add(number, kWarning, "option-unknown",
                 what + ": Setup ignores it" +
                     (closest.empty() ? "" : "; did you mean " + closest + "?"));
      return;
    }
    for (size_t k = 0; k < readAt.size(); ++k) {
      if (!ProfileNameIs(entry.name, kOptionKeys[k].key) || readAt[k] == entry.offset) continue;
      std::string why = readAt[k] != std::string::npos
                            ? "the one on line " + std::to_string(readLine[k]) + " counts"
                            : "only the first [Options] section is read";
      state->Add(number, kWarning, "option-not-read", Quote(entry.name) + " is not read: " + why);
    }
  });
  if (flags[0].on && flags[0].onLine != 0) {
    state->Add(flags[0].onLine, kNote, "flag-waits",
               "KillQuillon=1: before installing, Setup waits until a person has closed "
               "Quillon, even under /silent (unless /noboxes)");
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
  CheckOptionKeys(state);

  for (const OptionKey& option : kOptionKeys) {
    bool present = false;
    std::string whole = ReadValue(*state, "Options", option.key, kWholeValue, &present);
    if (!present) continue;
    int line = KeyLine(*state, "Options", option.key);
    if (option.keep > 0 && whole.size() > static_cast<size_t>(option.keep)) {
      // A value that fills the buffer may be longer still.
      std::string length = whole.size() + 1 < static_cast<size_t>(kWholeValue)
                               ? std::to_string(whole.size())
                               : "more than " + std::to_string(whole.size());
      state->Add(line, kWarning, "option-too-long",
                 std::string(option.key) + " is " + length +
                     " characters long: Setup keeps its first " + std::to_string(option.keep));
    }
    std::string key = option.key;
    if (key == "MsgTitle" || key == "ByeMsg" || key == "Info") {
      CheckPlaceholdersIn(state, line, whole,
                          key + " is expanded before the definitions are read");
      CheckTextCodePage(state, line, option.key, whole);
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
      size_t colon = IndexOutsideGroups(whole, ':');
      if (colon != std::string::npos) {
        CheckTextCodePage(state, line, (key + "'s message").c_str(), whole.substr(colon + 1));
      }
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
    state->Add(KeyLine(*state, "ReadIni", "BinDir"), kWarning, "option-too-long",
               "BinDir is " + std::to_string(binDir.size()) +
                   " characters long: Setup keeps its first 259");
  }
}
