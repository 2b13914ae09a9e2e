// What a run notes about its changes beyond the log: the names a rehearsal
// remembers as changed by earlier lines, and the undo records a [DelReg]
// line asks for before it deletes anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "actions/ini_line.h"
#include "actions/registry.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "native/support/journal_fake.h"
#include "native/support/run_log_fake.h"
#include "native/support/system_fakes.h"

namespace {

std::string FileName(int i) { return "C:\\Quillon\\soubor" + std::to_string(i) + ".txt"; }

TEST(PlanChanges, KeepsEveryNotedNameBeyondItsFirstSixtyFour) {
  PlanForgetChanges();
  PlanItem item = {kPlanPresent, "x", 0, nullptr, 0, false};
  EXPECT_FALSE(PlanSetItem(nullptr, item));
  EXPECT_FALSE(PlanSetItem("", item));
  EXPECT_EQ(kPlanUnknown, PlanGetItem("").state);
  // A value without bytes (an empty REG_BINARY, or no data at all) is noted.
  const unsigned char bytes[] = {7};
  const PlanItem noBytes[] = {{kPlanPresent, "", 3, bytes, 0, false},
                              {kPlanPresent, "", 3, nullptr, 1, false}};
  for (const PlanItem& value : noBytes) {
    EXPECT_TRUE(PlanSetItem("HKCU\\K\nV", value));
    EXPECT_EQ(kPlanPresent, PlanGetItem("HKCU\\K\nV").state);
    PlanForgetChanges();
  }
  for (int i = 0; i < 200; ++i) PlanSetState(FileName(i).c_str(), kPlanAbsent);
  PlanSetState(FileName(7).c_str(), kPlanAbsent);  // a second note of a name adds none
  PlanNextLine();
  for (int i = 0; i < 200; ++i) EXPECT_EQ(kPlanAbsent, PlanGetItem(FileName(i).c_str()).state) << i;
  EXPECT_EQ(kPlanAbsent, PlanGetItem("c:\\QUILLON\\SOUBOR199.TXT").state);
  PlanBeginEvent();
  EXPECT_EQ(kPlanUnknown, PlanGetItem(FileName(200).c_str()).state);
  EXPECT_STREQ("", PlanRemark());
  PlanGetItem(FileName(150).c_str());
  EXPECT_STREQ("; an earlier line would change it", PlanRemark());
  PlanForgetChanges();
  EXPECT_EQ(kPlanUnknown, PlanGetItem(FileName(0).c_str()).state);
  EXPECT_EQ(kPlanUnknown, PlanGetItem(FileName(199).c_str()).state);
}

TEST(PlanChanges, EntryOfASectionAnEarlierLineDeletesIsAbsent) {
  FakeSystemReset();
  FakeLogStart();
  SetRunRehearsal(true);
  char deleteSection[] = "C:\\a.ini=S;;";
  PlanNextLine();
  ApplyIniLine(deleteSection, true);
  char writeEntry[] = "C:\\a.ini=S;K;V";
  PlanNextLine();
  ApplyIniLine(writeEntry, false);
  SetRunRehearsal(false);
  ASSERT_EQ(2u, FakeLogEvents().size());
  EXPECT_EQ("PLAN INI \"C:\\a.ini\" [S] K: absent -> \"V\"; an earlier line would change it",
            FakeLogEvents()[1]);
  FakeLogReset();
  PlanForgetChanges();
}

TEST(PlanChanges, IniEventShowsFieldsOfFullLengthWhole) {
  FakeSystemReset();
  FakeLogStart();
  SetRunRehearsal(true);
  const std::string key(263, 'k'), oldValue(263, 'o'), newValue(263, 'n');
  for (const std::string& value : {oldValue, newValue}) {
    std::string text = "C:\\a.ini=S;" + key + ";" + value;
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    PlanNextLine();
    ApplyIniLine(line.data(), false);
  }
  SetRunRehearsal(false);
  ASSERT_EQ(2u, FakeLogEvents().size());
  EXPECT_EQ("PLAN INI \"C:\\a.ini\" [S] " + key + ": \"" + oldValue + "\" -> \"" + newValue +
                "\"; an earlier line would change it",
            FakeLogEvents()[1]);
  FakeLogReset();
  PlanForgetChanges();
}

class DelRegRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { Seed(); }
  static void Seed() {
    FakeSystemReset();
    FakeRegistrySetValue(kRootCurrentUser, "Software\\X", "N", "v");
    FakeRegistrySetValue(kRootCurrentUser, "Software\\X", "Other", "w");
    FakeRegistrySetValue(kRootCurrentUser, "Software\\Y", "Only", "1");
    FakeRegistrySetValue(kRootCurrentUser, "Software\\Z\\Sub", "A", "1");
    FakeRegistrySetValue(kRootCurrentUser, "Software\\W", "Long", std::string(1390, 'w').c_str());
  }
  void TearDown() override {
    FakeJournalStop();
    FakeSystemReset();
  }
  void DeleteAll() {
    ApplyRegistryLine("HKCU;Software\\X;N;", true);  // a name of one letter
    ApplyRegistryLine("HKCU;Software\\Y;", true);
    ApplyRegistryLine("HKCU;Software\\Z;", true);  // has a subkey: stays, needs no record
    ApplyRegistryLine("HKCU;;", true);             // a root is never deleted
  }
};

