// File versions, version bounds and package dates.
#pragma once
#include <cstdint>

struct FileVersion {
  uint16_t major;
  uint16_t minor;
  uint16_t build;
  uint16_t revision;
};

// Days counted from 30 December 1899 (day 0).
struct DateValue {
  bool valid;
  int32_t dayNumber;
  int32_t year;
  int32_t month;
  int32_t day;
};

// A parsed "version:message" bound; unset parts take the file's parts.
struct VersionBound {
  bool partSet[4];
  uint32_t part[4];
  const char* message;  // points into the parsed text, after the first ':'
};

// Reads the file version of the fixed file information of path's version
// resource. All parts are 0 and the result false when there is none.
bool GetFileVersion(const char* path, FileVersion* version);

// False when the bound is malformed (no ':', a stray character, five or more
// separators).
bool ParseVersionBound(const char* text, VersionBound* bound);

// first * 2^48 + second * 2^32 + third * 2^16 + fourth, each part cut to 16
// bits, as a signed 64-bit number.
int64_t ComposeVersion(uint32_t first, uint32_t second, uint32_t third, uint32_t fourth);

// A minimum is met when version >= bound, a maximum when version <= bound.
bool VersionMeetsBound(const FileVersion& version, const VersionBound& bound, bool maximum);

// Parses "d.m.yyyy" with an optional "+n" or "-n" day offset. An empty or
// absent text clears `valid` and succeeds; on failure *date is unchanged.
bool ParseDate(const char* text, DateValue* date);

bool IsLeapYear(uint32_t year);
bool DateToDayNumber(uint32_t year, uint32_t month, uint32_t day, int32_t* dayNumber);
bool DayNumberToDate(int32_t dayNumber, uint32_t* year, uint32_t* month, uint32_t* day);
