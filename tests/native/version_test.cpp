#include "version/version.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

// Parts as -1 when unset, for compact comparisons.
struct Parts {
  long long p[4];
};

Parts PartsOf(const VersionBound& bound) {
  Parts parts;
  for (int i = 0; i < 4; ++i) parts.p[i] = bound.partSet[i] ? static_cast<long long>(bound.part[i]) : -1;
  return parts;
}

void ExpectParts(const char* text, long long a, long long b, long long c, long long d) {
  VersionBound bound;
  ASSERT_TRUE(ParseVersionBound(text, &bound)) << text;
  Parts parts = PartsOf(bound);
  EXPECT_EQ(parts.p[0], a) << text;
  EXPECT_EQ(parts.p[1], b) << text;
  EXPECT_EQ(parts.p[2], c) << text;
  EXPECT_EQ(parts.p[3], d) << text;
}

bool Meets(const char* boundText, FileVersion version, bool maximum) {
  VersionBound bound;
  EXPECT_TRUE(ParseVersionBound(boundText, &bound)) << boundText;
  return VersionMeetsBound(version, bound, maximum);
}

DateValue Untouched() {
  DateValue date;
  date.valid = true;
  date.dayNumber = 12345;
  date.year = 7;
  date.month = 8;
  date.day = 9;
  return date;
}

void ExpectDate(const char* text, int year, int month, int day) {
  DateValue date = Untouched();
  ASSERT_TRUE(ParseDate(text, &date)) << text;
  EXPECT_TRUE(date.valid);
  EXPECT_EQ(date.year, year) << text;
  EXPECT_EQ(date.month, month) << text;
  EXPECT_EQ(date.day, day) << text;
  uint32_t y = 0, m = 0, d = 0;
  ASSERT_TRUE(DayNumberToDate(date.dayNumber, &y, &m, &d));
  EXPECT_EQ(static_cast<int>(y), year) << text;
  EXPECT_EQ(static_cast<int>(m), month) << text;
  EXPECT_EQ(static_cast<int>(d), day) << text;
}

void ExpectDateRefused(const char* text) {
  DateValue date = Untouched();
  EXPECT_FALSE(ParseDate(text, &date)) << text;
  DateValue before = Untouched();
  EXPECT_EQ(date.valid, before.valid) << text;
  EXPECT_EQ(date.dayNumber, before.dayNumber) << text;
  EXPECT_EQ(date.year, before.year) << text;
  EXPECT_EQ(date.month, before.month) << text;
  EXPECT_EQ(date.day, before.day) << text;
}

}  // namespace

TEST(ParseVersionBound, PartsAndMessage) {
  VersionBound bound;
  ASSERT_TRUE(ParseVersionBound("2.5.0.1:Too old", &bound));
  EXPECT_STREQ(bound.message, "Too old");
  ExpectParts("2.5.0.1:Too old", 2, 5, 0, 1);
  ASSERT_TRUE(ParseVersionBound(":Text", &bound));
  EXPECT_STREQ(bound.message, "Text");
  ExpectParts(":Text", -1, -1, -1, -1);
  ASSERT_TRUE(ParseVersionBound("2.5:", &bound));
  EXPECT_STREQ(bound.message, "");
  ExpectParts("2.5:", 2, -1, -1, -1);
  ASSERT_TRUE(ParseVersionBound("1:a:b", &bound));
  EXPECT_STREQ(bound.message, "a:b");
}

TEST(ParseVersionBound, SeparatorRules) {
  ExpectParts("1.2.3.4:", 1, 2, 3, 4);
  ExpectParts("1.2.3:", 1, 2, -1, -1);  // trailing number unused
  ExpectParts("7:", -1, -1, -1, -1);
  ExpectParts("1.2.3.:", 1, 2, 3, 0);
  ExpectParts("1..3.4:", 1, 0, 3, 4);
  ExpectParts("1,2,3,4:", 1, 2, 3, 4);
  ExpectParts("1.2.3.4.5:", 1, 2, 3, 4);
  ExpectParts("1.2.3.4.:", 1, 2, 3, 4);
  ExpectParts("3.10:Too old", 3, -1, -1, -1);
}

TEST(ParseVersionBound, MalformedBoundsLeaveResultAlone) {
  const char* bad[] = {"2.5.0.1", "1.2.3.4.5.6:", "1.2.3.4..:", "1.2a:", "1 .2:", " 1:", "-1:", ""};
  for (const char* text : bad) {
    VersionBound bound;
    std::memset(&bound, 0x5A, sizeof bound);
    VersionBound copy = bound;
    EXPECT_FALSE(ParseVersionBound(text, &bound)) << text;
    EXPECT_EQ(std::memcmp(&bound, &copy, sizeof bound), 0) << text;
  }
  VersionBound bound;
  EXPECT_FALSE(ParseVersionBound(nullptr, &bound));
}