TEST_F(DelRegRecordTest, RecordsTheValueAndTheKeyBeforeDeletingThem) {
  FakeJournalStart(false);
  DeleteAll();
  EXPECT_EQ(FakeJournalRecords(),
            (std::vector<std::string>{"value HKCU\\Software\\X N", "key deletion HKCU\\Software\\Y"}));
  EXPECT_EQ(nullptr, FakeRegistryValue(kRootCurrentUser, "Software\\X", "N"));
  EXPECT_STREQ("w", FakeRegistryValue(kRootCurrentUser, "Software\\X", "Other"));
  EXPECT_FALSE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\Y"));
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\Z\\Sub"));
}

TEST_F(DelRegRecordTest, DeletesNothingTheJournalCannotRecord) {
  FakeJournalStart(true);
  DeleteAll();
  EXPECT_EQ(2u, FakeJournalRecords().size());
  EXPECT_STREQ("v", FakeRegistryValue(kRootCurrentUser, "Software\\X", "N"));
  EXPECT_STREQ("1", FakeRegistryValue(kRootCurrentUser, "Software\\Y", "Only"));
}

TEST_F(DelRegRecordTest, WriteRegRecordsTheKeysItMakesAndTheValue) {
  FakeJournalStart(false);
  ApplyRegistryLine("HKCU;Software\\X\\New\\Deep;N;data", false);
  EXPECT_EQ(FakeJournalRecords(),
            (std::vector<std::string>{"key HKCU\\Software\\X\\New", "key HKCU\\Software\\X\\New\\Deep",
                                      "value HKCU\\Software\\X\\New\\Deep N"}));
  EXPECT_STREQ("data", FakeRegistryValue(kRootCurrentUser, "Software\\X\\New\\Deep", "N"));
}

TEST_F(DelRegRecordTest, RehearsalPlansADeletionOfWhatAnEarlierLineWrites) {
  FakeLogStart();
  SetRunRehearsal(true);
  PlanNextLine();
  ApplyRegistryLine("HKCU;Software\\X;N;new", false);
  PlanNextLine();
  ApplyRegistryLine("HKCU;Software\\X;N;", true);
  SetRunRehearsal(false);
  ASSERT_EQ(2u, FakeLogEvents().size());
  EXPECT_EQ("PLAN REG HKCU\\Software\\X value \"N\": REG_SZ \"new\" -> deleted; an earlier line "
            "would change it",
            FakeLogEvents()[1]);
  EXPECT_STREQ("v", FakeRegistryValue(kRootCurrentUser, "Software\\X", "N"));
  FakeLogReset();
  PlanForgetChanges();
}

// The last line's event in a rehearsal after an earlier line, if any; the
// changes of HKCU\Software\X are refused when refuseX is set.
TEST_F(DelRegRecordTest, RehearsalCountsWhatEarlierLinesLeaveInAKey) {
  struct Row {
    const char* earlier;
    bool earlierDeletes;
    const char* line;
    bool deletes;
    bool refuseX;
    std::string event;
  } rows[] = {
      {"HKCU;Software\\Y;Only;2", false, "HKCU;Software\\Y;", true, false,
       "PLAN REG HKCU\\Software\\Y: key deleted"},
      {"HKCU;Software\\X;N;", true, "HKCU;Software\\X;", true, false,
       "PLAN REG HKCU\\Software\\X: key deleted"},
      {"HKCU;Software\\Y;New;n", false, "HKCU;Software\\Y;", true, false,
       "PLAN REG HKCU\\Software\\Y: key kept: it holds subkeys or more than one value"},
      {nullptr, false, "HKCU;Software\\X;N;new", false, true,
       "PLAN REG HKCU\\Software\\X value \"N\": REG_SZ \"v\" -> REG_SZ \"new\": would fail: error 5"},
      {nullptr, false, "HKCU;Software\\X;N;", true, true,
       "PLAN REG HKCU\\Software\\X value \"N\": REG_SZ \"v\" -> deleted: would fail: error 5"},
      {nullptr, false, "HKCU;Software\\W;Long;", true, false, " -> deleted"},  // ends whole
  };
  for (const Row& row : rows) {
    Seed();
    if (row.refuseX) FakeRegistryRefuseChanges(kRootCurrentUser, "Software\\X");
    FakeLogStart();
    SetRunRehearsal(true);
    if (row.earlier) {
      PlanNextLine();
      ApplyRegistryLine(row.earlier, row.earlierDeletes);
    }
    PlanNextLine();
    ApplyRegistryLine(row.line, row.deletes);
    SetRunRehearsal(false);
    ASSERT_FALSE(FakeLogEvents().empty());
    const std::string& event = FakeLogEvents().back();
    if (row.event[0] == ' ') {
      EXPECT_EQ(event.substr(event.size() - std::min(event.size(), row.event.size())), row.event);
    } else {
      EXPECT_EQ(event.substr(0, event.find(';')), row.event) << row.line;
    }
    FakeLogReset();
    PlanForgetChanges();
  }
}

TEST_F(DelRegRecordTest, WriteRegThatTheJournalCannotRecordFails) {
  FakeJournalStart(true);
  FakeLogStart();
  ApplyRegistryLine("HKCU;Software\\X;N;new", false);
  ASSERT_EQ(1u, FakeLogEvents().size());
  EXPECT_NE(std::string::npos, FakeLogEvents()[0].find(": failed: ")) << FakeLogEvents()[0];
  EXPECT_STREQ("v", FakeRegistryValue(kRootCurrentUser, "Software\\X", "N"));
  FakeLogReset();
}

}  // namespace
