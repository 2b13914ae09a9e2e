// What a run notes about its changes beyond the log: the names a rehearsal
// remembers as changed by earlier lines, and the undo records a [DelReg]
// line asks for before it deletes anything.
#include <gtest/gtest.h>

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

class DelRegRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeSystemReset();
    FakeRegistrySetValue(kRootCurrentUser, "Software\\X", "N", "v");
    FakeRegistrySetValue(kRootCurrentUser, "Software\\X", "Other", "w");
    FakeRegistrySetValue(kRootCurrentUser, "Software\\Y", "Only", "1");
    FakeRegistrySetValue(kRootCurrentUser, "Software\\Z\\Sub", "A", "1");
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

}  // namespace
