// The run's log file on the real system: created anew, one UTF-8 line per
// event with its time stamp, line breaks inside fields escaped, an event
// too long for a line cut and marked, a log that cannot be made reported.
#include <gtest/gtest.h>

#include <string>

#include "log/run_log.h"
#include "unit/unit_support.h"

namespace {

// "2026-12-07 14:36:46.123 " as the first 24 characters of a line.
bool HasTimeStamp(const std::string& line) {
  if (line.size() < 24) return false;
  const char* form = "dddd-dd-dd dd:dd:dd.ddd ";
  for (int i = 0; i < 24; ++i) {
    bool digit = line[i] >= '0' && line[i] <= '9';
    if (form[i] == 'd' ? !digit : line[i] != form[i]) return false;
  }
  return true;
}

TEST(RunLogTest, EventsAreUtf8LinesWithTimeStampsAndEscapedBreaks) {
  unit::TempDir dir;
  const std::string path = dir.File("run.log");
  // An earlier log of Setup (a START line first) is replaced.
  dir.Write("run.log", "2026-12-07 14:36:46.123 START Setup 1.0.0.16; an older log that must go\r\n");
  unsigned long code = 0;
  ASSERT_TRUE(OpenRunLog(path.c_str(), &code));
  ASSERT_TRUE(RunLogActive());
  // Windows-1250: "Přílišžluťoučký" in the ANSI code page of the run.
  LogEvent("BOX", "\"%s\" line\nbreak\tand tab", "P\xf8\xedli\x9a\x9elu\x9do\xe8k\xfd");
  LogEvent("END", "%s", std::string(20000, 'x').c_str());
  CloseRunLog();
  EXPECT_FALSE(RunLogActive());
  LogEvent("LOST", "after the end");

  const std::string text = unit::ReadFileBytes(path);
  const size_t firstEnd = text.find("\r\n");
  ASSERT_NE(firstEnd, std::string::npos) << text;
  const std::string first = text.substr(0, firstEnd);
  EXPECT_TRUE(HasTimeStamp(first)) << first;
  EXPECT_EQ(first.substr(24), "BOX \"P\xc5\x99\xc3\xadli\xc5\xa1\xc5\xbe" "lu\xc5\xa5o\xc4\x8d"
                              "k\xc3\xbd\" line\\nbreak\\tand tab");
  const std::string second = text.substr(firstEnd + 2);
  ASSERT_GE(second.size(), 30u);
  EXPECT_TRUE(HasTimeStamp(second));
  EXPECT_EQ(second.compare(24, 4, "END "), 0);
  EXPECT_EQ(second.substr(second.size() - 5), "...\r\n");  // cut, marked, still one line
  EXPECT_EQ(second.find('\n'), second.size() - 1);
  EXPECT_EQ(text.find("older"), std::string::npos);
  EXPECT_EQ(text.find("LOST"), std::string::npos);
}

TEST(RunLogTest, LogInAMissingDirectoryIsReportedWithTheSystemCode) {
  unit::TempDir dir;
  unsigned long code = 0;
  EXPECT_FALSE(OpenRunLog(dir.File("missing\\run.log").c_str(), &code));
  EXPECT_EQ(code, static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(RunLogActive());
}

}  // namespace
