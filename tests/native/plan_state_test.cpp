// The rehearsal's state between lines, and the texts its events and the
// log are made of: registry values by type, the search's name comparison,
// Windows' rules for names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "actions/file_lines.h"
#include "log/plan_changes.h"
#include "log/value_text.h"

namespace {

std::string Describe(unsigned long type, const std::string& bytes, size_t capacity = 200) {
  std::vector<char> text(capacity, 'x');
  DescribeRegistryValue(type, reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<unsigned long>(bytes.size()), text.data(), capacity);
  EXPECT_LT(std::strlen(text.data()), capacity);
  return text.data();
}

TEST(RegistryValueText, EachTypeAsItReads) {
  struct Case {
    unsigned long type;
    std::string bytes;
    const char* text;
  } cases[] = {
      {1, std::string("text\0", 5), "REG_SZ \"text\""},
      {1, "no terminator", "REG_SZ \"no terminator\""},
      {2, std::string("%x%\0", 4), "REG_EXPAND_SZ \"%x%\""},
      {7, std::string("a\0b\0\0", 5), "REG_MULTI_SZ \"a\" \"b\""},
      {7, std::string("\0", 1), "REG_MULTI_SZ"},
      {7, "unended", "REG_MULTI_SZ \"unended\""},
      {4, std::string("\xd2\x04\0\0", 4), "REG_DWORD 1234 (0x000004d2)"},
      {4, std::string("\0\0\0\0", 4), "REG_DWORD 0 (0x00000000)"},
      {4, std::string("\xff\xff\xff\xff", 4), "REG_DWORD 4294967295 (0xffffffff)"},
      {4, std::string("\x01\x02", 2), "type 4 01 02"},  // a DWORD of the wrong size
      {3, std::string("ABC\0", 4), "REG_BINARY 41 42 43 00"},
      {3, "", "REG_BINARY"},
      {11, std::string("\x05\0\0\0\0\0\0\0", 8), "type 11 05 00 00 00 00 00 00 00"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, Describe(c.type, c.bytes)) << c.text;
  // A value too long for its room ends in "...", never past it.
  EXPECT_EQ("REG_SZ \"abcdefgh...", Describe(1, "abcdefghijklmnop", 20));
  EXPECT_EQ("REG_BINARY 00 00...", Describe(3, std::string(40, '\0'), 20));
}

TEST(PlanNameMatches, AsTheSystemsSearchCompares) {
  struct Case {
    const char* mask;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.tmp", "a.tmp", true},     {"*.tmp", "A.TMP", true},    {"*.tmp", "a.tmpx", false},
      {"*.*", "noext", true},       {"*", "anything", true},     {"a?.txt", "ab.txt", true},
      {"a?.txt", "a.txt", false},   {"n1*.txt", "n1a.txt", true}, {"n1*.txt", "n10a.dat", false},
      {"w_*.dll", "w_old.dll", true}, {"*_old*.dll", "w_old.dll", true}, {"ab*c", "abxbc", true},
      {"*.", "noext", true},        {"exact.txt", "exact.txt", true}, {"exact.txt", "exact.tx", false},
      {"*abc", "abxc", false},      {"*abc", "abxabc", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.matches, PlanNameMatches(c.mask, c.name)) << c.mask << " " << c.name;
  }
}

TEST(IsValidFileName, WindowsRefusesTheseNames) {
  struct Case {
    const char* name;
    bool valid;
  } cases[] = {
      {"data", true},    {"bad<name", false}, {"a>b", false},   {"a:b", false},  {"a\"b", false},
      {"a|b", false},    {"a?b", false},      {"a*b", false},   {"a/b", false},  {"a\\b", false},
      {"tab\there", false}, {"con", false},   {"CON.txt", false}, {"nul ", false}, {"com1", false},
      {"LPT9.log", false}, {"com0", true},    {"console", true}, {"auxiliary", true}, {"trail.", true},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.valid, IsValidFileName(c.name, std::strlen(c.name))) << c.name;
  }
}

class PlanStateTest : public ::testing::Test {
 protected:
  void TearDown() override { PlanForgetChanges(); }
};

// Only what an earlier line set makes a prediction depend on it; a line's
// own changes do not.
TEST_F(PlanStateTest, AnEventDependsOnWhatEarlierLinesSet) {
  PlanNextLine();
  PlanSetFile("C:\\inst\\a.txt", "D:\\pkg\\a.txt", false);
  PlanBeginEvent();
  PlanItem item = PlanGetItem("c:\\INST\\a.txt");
  EXPECT_EQ(kPlanPresent, item.state);
  EXPECT_STREQ("D:\\pkg\\a.txt", item.text);
  EXPECT_FALSE(PlanEventDepends());
  EXPECT_STREQ("", PlanRemark());

  PlanNextLine();
  PlanBeginEvent();
  EXPECT_EQ(kPlanUnknown, PlanGetItem("C:\\inst\\b.txt").state);
  EXPECT_FALSE(PlanEventDepends());
  PlanGetItem("C:\\inst\\a.txt");
  EXPECT_TRUE(PlanEventDepends());
  EXPECT_STREQ("; an earlier line would change it", PlanRemark());

  // Set again, the item belongs to the line in hand.
  PlanSetState("C:\\inst\\a.txt", kPlanAbsent);
  PlanBeginEvent();
  EXPECT_EQ(kPlanAbsent, PlanGetItem("C:\\inst\\a.txt").state);
  EXPECT_FALSE(PlanEventDepends());
  PlanForgetChanges();
  EXPECT_EQ(kPlanUnknown, PlanGetItem("C:\\inst\\a.txt").state);
}

void Collect(const char* name, const PlanItem&, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(name);
}

TEST_F(PlanStateTest, ChildrenAreTheItemsDirectlyBelow) {
  const char* names[] = {"HKCU\\K", "HKCU\\K\\Sub", "HKCU\\K\\Sub\\Deeper", "HKCU\\K\nValue",
                         "HKCU\\K\\Sub\nOther", "HKCU\\Key2"};
  for (const char* name : names) PlanSetState(name, kPlanPresent);
  std::vector<std::string> keys, values;
  PlanForEachChild("HKCU\\K", '\\', Collect, &keys);
  PlanForEachChild("hkcu\\k", '\n', Collect, &values);
  EXPECT_EQ((std::vector<std::string>{"HKCU\\K\\Sub"}), keys);
  EXPECT_EQ((std::vector<std::string>{"HKCU\\K\nValue"}), values);
  char name[64];
  EXPECT_STREQ("INI\nC:\\a.ini\nS\nK", PlanIniName("C:\\a.ini", "S", "K", name, sizeof name));
  EXPECT_STREQ("INI\nC:\\a.ini\nS", PlanIniName("C:\\a.ini", "S", nullptr, name, sizeof name));
}

}  // namespace
