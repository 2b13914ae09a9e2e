#include "version/version.h"

#include <cstring>

bool ParseVersionBound(const char* text, VersionBound* bound) {
  if (!text || !bound) return false;
  const char* colon = std::strchr(text, ':');
  if (!colon) return false;

  VersionBound result;
  for (int i = 0; i < 4; ++i) {
    result.partSet[i] = false;
    result.part[i] = 0;
  }
  result.message = colon + 1;

  // Wraps like a 32-bit counter; only the low 16 bits of a part ever count.
  uint32_t number = 0;
  unsigned counter = 1;
  for (const char* p = text; p < colon; ++p) {
    char c = *p;
    if (c >= '0' && c <= '9') {
      number = number * 10u + static_cast<uint32_t>(c - '0');
    } else if (c == '.' || c == ',') {
      if (counter <= 4) {
        result.part[counter - 1] = number;
        result.partSet[counter - 1] = true;
      }
      number = 0;
      if (++counter > 5) return false;  // five or more separators
    } else {
      return false;
    }
  }
  if (counter == 4) {
    result.part[3] = number;
    result.partSet[3] = true;
  }
  *bound = result;
  return true;
}

int64_t ComposeVersion(uint32_t first, uint32_t second, uint32_t third, uint32_t fourth) {
  uint64_t composed = (static_cast<uint64_t>(first & 0xFFFFu) << 48) |
                      (static_cast<uint64_t>(second & 0xFFFFu) << 32) |
                      (static_cast<uint64_t>(third & 0xFFFFu) << 16) |
                      static_cast<uint64_t>(fourth & 0xFFFFu);
  if (composed <= static_cast<uint64_t>(INT64_MAX)) return static_cast<int64_t>(composed);
  // Two's complement reading without relying on an out-of-range conversion.
  return -static_cast<int64_t>(~composed) - 1;
}

bool VersionMeetsBound(const FileVersion& version, const VersionBound& bound, bool maximum) {
  const uint32_t file[4] = {version.major, version.minor, version.build, version.revision};
  uint32_t limit[4];
  for (int i = 0; i < 4; ++i) limit[i] = bound.partSet[i] ? bound.part[i] : file[i];
  int64_t fileNumber = ComposeVersion(file[0], file[1], file[2], file[3]);
  int64_t boundNumber = ComposeVersion(limit[0], limit[1], limit[2], limit[3]);
  return maximum ? fileNumber <= boundNumber : fileNumber >= boundNumber;
}

bool IsLeapYear(uint32_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

static uint32_t MonthLength(uint32_t year, uint32_t month) {
  static const uint8_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kLengths[month - 1];
}

const int32_t kDayNumberOffset = 693594;  // 1 January of year 1 is day 1 of this count

bool DateToDayNumber(uint32_t year, uint32_t month, uint32_t day, int32_t* dayNumber) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > MonthLength(year, month)) return false;
  int32_t d = static_cast<int32_t>(day);
  for (uint32_t m = 1; m < month; ++m) d += static_cast<int32_t>(MonthLength(year, m));
  int32_t y = static_cast<int32_t>(year) - 1;
  if (dayNumber) *dayNumber = y * 365 + y / 4 - y / 100 + y / 400 + d - kDayNumberOffset;
  return true;
}

bool DayNumberToDate(int32_t dayNumber, uint32_t* year, uint32_t* month, uint32_t* day) {
  uint32_t y = 0, mo = 0, d = 0;
  int64_t n = static_cast<int64_t>(dayNumber) + kDayNumberOffset;
  bool ok = n > 0;
  if (ok) {
    uint32_t rest = static_cast<uint32_t>(n - 1);
    y = 1;
    y += 400u * (rest / 146097u);
    rest %= 146097u;
    uint32_t q = rest / 36524u;
    rest %= 36524u;
    if (q == 4) {
      q = 3;
      rest += 36524u;
    }
    y += 100u * q;
    y += 4u * (rest / 1461u);
    rest %= 1461u;
    q = rest / 365u;
    rest %= 365u;
    if (q == 4) {
      q = 3;
      rest += 365u;
    }
    y += q;
    mo = 1;
    while (rest >= MonthLength(y, mo)) {
      rest -= MonthLength(y, mo);
      ++mo;
    }
    d = rest + 1;
  }
  if (year) *year = y;
  if (month) *month = mo;
  if (day) *day = d;
  return ok;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

static const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

// The value of at most 10 characters read the way atoi reads them; anything
// that does not fit a 32-bit count (negative, too large) reads as 0, which no
// calendar part accepts.
static uint32_t FieldValue(const char* p, size_t length) {
  size_t i = 0;
  while (i < length && (p[i] == ' ' || (p[i] >= '\t' && p[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < length && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
  uint64_t value = 0;
  for (; i < length && p[i] >= '0' && p[i] <= '9'; ++i) value = value * 10 + (p[i] - '0');
  if (negative || value > UINT32_MAX) return 0;
  return static_cast<uint32_t>(value);
}

// A day or month field: up to the next '.', at most 10 characters, then the
// character that follows is stepped over.
static const char* ReadDateField(const char* p, uint32_t* value) {
  p = SkipBlanks(p);
  size_t length = 0;
  while (length < 10 && p[length] != '\0' && p[length] != '.') ++length;
  *value = FieldValue(p, length);
  p += length;
  if (*p != '\0') ++p;
  return p;
}

static size_t DigitRun(const char* p, uint64_t* value) {
  size_t length = 0;
  uint64_t number = 0;
  while (length < 10 && p[length] >= '0' && p[length] <= '9') {
    number = number * 10 + static_cast<uint64_t>(p[length] - '0');
    ++length;
  }
  *value = number;
  return length;
}

bool ParseDate(const char* text, DateValue* date) {
  if (!date) return false;
  if (!text || text[0] == '\0') {
    date->valid = false;
    return true;
  }
  uint32_t day = 0, month = 0;
  const char* p = ReadDateField(text, &day);
  p = ReadDateField(p, &month);
  p = SkipBlanks(p);
  uint64_t yearValue = 0;
  p += DigitRun(p, &yearValue);
  p = SkipBlanks(p);
  if (yearValue > 9999) return false;

  int32_t baseNumber = 0;
  if (!DateToDayNumber(static_cast<uint32_t>(yearValue), month, day, &baseNumber)) return false;

  int64_t number = baseNumber;
  if (*p != '\0') {
    char sign = *p;
    if (sign != '+' && sign != '-') return false;
    ++p;
    uint64_t offset = 0;
    p += DigitRun(p, &offset);
    if (*p != '\0' && !IsBlank(*p)) return false;
    number += sign == '+' ? static_cast<int64_t>(offset) : -static_cast<int64_t>(offset);
  }
  if (number < INT32_MIN || number > INT32_MAX) return false;

  uint32_t year = 0;
  if (!DayNumberToDate(static_cast<int32_t>(number), &year, &month, &day)) return false;
  date->valid = true;
  date->dayNumber = static_cast<int32_t>(number);
  date->year = static_cast<int32_t>(year);
  date->month = static_cast<int32_t>(month);
  date->day = static_cast<int32_t>(day);
  return true;
}
