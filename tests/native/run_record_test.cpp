// What the text-side actions record, and that a rehearsal changes nothing:
// registry and INI lines and definitions against the in-memory system.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "actions/ini_line.h"
#include "actions/registry.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "native/support/ini_record.h"
#include "native/support/run_log_fake.h"
#include "native/support/system_fakes.h"

namespace {

class RunRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeSystemReset();
    IniRecordClear();
    FakeLogStart();
  }
  void TearDown() override {
    FakeLogReset();
    PlanForgetChanges();
    FakeSystemReset();
  }
  static std::string AllEvents() {
    std::string all;
    for (const std::string& event : FakeLogEvents()) all += event + "\n";
    return all;
  }
};

struct Line {
  const char* text;
  int kind;  // 0 [WriteReg], 1 [DelReg], 2 [WriteIni], 3 [DelIni]
};

// One line, as the executor hands it on: each starts a new line of the plan.
void Apply(const Line& line) {
  PlanNextLine();
  char buffer[1301];
  std::strcpy(buffer, line.text);
  if (line.kind < 2) {
    ApplyRegistryLine(buffer, line.kind == 1);
  } else {
    ApplyIniLine(buffer, line.kind == 3);
  }
}

const Line kLines[] = {
    {"HKCU;K\\Sub;Name;Data", 0},
    {"HKCU;K\\Sub;Other;More", 0},
    {"HKCU;K;Old;", 1},
    {"HKCU;Missing;", 1},
    {"C:\\a.ini=S;Key;Value", 2},
    {"C:\\a.ini=S;Key;Again", 2},
    {"C:\\a.ini=S;;", 3},
};

TEST_F(RunRecordTest, RehearsalChangesNothingAndNamesEachChangeOnce) {
  SetRunRehearsal(true);
  FakeRegistrySetValue(kRootCurrentUser, "K", "Old", "1");
  const int keys = FakeRegistryKeyCount();
  for (const Line& line : kLines) Apply(line);

  EXPECT_EQ(FakeRegistryKeyCount(), keys);
  EXPECT_STREQ(FakeRegistryValue(kRootCurrentUser, "K", "Old"), "1");
  EXPECT_EQ(IniRecordCount(), 0);
  const std::string expected =
      "PLAN REG HKCU\\K\\Sub: key created\n"
      "PLAN REG HKCU\\K\\Sub value \"Name\": absent -> REG_SZ \"Data\"\n"
      "PLAN REG HKCU\\K\\Sub value \"Other\": absent -> REG_SZ \"More\"; an earlier line would "
      "change it\n"
      "PLAN REG HKCU\\K value \"Old\": REG_SZ \"1\" -> deleted\n"
      "PLAN REG HKCU\\Missing: no such key\n"
      "PLAN INI \"C:\\a.ini\" [S] Key: absent -> \"Value\"\n"
      "PLAN INI \"C:\\a.ini\" [S] Key: \"Value\" -> \"Again\"; an earlier line would change it\n"
      "PLAN INI \"C:\\a.ini\" [S]: section deleted; an earlier line would change it\n";
  EXPECT_EQ(AllEvents(), expected);
}

TEST_F(RunRecordTest, RealRunChangesAndRecordsOldAndNewValues) {
  FakeRegistrySetValue(kRootCurrentUser, "K", "Old", "1");
  for (const Line& line : kLines) Apply(line);

  EXPECT_STREQ(FakeRegistryValue(kRootCurrentUser, "K\\Sub", "Name"), "Data");
  EXPECT_EQ(FakeRegistryValue(kRootCurrentUser, "K", "Old"), nullptr);
  EXPECT_EQ(IniRecordCount(), 3);
  const std::string all = AllEvents();
  EXPECT_NE(all.find("REG HKCU\\K\\Sub: key created\n"), std::string::npos) << all;
  EXPECT_NE(all.find("REG HKCU\\K\\Sub value \"Other\": absent -> REG_SZ \"More\"\n"),
            std::string::npos);
  EXPECT_NE(all.find("REG HKCU\\K value \"Old\": REG_SZ \"1\" -> deleted\n"), std::string::npos);
  EXPECT_EQ(all.find("PLAN"), std::string::npos) << all;
}

TEST_F(RunRecordTest, NothingIsRecordedWithoutALog) {
  FakeLogReset();
  for (const Line& line : kLines) Apply(line);
  EXPECT_TRUE(FakeLogEvents().empty());
  EXPECT_EQ(IniRecordCount(), 3);
}

}  // namespace
