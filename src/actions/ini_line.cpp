#include "actions/ini_line.h"

#include <cstdlib>
#include <cstring>

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

void ApplyIniLine(char* line, bool deleteFlag) {
  const char* keyword = RunIsRehearsal() ? "PLAN INI" : "INI";
  IniLineChange change;
  if (!ScanIniLine(line, deleteFlag, &change)) {
    LogEvent(keyword, "the line names no entry, or a field is too long: nothing is changed");
    return;
  }
  bool wholeSection = deleteFlag && change.key[0] == '\0';
  // A rehearsal notes changes by entry: only a later line of the same entry
  // (or section) depends on them.
  char entry[kIniFieldSize * 3];
  char section[kIniFieldSize * 3];
  FormatText(section, sizeof section, "%s [%s]", change.file, change.section);
  FormatText(entry, sizeof entry, "%s [%s] %s", change.file, change.section, change.key);
  if (RunLogActive()) {
    const char* remark = PlanRemark(section);
    if (!remark[0]) remark = PlanRemark(entry);
    if (wholeSection) {
      LogEvent(keyword, "\"%s\" [%s]: section deleted%s", change.file, change.section, remark);
    } else {
      char* old = ReadIniEntry(change.file, change.section, change.key);
      LogEvent(keyword, "\"%s\" [%s] %s: %s%s%s -> %s%s%s%s", change.file, change.section,
               change.key, old ? "\"" : "", old ? old : "absent", old ? "\"" : "",
               deleteFlag ? "deleted" : "\"", deleteFlag ? "" : change.value,
               deleteFlag ? "" : "\"", remark);
      std::free(old);
    }
  }
  if (RunIsRehearsal()) {
    PlanNoteChange(wholeSection ? section : entry);
    return;
  }
  // An INI file is saved whole before its first change: an undo puts it
  // back byte for byte.
  if (!JournalIniFile(change.file)) {
    LogEvent(keyword, "\"%s\": not changed: the journal cannot save it", change.file);
    return;
  }
  ChangeIniEntry(change.file, change.section, change.key, deleteFlag ? nullptr : change.value,
                 deleteFlag);
  JournalIniWritten(change.file);
}
