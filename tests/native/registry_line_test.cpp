#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "actions/registry.h"
#include "native/support/system_fakes.h"

namespace {

TEST(RegistryRootTest, FirstFourCharactersInAnyCase) {
  EXPECT_EQ(RegistryRootFromName("HKCR"), kRootClassesRoot);
  EXPECT_EQ(RegistryRootFromName("hkcr"), kRootClassesRoot);
  EXPECT_EQ(RegistryRootFromName("HKCU"), kRootCurrentUser);
  EXPECT_EQ(RegistryRootFromName("hkcuX"), kRootCurrentUser);
  EXPECT_EQ(RegistryRootFromName("HkLm"), kRootLocalMachine);
  EXPECT_EQ(RegistryRootFromName("HKCC"), kRootCurrentConfig);
  EXPECT_EQ(RegistryRootFromName("HKU"), kRootUsers);
  EXPECT_EQ(RegistryRootFromName("hku"), kRootUsers);
  EXPECT_EQ(RegistryRootFromName("HKUX"), kRootLocalMachine);
  EXPECT_EQ(RegistryRootFromName("HKU "), kRootLocalMachine);
  EXPECT_EQ(RegistryRootFromName("HK"), kRootLocalMachine);
  EXPECT_EQ(RegistryRootFromName("HKC"), kRootLocalMachine);
  EXPECT_EQ(RegistryRootFromName(""), kRootLocalMachine);
  EXPECT_EQ(RegistryRootFromName(nullptr), kRootLocalMachine);
  EXPECT_EQ(RegistryRootFromName("HKEY_CURRENT_USER"), kRootLocalMachine);
  EXPECT_EQ(RegistryRootFromName(" HKCU"), kRootLocalMachine);
}

// The fields of a line as text: "-" for an absent field, the text in
// brackets otherwise.
std::string Split(const char* line) {
  RegistryLineFields fields;
  if (!SplitRegistryLine(line, &fields)) {
    EXPECT_EQ(fields.rootName, nullptr);
    return "no line";
  }
  auto show = [](const char* field) { return field ? "[" + std::string(field) + "]" : std::string("-"); };
  std::string result = show(fields.rootName) + show(fields.subkey) + show(fields.valueName) +
                       show(fields.data);
  FreeRegistryLine(&fields);
  EXPECT_EQ(fields.rootName, nullptr);
  EXPECT_EQ(fields.data, nullptr);
  return result;
}

TEST(SplitRegistryLineTest, AbsentAndEmptyFieldsDiffer) {
  EXPECT_EQ(Split("HKCU"), "no line");
  EXPECT_EQ(Split(""), "no line");
  EXPECT_EQ(Split(nullptr), "no line");
  EXPECT_EQ(Split(";"), "[]---");
  EXPECT_EQ(Split("HKCU;Software\\A"), "[HKCU]---");
  EXPECT_EQ(Split("HKCU;Software\\A;"), "[HKCU][Software\\A]--");
  EXPECT_EQ(Split("HKCU;Software\\A;Name"), "[HKCU][Software\\A]--");
  EXPECT_EQ(Split("HKCU;Software\\A;Name;"), "[HKCU][Software\\A][Name][]");
  EXPECT_EQ(Split("HKCU;Software\\A;;Text"), "[HKCU][Software\\A][][Text]");
  EXPECT_EQ(Split("HKCU;Software\\A;Name;a;b"), "[HKCU][Software\\A][Name][a]");
  EXPECT_EQ(Split(";Software\\A;Name;x"), "[][Software\\A][Name][x]");
  EXPECT_EQ(Split("HKCU;;Name;x"), "[HKCU][][Name][x]");
  EXPECT_EQ(Split(";;;;;;"), "[][][][]");
  EXPECT_EQ(Split("R;S;N;has = and spaces "), "[R][S][N][has = and spaces ]");
}

class RegistryLineTest : public ::testing::Test {
 protected:
  void SetUp() override { FakeSystemReset(); }
  void TearDown() override { FakeSystemReset(); }
  static std::string Value(RegistryRoot root, const char* key, const char* name) {
    const char* value = FakeRegistryValue(root, key, name);
    return value ? value : "<none>";
  }
};

TEST_F(RegistryLineTest, WriteCreatesTheKeysOnTheWay) {
  ApplyRegistryLine("HKCU;Software\\A\\B;Name;Text", false);
  EXPECT_EQ(Value(kRootCurrentUser, "Software\\A\\B", "Name"), "Text");
  for (const char* key : {"Software", "Software\\A", "Software\\A\\B"}) {
    EXPECT_EQ(Value(kRootCurrentUser, key, nullptr), "") << key;
  }
  EXPECT_EQ(FakeRegistryKeyCount(), 3);
}

TEST_F(RegistryLineTest, WriteLeavesExistingKeysAsTheyAre) {
  FakeRegistrySetValue(kRootCurrentUser, "Software\\A", nullptr, "kept");
  FakeRegistryCreateKey(kRootCurrentUser, "Software\\A\\B");
  ApplyRegistryLine("HKCU;Software\\A\\B;Name;x", false);
  EXPECT_EQ(Value(kRootCurrentUser, "Software\\A", nullptr), "kept");
  // An existing key whose default was never set stays without one.
  EXPECT_EQ(FakeRegistryValueCount(kRootCurrentUser, "Software\\A\\B"), 1);
  // Nor is a default value too long to read as text replaced on the way.
  const std::string longDefault(20000, 'd');
  FakeRegistrySetValue(kRootCurrentUser, "Software\\L", nullptr, longDefault.c_str());
  ApplyRegistryLine("HKCU;Software\\L\\B;Name;x", false);
  EXPECT_EQ(Value(kRootCurrentUser, "Software\\L", nullptr), longDefault);
}

TEST_F(RegistryLineTest, WriteFieldRules) {
  ApplyRegistryLine("HKCU;Software\\A;;Text", false);
  EXPECT_EQ(Value(kRootCurrentUser, "Software\\A", nullptr), "Text");
  ApplyRegistryLine("HKCU;Software\\A;Empty;", false);
  EXPECT_EQ(Value(kRootCurrentUser, "Software\\A", "Empty"), "");
  ApplyRegistryLine("HKCU;Software\\A;Cut;a;b", false);
  EXPECT_EQ(Value(kRootCurrentUser, "Software\\A", "Cut"), "a");

  int keys = FakeRegistryKeyCount();
  ApplyRegistryLine("HKCU;Software\\B;Name", false);
  ApplyRegistryLine("HKCU;Software\\C", false);
  ApplyRegistryLine("HKCU;Software\\D;", false);
  ApplyRegistryLine("no fields at all", false);
  EXPECT_EQ(FakeRegistryKeyCount(), keys);
}

TEST_F(RegistryLineTest, WriteRoots) {
  ApplyRegistryLine(";Software\\A;Name;empty-root", false);
  ApplyRegistryLine("HKEY_CURRENT_USER;Software\\A;Long;long-name", false);
  ApplyRegistryLine("HKU;.DEFAULT\\A;Name;users", false);
  ApplyRegistryLine("hkcr;.txt;;text-class", false);
  ApplyRegistryLine("HKCC;System\\X;N;config", false);
  EXPECT_EQ(Value(kRootLocalMachine, "Software\\A", "Name"), "empty-root");
  EXPECT_EQ(Value(kRootLocalMachine, "Software\\A", "Long"), "long-name");
  EXPECT_FALSE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\A"));
  EXPECT_EQ(Value(kRootUsers, ".DEFAULT\\A", "Name"), "users");
  EXPECT_EQ(Value(kRootClassesRoot, ".txt", nullptr), "text-class");
  EXPECT_EQ(Value(kRootCurrentConfig, "System\\X", "N"), "config");
}

TEST_F(RegistryLineTest, WriteWithEmptySubkeyWritesUnderTheRoot) {
  ApplyRegistryLine("HKCU;;Name;x", false);
  EXPECT_EQ(Value(kRootCurrentUser, "", "Name"), "x");
  EXPECT_EQ(FakeRegistryKeyCount(), 0);
  // The root's own default value is not touched on the way.
  EXPECT_EQ(FakeRegistryValue(kRootCurrentUser, "", nullptr), nullptr);
}

TEST_F(RegistryLineTest, DeleteValueOrEmptyKey) {
  FakeRegistrySetValue(kRootCurrentUser, "Software\\A", "Name", "x");
  FakeRegistrySetValue(kRootCurrentUser, "Software\\A", "Other", "y");
  ApplyRegistryLine("HKCU;Software\\A;Name;", true);
  EXPECT_EQ(Value(kRootCurrentUser, "Software\\A", "Name"), "<none>");
  EXPECT_EQ(Value(kRootCurrentUser, "Software\\A", "Other"), "y");

  // "Name" without its ';' makes the key the target; it holds one value.
  ApplyRegistryLine("HKCU;Software\\A;Name", true);
  EXPECT_FALSE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\A"));
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "Software"));
}

