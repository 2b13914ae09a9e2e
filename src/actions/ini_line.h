// [WriteIni] and [DelIni] lines: file=section;key;value and file=section;key.
#pragma once

const int kIniFieldSize = 264;  // 263 characters and the NUL

struct IniLineChange {
  const char* file;             // head of the line, cut at its first '='
  char section[kIniFieldSize];
  char key[kIniFieldSize];      // [WriteIni]: the key; [DelIni]: the key to delete, empty for the section
  char value[kIniFieldSize];    // [WriteIni] only
  bool remove;
};

// Scans the expanded line (cut in place at its first '='). True when the
// line names one change; false when it names none or a field would exceed
// 263 characters (such a line is refused whole).
bool ScanIniLine(char* line, bool deleteFlag, IniLineChange* change);

// Carries out one [WriteIni] (deleteFlag false) or [DelIni] line.
void ApplyIniLine(char* line, bool deleteFlag);
