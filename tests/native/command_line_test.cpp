#include "config/command_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const int kValueSize = 261;

// Runs FindSwitchIn on a copy of `commandLine` and checks it is left alone.
bool Find(const std::string& commandLine, const char* name, std::string* value = nullptr,
          int capacity = kValueSize) {
  char line[2048];
  std::strcpy(line, commandLine.c_str());
  char buffer[2048];
  std::memset(buffer, 'Z', sizeof buffer);
  bool found = FindSwitchIn(line, name, value ? buffer : nullptr, value ? capacity : -1);
  EXPECT_EQ(std::string(line), commandLine) << "command line changed";
  if (value) {
    size_t length = strnlen(buffer, sizeof buffer);
    if (capacity > 0) {
      EXPECT_LT(length, static_cast<size_t>(capacity)) << "value not terminated in capacity";
    }
    for (int i = capacity; i < static_cast<int>(sizeof buffer); ++i) {
      if (buffer[i] != 'Z') {
        ADD_FAILURE() << "written past capacity at " << i;
        break;
      }
    }
    *value = capacity > 0 ? std::string(buffer, length) : std::string();
  }
  return found;
}

}  // namespace

TEST(FindSwitch, FindsSwitchesAndValuesIgnoringCase) {
  std::string exe, ini;
  const std::string line = "/EXE D:\\Apps /INI D:\\Data\\Quillon.ini";
  EXPECT_TRUE(Find(line, "/exe", &exe));
  EXPECT_EQ(exe, "D:\\Apps");
  EXPECT_TRUE(Find(line, "/ini", &ini));
  EXPECT_EQ(ini, "D:\\Data\\Quillon.ini");
  EXPECT_TRUE(Find(line, "/Exe"));
  EXPECT_FALSE(Find(line, "/silent"));
  EXPECT_FALSE(Find(line, "/ex"));
}

TEST(FindSwitch, QuotedValueKeepsBlanks) {
  std::string value;
  EXPECT_TRUE(Find("/exe \"C:\\Program Files\\Quillon\" /silent", "/exe", &value));
  EXPECT_EQ(value, "C:\\Program Files\\Quillon");
  // A quoted value is one token: its pieces are not switches.
  EXPECT_FALSE(Find("/exe \"C:\\x /silent\"", "/silent"));
  EXPECT_TRUE(Find("/exe \"C:\\Program Files\\Quillon\" /silent", "/silent"));
  // Unterminated quote: the value runs to the end.
  EXPECT_TRUE(Find("/ini \"C:\\a b", "/ini", &value));
  EXPECT_EQ(value, "C:\\a b");
}

TEST(FindSwitch, SwitchAtTheEndHasEmptyValue) {
  std::string value = "old";
  EXPECT_TRUE(Find("/silent /exe", "/exe", &value));
  EXPECT_EQ(value, "");
  value = "old";
  EXPECT_TRUE(Find("/exe   ", "/exe", &value));
  EXPECT_EQ(value, "");
}

TEST(FindSwitch, SwitchFollowedBySwitchTakesItAsValue) {
  std::string value;
  EXPECT_TRUE(Find("/exe /ini C:\\q.ini", "/exe", &value));
  EXPECT_EQ(value, "/ini");
  EXPECT_TRUE(Find("/exe /ini C:\\q.ini", "/ini", &value));
  EXPECT_EQ(value, "C:\\q.ini");
  // Every token is a candidate, also the value of another switch.
  EXPECT_TRUE(Find("/exe /silent", "/silent"));
  // Only the first equal token counts.
  EXPECT_TRUE(Find("/exe first /exe second", "/exe", &value));
  EXPECT_EQ(value, "first");
}

TEST(FindSwitch, QuotedSwitchNameCounts) {
  EXPECT_TRUE(Find("\"/silent\"", "/silent"));
  EXPECT_TRUE(Find("setup.exe \"/silent\" /hidewin", "/silent"));
  EXPECT_TRUE(Find("setup.exe \"/silent\" /hidewin", "/hidewin"));
  std::string value;
  EXPECT_TRUE(Find("\"C:\\Pkg dir\\setup.exe\" \"/exe\" \"D:\\My App\"", "/exe", &value));
  EXPECT_EQ(value, "D:\\My App");
  // The quoted program path is one token.
  EXPECT_FALSE(Find("\"C:\\Pkg dir\\setup.exe\"", "dir\\setup.exe"));
}

TEST(FindSwitch, OnlyBlanksSeparateTokens) {
  EXPECT_FALSE(Find("/exe\tC:\\x", "/exe"));
  EXPECT_TRUE(Find("/exe\tC:\\x", "/exe\tC:\\x"));
  std::string value;
  EXPECT_TRUE(Find("   /exe    C:\\x", "/exe", &value));
  EXPECT_EQ(value, "C:\\x");
}

TEST(FindSwitch, ValueCutAtCapacityIsNotFound) {
  std::string exact(260, 'a'), longer(261, 'b'), value;
  EXPECT_TRUE(Find("/exe " + exact + " /x", "/exe", &value));
  EXPECT_EQ(value, exact);
  EXPECT_FALSE(Find("/exe " + longer, "/exe", &value));
  EXPECT_EQ(value, std::string(260, 'b'));
  EXPECT_FALSE(Find("/exe \"" + longer + "\"", "/exe", &value));
  EXPECT_EQ(value, std::string(260, 'b'));
  // Tiny capacities.
  EXPECT_TRUE(Find("/exe", "/exe", &value, 1));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(Find("/exe a", "/exe", &value, 1));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(Find("/exe ab", "/exe", &value, 2));
  EXPECT_EQ(value, "a");
  EXPECT_FALSE(Find("/exe a", "/exe", &value, 0));
}

TEST(FindSwitch, MissingInputsAreNotFound) {
  char value[8];
  EXPECT_FALSE(FindSwitchIn(nullptr, "/exe", value, sizeof value));
  EXPECT_FALSE(FindSwitchIn("/exe", nullptr, value, sizeof value));
  EXPECT_FALSE(Find("", "/exe"));
  EXPECT_FALSE(Find("\"", "/exe"));
  EXPECT_FALSE(Find("\"\"", "/exe"));
}

// What the program's entry hands to WinMain: the process's command line
// without the program's name.
TEST(CommandTail, SkipsTheProgramsNameQuotedOrNot) {
  const struct {
    const char* line;
    const char* tail;
  } cases[] = {
      {"\"C:\\Program Files\\Setup.exe\" /silent", "/silent"},
      {"Setup.exe", ""},
      {"Setup.exe  \t /exe \"D:\\a b\" ", "/exe \"D:\\a b\" "},
      // Letters above 0x7F belong to the name (Windows-1250 "Účty").
      {"C:\\\xDA\xE8ty\\Setup.exe /silent", "/silent"},
      {"\"C:\\\xDA\xE8ty\\Setup.exe\" /plan", "/plan"},
      {"\"C:\\Setup.exe\"/plan", ""},  // one word, as Windows splits it
      // A quote inside the name quotes on until the next one.
      {"C:\\a\"b c\"\\Setup.exe /x", "/x"},
      {"\"C:\\no end /silent", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(CommandTail(c.line), c.tail) << c.line;
  }
  EXPECT_EQ(CommandTail(nullptr), nullptr);
}