TEST_F(RegistryLineTest, DeleteKeyOnlyWhenEmpty) {
  FakeRegistrySetValue(kRootCurrentUser, "Software\\A", nullptr, "");
  FakeRegistrySetValue(kRootCurrentUser, "Software\\A", "One", "1");
  ApplyRegistryLine("HKCU;Software\\A;", true);
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\A"));  // two values

  FakeRegistryCreateKey(kRootCurrentUser, "Software\\B\\Sub");
  ApplyRegistryLine("HKCU;Software\\B;;", true);
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\B"));  // has a subkey

  ApplyRegistryLine("HKCU;Software\\B\\Sub;", true);
  EXPECT_FALSE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\B\\Sub"));
  ApplyRegistryLine("HKCU;Software\\B;", true);
  EXPECT_FALSE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\B"));
}

TEST_F(RegistryLineTest, DeleteNeedsASubkey) {
  FakeRegistrySetValue(kRootCurrentUser, "", "Name", "x");
  ApplyRegistryLine("HKCU;;Name;", true);
  ApplyRegistryLine("HKCU", true);
  ApplyRegistryLine("HKCU;Software", true);  // no second ';': no subkey
  EXPECT_EQ(Value(kRootCurrentUser, "", "Name"), "x");
}

TEST_F(RegistryLineTest, WrittenKeysCanBeDeletedAgain) {
  ApplyRegistryLine("HKCU;Software\\SetupTests\\K;Name;x", false);
  ApplyRegistryLine("HKCU;Software\\SetupTests\\K;Name;", true);
  ApplyRegistryLine("HKCU;Software\\SetupTests\\K;", true);
  ApplyRegistryLine("HKCU;Software\\SetupTests;", true);
  EXPECT_FALSE(FakeRegistryKeyExists(kRootCurrentUser, "Software\\SetupTests"));
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "Software"));
}