TEST(ParseVersionBound, HugeNumbersWrapWithoutFault) {
  // 4294967297 wraps to 1 in 32 bits; only the low 16 bits matter later.
  ExpectParts("4294967297.65537.0.0:", 1, 65537, 0, 0);
  FileVersion v = {1, 1, 0, 0};
  EXPECT_TRUE(Meets("4294967297.65537.0.0:", v, true));
  EXPECT_TRUE(Meets("4294967297.65537.0.0:", v, false));
}

TEST(ComposeVersion, PartsAreCutAndSigned) {
  EXPECT_EQ(ComposeVersion(0, 0, 0, 0), 0);
  EXPECT_EQ(ComposeVersion(1, 2, 3, 4), (1LL << 48) + (2LL << 32) + (3LL << 16) + 4);
  EXPECT_EQ(ComposeVersion(65536, 65537, 0, 65535), (1LL << 32) + 65535);
  EXPECT_LT(ComposeVersion(32768, 0, 0, 0), 0);
  EXPECT_EQ(ComposeVersion(32768, 0, 0, 0), INT64_MIN);
  EXPECT_EQ(ComposeVersion(65535, 65535, 65535, 65535), -1);
  EXPECT_EQ(ComposeVersion(32767, 65535, 65535, 65535), INT64_MAX);
}

TEST(VersionMeetsBound, ComparisonRule) {
  FileVersion v3900 = {3, 9, 0, 0};
  EXPECT_TRUE(Meets("3.10:Too old", v3900, false));  // 10 is not used
  EXPECT_FALSE(Meets("3.10.0.0:Too old", v3900, false));
  EXPECT_TRUE(Meets("3.9.0.0:", v3900, false));
  EXPECT_TRUE(Meets("3.9.0.0:", v3900, true));
  FileVersion v4000 = {4, 0, 0, 0}, v4001 = {4, 0, 0, 1};
  EXPECT_TRUE(Meets("4.0.0.0:x", v4000, true));
  EXPECT_FALSE(Meets("4.0.0.0:x", v4001, true));
  EXPECT_TRUE(Meets("4.0.0.0:x", v4001, false));
  // No parts: always equal to the file.
  FileVersion odd = {65535, 1, 2, 3};
  EXPECT_TRUE(Meets(":", odd, false));
  EXPECT_TRUE(Meets(":", odd, true));
  // A first part of 32768 or more is negative: below every ordinary version.
  FileVersion high = {40000, 0, 0, 0};
  EXPECT_FALSE(Meets("1.0.0.0:", high, false));
  EXPECT_TRUE(Meets("1.0.0.0:", high, true));
  // 65536 counts as 0.
  FileVersion zero = {0, 5, 0, 0};
  EXPECT_TRUE(Meets("65536.5.0.0:", zero, true));
  EXPECT_TRUE(Meets("65536.5.0.0:", zero, false));
}

TEST(IsLeapYear, GregorianRule) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2012));
  EXPECT_FALSE(IsLeapYear(2013));
  EXPECT_TRUE(IsLeapYear(4));
  EXPECT_FALSE(IsLeapYear(1));
}

TEST(DateToDayNumber, KnownPointsAndRange) {
  int32_t n = -1;
  ASSERT_TRUE(DateToDayNumber(1899, 12, 30, &n));
  EXPECT_EQ(n, 0);
  ASSERT_TRUE(DateToDayNumber(1899, 12, 31, &n));
  EXPECT_EQ(n, 1);
  ASSERT_TRUE(DateToDayNumber(1900, 1, 1, &n));
  EXPECT_EQ(n, 2);
  ASSERT_TRUE(DateToDayNumber(2013, 1, 1, &n));
  EXPECT_EQ(n, 41275);
  ASSERT_TRUE(DateToDayNumber(2012, 12, 24, &n));
  EXPECT_EQ(n, 41267);
  ASSERT_TRUE(DateToDayNumber(1, 1, 1, &n));
  EXPECT_EQ(n, -693593);
  n = 77;
  EXPECT_FALSE(DateToDayNumber(0, 1, 1, &n));
  EXPECT_FALSE(DateToDayNumber(10000, 1, 1, &n));
  EXPECT_FALSE(DateToDayNumber(2011, 2, 29, &n));
  EXPECT_TRUE(DateToDayNumber(2012, 2, 29, &n));
  EXPECT_FALSE(DateToDayNumber(2012, 4, 31, &n));
  EXPECT_FALSE(DateToDayNumber(2012, 13, 1, &n));
  EXPECT_FALSE(DateToDayNumber(2012, 0, 1, &n));
  EXPECT_FALSE(DateToDayNumber(2012, 1, 0, &n));
  EXPECT_FALSE(DateToDayNumber(UINT32_MAX, UINT32_MAX, UINT32_MAX, &n));
  n = 77;
  EXPECT_FALSE(DateToDayNumber(2012, 1, 32, &n));
  EXPECT_EQ(n, 77);
}

