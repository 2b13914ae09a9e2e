// Native stand-in for ChangeIniEntry: every call is recorded here instead of
// touching an INI file, so tests can check which changes a line asked for.
#pragma once

struct IniRecordedChange {
  char file[1301];
  char section[300];
  char key[300];
  char value[300];
  bool valueGiven;  // false when the call passed no value
  bool remove;
};

const int kIniRecordCapacity = 8;

// Forgets all recorded calls.
void IniRecordClear();
// Number of calls since the last clear (may exceed kIniRecordCapacity).
int IniRecordCount();
// The index-th recorded call (0-based, below kIniRecordCapacity), or null.
const IniRecordedChange* IniRecordAt(int index);