TEST_F(RegistryLineTest, ReadStringRemovesOnePairOfQuotes) {
  FakeRegistrySetValue(kRootLocalMachine, "K", "Quoted", "\"D:\\Prog Files\\x.exe\"");
  FakeRegistrySetValue(kRootLocalMachine, "K", "Pair", "\"\"");
  FakeRegistrySetValue(kRootLocalMachine, "K", "Inner", "\"a\"b\"");
  FakeRegistrySetValue(kRootLocalMachine, "K", "One", "\"");
  struct Case {
    const char* name;
    const char* expected;
  } cases[] = {{"Quoted", "D:\\Prog Files\\x.exe"}, {"Pair", ""}, {"Inner", "a\"b"},
               {"One", "\""},                       {"Missing", nullptr}};
  for (const Case& c : cases) {
    char* text = RegistryReadString("K", c.name, kRootLocalMachine);
    if (c.expected) {
      ASSERT_NE(text, nullptr) << c.name;
      EXPECT_STREQ(text, c.expected);
    } else {
      EXPECT_EQ(text, nullptr) << c.name;
    }
    std::free(text);
  }
}

TEST_F(RegistryLineTest, CreateKeyPathWalksEveryBackslash) {
  char path[] = "A\\B\\C";
  RegistryCreateKeyPath(kRootCurrentUser, path);
  EXPECT_STREQ(path, "A\\B\\C");  // the path is given back unchanged
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "A"));
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "A\\B"));
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "A\\B\\C"));
  char trailing[] = "X\\Y\\";
  RegistryCreateKeyPath(kRootCurrentUser, trailing);
  EXPECT_TRUE(FakeRegistryKeyExists(kRootCurrentUser, "X\\Y"));
  EXPECT_EQ(FakeRegistryKeyCount(), 5);
  EXPECT_FALSE(RegistryCreateKeyPath(kRootCurrentUser, nullptr));
}

}  // namespace
