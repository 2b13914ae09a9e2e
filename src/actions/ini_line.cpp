#include "actions/ini_line.h"

#include <cstdlib>
#include <cstring>

#include "actions/file_plan.h"
#include "actions/ini_file.h"
#include "app/text.h"
#include "journal/journal.h"
#include "log/plan_changes.h"
#include "log/run_log.h"

namespace {

enum ScanState { kFileState, kSectionState, kKeyState, kLastFieldState };

// Appends one character; false when the field is already full, in which case
// the whole line is refused rather than written with a cut name or value.
bool AppendField(char* field, size_t* length, char c) {
  if (*length + 1 >= static_cast<size_t>(kIniFieldSize)) return false;
  field[(*length)++] = c;
  field[*length] = '\0';
  return true;
}

}  // namespace

bool ScanIniLine(char* line, bool deleteFlag, IniLineChange* change) {
  if (!change) return false;
  change->file = line;
  change->section[0] = '\0';
  change->key[0] = '\0';
  change->value[0] = '\0';
  change->remove = deleteFlag;
  if (!line) return false;

  size_t sectionLength = 0, keyLength = 0, lastLength = 0;
  // [DelIni] has no key field: its last field is the key to delete.
  char* lastField = deleteFlag ? change->key : change->value;
  ScanState state = kFileState;
  const size_t length = std::strlen(line);
  for (size_t i = 1; i < length; ++i) {
    const char c = line[i];
    const bool atLastCharacter = i + 1 == length;
    switch (state) {
      case kFileState:
        if (line[i - 1] != '=') break;
        line[i - 1] = '\0';
        // The character behind '=' opens the section whatever it is.
        if (!AppendField(change->section, &sectionLength, c)) return false;
        state = kSectionState;
        break;
      case kSectionState:
        if (c == ';') {
          state = deleteFlag ? kLastFieldState : kKeyState;
        } else if (!AppendField(change->section, &sectionLength, c)) {
          return false;
        }
        break;
      case kKeyState:
        if (c == ';') {
          state = kLastFieldState;
        } else if (!AppendField(change->key, &keyLength, c)) {
          return false;
        }
        break;
      case kLastFieldState: {
        const bool ends = atLastCharacter || (deleteFlag && c == ';');
        if (c != ';' || !ends) {
          if (!AppendField(lastField, &lastLength, c)) return false;
        }
        if (ends) {
          // A line without a file name names no INI file to change.
          return line[0] != '\0';
        }
        break;
      }
    }
  }
  return false;
}

namespace {

// Sets every entry of a section gone in the rehearsal.
void ForgetEntry(const char* name, const PlanItem&, void*) { PlanSetState(name, kPlanAbsent); }

// The entry's value before the line (a new heap text, or null when it is
// not there): after earlier lines' changes in a rehearsal.
char* OldValue(const IniLineChange& change) {
  if (RunIsRehearsal()) {
    char name[kIniFieldSize * 3 + 1300];
    PlanItem entry = PlanGetItem(PlanIniName(change.file, change.section, change.key, name,
                                             sizeof name));
    if (entry.state == kPlanPresent) return DuplicateText(entry.text);
    if (entry.state == kPlanAbsent) return nullptr;
    PlanItem section = PlanGetItem(PlanIniName(change.file, change.section, nullptr, name,
                                               sizeof name));
    if (section.state == kPlanAbsent) return nullptr;
  }
  return ReadIniEntry(change.file, change.section, change.key);
}

// What the rehearsal carries to later lines.
void PlanIniEntry(const IniLineChange& change, bool wholeSection) {
  char name[kIniFieldSize * 3 + 1300];
  if (wholeSection) {
    PlanIniName(change.file, change.section, nullptr, name, sizeof name);
    PlanForEachChild(name, '\n', ForgetEntry, nullptr);
    PlanSetState(name, kPlanAbsent);
    return;
  }
  PlanIniName(change.file, change.section, change.key, name, sizeof name);
  PlanItem item = {change.remove ? kPlanAbsent : kPlanPresent, change.value, 0, nullptr, 0, false};
  PlanSetItem(name, item);
}

}  // namespace

void ApplyIniLine(char* line, bool deleteFlag) {
  IniLineChange change;
  if (!ScanIniLine(line, deleteFlag, &change)) {
    LogChange("INI", nullptr, "the line names no entry, or a field is too long: nothing is changed");
    return;
  }
  const bool rehearsal = RunIsRehearsal();
  bool wholeSection = deleteFlag && change.key[0] == '\0';
  PlanBeginEvent();
  // The event names the change; it is written once the change was made.
  char what[kIniFieldSize * 5 + 1400];
  FormatText(what, sizeof what, "\"%s\" [%s]", change.file, change.section);
  if (wholeSection) {
    AppendText(what, sizeof what, ": section deleted");
  } else if (rehearsal || RunLogActive()) {
    char* old = OldValue(change);
    // The key, the old value and the new one, each as long as a field may be.
    char part[kIniFieldSize * 3 + 32];
    if (deleteFlag && !old) {
      FormatText(part, sizeof part, " %s: absent: nothing to delete", change.key);
    } else {
      FormatText(part, sizeof part, " %s: %s%s%s -> %s%s%s", change.key, old ? "\"" : "",
                 old ? old : "absent", old ? "\"" : "", deleteFlag ? "deleted" : "\"",
                 deleteFlag ? "" : change.value, deleteFlag ? "" : "\"");
    }
    AppendText(what, sizeof what, part);
    std::free(old);
  }
  char reason[256];
  const char* failure = nullptr;
  if (rehearsal) {
    failure = PlanIniChange(change.file, !deleteFlag, reason, sizeof reason);
    if (!failure) PlanIniEntry(change, wholeSection);
  } else if (!JournalIniFile(change.file)) {
    // An INI file is saved whole before its first change: an undo puts it
    // back byte for byte.
    failure = "the journal cannot save the file";
  } else {
    unsigned long code = 0;
    if (!ChangeIniEntry(change.file, change.section, change.key,
                        deleteFlag ? nullptr : change.value, deleteFlag, &code)) {
      failure = SystemReason(code, reason, sizeof reason);
    }
    // What the file holds now: an undo puts the old file back only over it.
    JournalIniWritten(change.file);
  }
  LogChange("INI", failure, "%s", what);
}