TEST(DayNumberToDate, EveryDayOfYears1To9999RoundTrips) {
  int32_t expected = -693593;  // 1 January of year 1
  for (uint32_t year = 1; year <= 9999; ++year) {
    for (uint32_t month = 1; month <= 12; ++month) {
      for (uint32_t day = 1; day <= 31; ++day) {
        int32_t number;
        if (!DateToDayNumber(year, month, day, &number)) break;
        ASSERT_EQ(number, expected) << year << "-" << month << "-" << day;
        uint32_t y = 0, m = 0, d = 0;
        ASSERT_TRUE(DayNumberToDate(number, &y, &m, &d));
        ASSERT_EQ(y, year);
        ASSERT_EQ(m, month);
        ASSERT_EQ(d, day);
        ++expected;
      }
    }
  }
  EXPECT_EQ(expected - 1, 2958465);  // 31 December 9999
}

TEST(DayNumberToDate, BeforeYearOneAndFarFuture) {
  uint32_t y = 9, m = 9, d = 9;
  EXPECT_FALSE(DayNumberToDate(-693594, &y, &m, &d));
  EXPECT_EQ(y, 0u);
  EXPECT_EQ(m, 0u);
  EXPECT_EQ(d, 0u);
  EXPECT_FALSE(DayNumberToDate(INT32_MIN, &y, &m, &d));
  // No upper year bound here, and the largest count must not overflow.
  ASSERT_TRUE(DayNumberToDate(2958466, &y, &m, &d));
  EXPECT_EQ(y, 10000u);
  EXPECT_EQ(m, 1u);
  EXPECT_EQ(d, 1u);
  ASSERT_TRUE(DayNumberToDate(INT32_MAX, &y, &m, &d));
  EXPECT_GT(y, 5000000u);
  EXPECT_GE(m, 1u);
  EXPECT_LE(m, 12u);
  EXPECT_GE(d, 1u);
  EXPECT_LE(d, 31u);
}

TEST(ParseDate, DatesAndOffsets) {
  ExpectDate("24.12.2012", 2012, 12, 24);
  DateValue date = Untouched();
  ASSERT_TRUE(ParseDate("24.12.2012", &date));
  EXPECT_EQ(date.dayNumber, 41267);
  ExpectDate("1.1.2013 +30", 2013, 1, 31);
  ExpectDate("1.3.2012 -1", 2012, 2, 29);
  ExpectDate("1.1.2013 +5 days", 2013, 1, 6);
  ExpectDate("1.1.2013 +5\tx", 2013, 1, 6);
  ExpectDate("1.1.2013 +", 2013, 1, 1);
  ExpectDate("01.01.2013", 2013, 1, 1);
  ExpectDate("1x.1.2013", 2013, 1, 1);  // atoi reading of the day
  ExpectDate("  1. 2. 2013  ", 2013, 2, 1);
  ExpectDate("1.1.12", 12, 1, 1);
  ExpectDate("31.12.9999 +1", 10000, 1, 1);
  ExpectDate("1.1.1 -0", 1, 1, 1);
  date = Untouched();
  ASSERT_TRUE(ParseDate("1.1.2013 +30", &date));
  EXPECT_EQ(date.dayNumber, 41275 + 30);
}

TEST(ParseDate, FailuresLeaveTheValueAlone) {
  const char* bad[] = {"29.2.2011", "31.4.2012",    "1.13.2012",     "0.1.2012",
                       "1.1.10000", "1.1.2013 x",   "1.1.2013 +5d",  "1.1.1 -1",
                       "1.1",       "-1.1.2013",    "1.1.0",         "4294967297.1.2013",
                       "x",         "1.1.2013 +99999999999",         "1.1.2013 +9999999999",
                       "1.1.2013 --1", "1.1.20130"};
  for (const char* text : bad) ExpectDateRefused(text);
}

TEST(ParseDate, EmptyTextClearsValid) {
  DateValue date = Untouched();
  EXPECT_TRUE(ParseDate("", &date));
  EXPECT_FALSE(date.valid);
  date = Untouched();
  EXPECT_TRUE(ParseDate(nullptr, &date));
  EXPECT_FALSE(date.valid);
}
