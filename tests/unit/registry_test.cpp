// Registry operations and [WriteReg]/[DelReg] lines against the real registry.
// Every test works below its own key HKCU\Software\SetupTests\<test> and
// removes it again.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "actions/registry.h"
#include "unit/unit_support.h"

namespace {

const char kTestsKey[] = "Software\\SetupTests";

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Raw value: type and bytes; false when missing.
bool RawValue(HKEY root, const std::string& path, const char* name, DWORD* type,
              std::string* data) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
  if (result == ERROR_SUCCESS) {
    data->assign(size, '\0');
    result = RegQueryValueExA(key, name, nullptr, type,
                              reinterpret_cast<BYTE*>(size ? &(*data)[0] : nullptr), &size);
    data->resize(size);
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// A string value as stored, "<none>" when missing; the stored NUL is dropped.
std::string StoredText(HKEY root, const std::string& path, const char* name) {
  DWORD type = 0;
  std::string data;
  if (!RawValue(root, path, name, &type, &data)) return "<none>";
  if (!data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

DWORD ValueCount(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 999;
  DWORD values = 999;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return values;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = std::string(kTestsKey) + "\\" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    unit::DeleteRegistryTree(HKEY_CURRENT_USER, base_);
  }

  void TearDown() override {
    unit::DeleteRegistryTree(HKEY_CURRENT_USER, base_);
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestsKey);  // only goes when no test key is left
  }

  // Makes base_\sub (or base_) and sets the named values (nullptr ends).
  void MakeKey(const std::string& sub, const char* name = nullptr, const char* value = nullptr,
               const char* name2 = nullptr, const char* value2 = nullptr) {
    std::string path = sub.empty() ? base_ : base_ + "\\" + sub;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    if (name) SetRaw(key, name, REG_SZ, value, std::strlen(value) + 1);
    if (name2) SetRaw(key, name2, REG_SZ, value2, std::strlen(value2) + 1);
    RegCloseKey(key);
  }

  static void SetRaw(HKEY key, const char* name, DWORD type, const char* data, size_t size) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type,
                                            reinterpret_cast<const BYTE*>(data),
                                            static_cast<DWORD>(size)));
  }

  void SetRawValue(const char* name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    SetRaw(key, name, type, data.data(), data.size());
    RegCloseKey(key);
  }

  std::string Read(const std::string& path, const char* name,
                   RegistryRoot root = kRootCurrentUser) {
    char* text = RegistryReadString(path.c_str(), name, root);
    if (!text) return "<none>";
    std::string result = text;
    std::free(text);
    return result;
  }

  std::string Sub(const char* sub) const { return base_ + "\\" + sub; }

  std::string base_;
};

// ---- RegistryReadString ----

TEST_F(RegistryTest, ReadsNamedAndDefaultValues) {
  MakeKey("", "Name", "Text");
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, KEY_WRITE, &key));
  SetRaw(key, "", REG_SZ, "Default", 8);
  RegCloseKey(key);
  MakeKey("NoDefault");

  EXPECT_EQ("Text", Read(base_, "Name"));
  EXPECT_EQ("Default", Read(base_, ""));
  EXPECT_EQ("Default", Read(base_, nullptr));
  EXPECT_EQ("", Read(Sub("NoDefault"), "")) << "an unset default value of an existing key is empty";
  EXPECT_EQ("<none>", Read(base_, "Missing"));
  EXPECT_EQ("<none>", Read(Sub("Missing"), "Name"));
  EXPECT_EQ("<none>", Read(Sub("Missing"), ""));
  EXPECT_EQ("<none>", Read(base_, "Name", kRootLocalMachine)) << "the root is honoured";
}

TEST_F(RegistryTest, ReadRemovesOnePairOfQuotes) {
  MakeKey("", "Quoted", "\"D:\\Prog Files\\x.exe\"", "Twice", "\"\"in\"\"");
  SetRawValue("Pair", REG_SZ, std::string("\"\"", 3));
  SetRawValue("One", REG_SZ, std::string("\"", 2));
  SetRawValue("Open", REG_SZ, std::string("\"abc", 5));
  SetRawValue("Inner", REG_SZ, std::string("a\"b\"c", 6));
  EXPECT_EQ("D:\\Prog Files\\x.exe", Read(base_, "Quoted"));
  EXPECT_EQ("\"in\"", Read(base_, "Twice"));
  EXPECT_EQ("", Read(base_, "Pair"));
  EXPECT_EQ("\"", Read(base_, "One"));
  EXPECT_EQ("\"abc", Read(base_, "Open"));
  EXPECT_EQ("a\"b\"c", Read(base_, "Inner"));
}

TEST_F(RegistryTest, ReadTakesAtMost10250Bytes) {
  // 10250 bytes of data fit, whether or not the last of them is a NUL.
  SetRawValue("FitsWithNul", REG_SZ, std::string(10249, 'a') + '\0');
  SetRawValue("FitsNoNul", REG_BINARY, std::string(10250, 'b'));
  SetRawValue("TooLong", REG_SZ, std::string(10250, 'c') + '\0');
  SetRawValue("NoNul", REG_SZ, "short");
  EXPECT_EQ(std::string(10249, 'a'), Read(base_, "FitsWithNul"));
  EXPECT_EQ(std::string(10250, 'b'), Read(base_, "FitsNoNul"));
  EXPECT_EQ("<none>", Read(base_, "TooLong"));
  EXPECT_EQ("short", Read(base_, "NoNul")) << "terminated after the reported bytes";

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, KEY_WRITE, &key));
  std::string big(10300, 'd');
  SetRaw(key, "", REG_SZ, big.c_str(), big.size() + 1);
  RegCloseKey(key);
  EXPECT_EQ("<none>", Read(base_, "")) << "a default value that is too long";
}

// ---- RegistryWriteString ----

TEST_F(RegistryTest, WriteNamedValueNeedsTheKey) {
  EXPECT_FALSE(RegistryWriteString(Sub("Missing").c_str(), "Name", "x", kRootCurrentUser));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Sub("Missing")));

  MakeKey("");
  EXPECT_TRUE(RegistryWriteString(base_.c_str(), "Name", "Z\xE1pis", kRootCurrentUser));
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(RawValue(HKEY_CURRENT_USER, base_, "Name", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(std::string("Z\xE1pis", 6), data) << "the size counts the terminating NUL";

  EXPECT_TRUE(RegistryWriteString(base_.c_str(), "Empty", "", kRootCurrentUser));
  EXPECT_EQ("", StoredText(HKEY_CURRENT_USER, base_, "Empty"));
}

TEST_F(RegistryTest, WriteDefaultValueMakesTheKey) {
  EXPECT_TRUE(RegistryWriteString(Sub("New").c_str(), "", "Text", kRootCurrentUser));
  EXPECT_EQ("Text", StoredText(HKEY_CURRENT_USER, Sub("New"), ""));
  EXPECT_TRUE(RegistryWriteString(Sub("Null").c_str(), nullptr, "T2", kRootCurrentUser));
  EXPECT_EQ("T2", StoredText(HKEY_CURRENT_USER, Sub("Null"), ""));
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(RawValue(HKEY_CURRENT_USER, Sub("New"), "", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

// ---- RegistryKeyIsEmpty and RegistryDeleteEntry ----

TEST_F(RegistryTest, KeyIsEmptyAllowsOneValue) {
  MakeKey("None");
  MakeKey("One", "A", "1");
  MakeKey("Two", "A", "1", "B", "2");
  MakeKey("Parent\\Child");
  EXPECT_TRUE(RegistryKeyIsEmpty(kRootCurrentUser, Sub("None").c_str()));
  EXPECT_TRUE(RegistryKeyIsEmpty(kRootCurrentUser, Sub("One").c_str()));
  EXPECT_FALSE(RegistryKeyIsEmpty(kRootCurrentUser, Sub("Two").c_str()));
  EXPECT_FALSE(RegistryKeyIsEmpty(kRootCurrentUser, Sub("Parent").c_str()));
  EXPECT_FALSE(RegistryKeyIsEmpty(kRootCurrentUser, Sub("Missing").c_str()));
}

TEST_F(RegistryTest, DeleteEntryRemovesValueOrEmptyKey) {
  MakeKey("Values", "A", "1", "B", "2");
  RegistryDeleteEntry(Sub("Values").c_str(), "A", kRootCurrentUser);
  EXPECT_EQ("<none>", StoredText(HKEY_CURRENT_USER, Sub("Values"), "A"));
  EXPECT_EQ("2", StoredText(HKEY_CURRENT_USER, Sub("Values"), "B"));

  MakeKey("One", "A", "1");
  RegistryDeleteEntry(Sub("One").c_str(), "", kRootCurrentUser);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Sub("One")));

  MakeKey("Two", "A", "1", "B", "2");
  RegistryDeleteEntry(Sub("Two").c_str(), nullptr, kRootCurrentUser);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Sub("Two")));
  EXPECT_EQ(2u, ValueCount(HKEY_CURRENT_USER, Sub("Two")));

  MakeKey("Parent\\Child");
  RegistryDeleteEntry(Sub("Parent").c_str(), "", kRootCurrentUser);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Sub("Parent\\Child")));
}

TEST_F(RegistryTest, DeleteEntryWithEmptySubkeyLeavesTheRoot) {
  // A value directly under the root that an unguarded delete would take.
  std::string name = "SetupTestsRootValue" + std::to_string(GetCurrentProcessId());
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_WRITE, &key));
  SetRaw(key, name.c_str(), REG_SZ, "keep", 5);
  RegCloseKey(key);
  RegistryDeleteEntry("", name.c_str(), kRootCurrentUser);
  RegistryDeleteEntry(nullptr, name.c_str(), kRootCurrentUser);
  RegistryDeleteEntry("", "", kRootCurrentUser);
  EXPECT_EQ("keep", StoredText(HKEY_CURRENT_USER, "", name.c_str()));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_WRITE, &key));
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

// ---- RegistryCreateKeyPath ----

TEST_F(RegistryTest, CreateKeyPathMakesKeysWithEmptyDefaults) {
  MakeKey("A");
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Sub("A").c_str(), 0, KEY_WRITE, &key));
  SetRaw(key, "", REG_SZ, "keep", 5);
  RegCloseKey(key);

  std::string path = Sub("A\\B\\C");
  char buffer[300];
  std::strcpy(buffer, path.c_str());
  RegistryCreateKeyPath(kRootCurrentUser, buffer);
  EXPECT_STREQ(path.c_str(), buffer) << "the path is given back unchanged";
  EXPECT_EQ("keep", StoredText(HKEY_CURRENT_USER, Sub("A"), "")) << "existing key untouched";
  EXPECT_EQ("", StoredText(HKEY_CURRENT_USER, Sub("A\\B"), ""));
  EXPECT_EQ("", StoredText(HKEY_CURRENT_USER, Sub("A\\B\\C"), ""));
  EXPECT_EQ(1u, ValueCount(HKEY_CURRENT_USER, Sub("A\\B\\C")));
  // Such a key still counts as empty.
  EXPECT_TRUE(RegistryKeyIsEmpty(kRootCurrentUser, Sub("A\\B\\C").c_str()));
}

TEST_F(RegistryTest, CreateKeyPathKeepsADefaultValueItCannotRead) {
  // A default value too long to read (or not text) still belongs to an
  // existing key: making the path must not replace it.
  std::string big(12000, 'v');
  MakeKey("Big");
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Sub("Big").c_str(), 0, KEY_WRITE, &key));
  SetRaw(key, "", REG_SZ, big.c_str(), big.size() + 1);
  SetRaw(key, "n", REG_DWORD, "\1\0\0\0", 4);
  RegCloseKey(key);

  std::string path = Sub("Big\\Child");
  char buffer[300];
  std::strcpy(buffer, path.c_str());
  RegistryCreateKeyPath(kRootCurrentUser, buffer);
  EXPECT_EQ(big, StoredText(HKEY_CURRENT_USER, Sub("Big"), ""));
  EXPECT_TRUE(RegistryKeyExists(kRootCurrentUser, Sub("Big\\Child").c_str()));
  EXPECT_FALSE(RegistryKeyExists(kRootCurrentUser, Sub("Missing").c_str()));
}

// ---- [WriteReg] / [DelReg] lines ----

class RegistryLineTest : public RegistryTest {
 protected:
  void Apply(const std::string& line, bool remove) { ApplyRegistryLine(line.c_str(), remove); }
};

TEST_F(RegistryLineTest, WriteRegMakesKeysAndWritesValues) {
  Apply("HKCU;" + Sub("A\\B") + ";Name;Text", false);
  EXPECT_EQ("Text", StoredText(HKEY_CURRENT_USER, Sub("A\\B"), "Name"));
  EXPECT_EQ("", StoredText(HKEY_CURRENT_USER, Sub("A"), "")) << "made with an empty default";
  EXPECT_EQ("", StoredText(HKEY_CURRENT_USER, Sub("A\\B"), ""));

  Apply("HKCU;" + Sub("A") + ";;Default", false);
  EXPECT_EQ("Default", StoredText(HKEY_CURRENT_USER, Sub("A"), ""));
  Apply("HKCU;" + Sub("A") + ";Empty;", false);
  EXPECT_EQ("", StoredText(HKEY_CURRENT_USER, Sub("A"), "Empty"));
  Apply("HKCU;" + Sub("A") + ";Cut;a;b", false);
  EXPECT_EQ("a", StoredText(HKEY_CURRENT_USER, Sub("A"), "Cut"));
  Apply("hkcu;" + Sub("A") + ";Lower;x", false);
  EXPECT_EQ("x", StoredText(HKEY_CURRENT_USER, Sub("A"), "Lower"));
}

TEST_F(RegistryLineTest, WriteRegLinesThatWriteNothing) {
  Apply("HKCU;" + Sub("A") + ";Name", false);
  Apply("HKCU;" + Sub("A"), false);
  Apply("HKCU", false);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Sub("A")));
}

TEST_F(RegistryLineTest, WriteRegRootNames) {
  // An empty or long root name is HKEY_LOCAL_MACHINE.
  Apply(";" + Sub("Lm") + ";Name;x", false);
  Apply("HKEY_CURRENT_USER;" + Sub("Lm") + ";Long;y", false);
  EXPECT_EQ("x", StoredText(HKEY_LOCAL_MACHINE, Sub("Lm"), "Name"));
  EXPECT_EQ("y", StoredText(HKEY_LOCAL_MACHINE, Sub("Lm"), "Long"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Sub("Lm")));
  unit::DeleteRegistryTree(HKEY_LOCAL_MACHINE, base_);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestsKey);

  std::string users = ".DEFAULT\\" + base_;
  Apply("HKU;" + users + ";Name;u", false);
  EXPECT_EQ("u", StoredText(HKEY_USERS, users, "Name"));
  unit::DeleteRegistryTree(HKEY_USERS, users);
  RegDeleteKeyA(HKEY_USERS, (std::string(".DEFAULT\\") + kTestsKey).c_str());
}

TEST_F(RegistryLineTest, DelRegLines) {
  MakeKey("V", "Name", "1", "Other", "2");
  Apply("HKCU;" + Sub("V") + ";Name;", true);
  EXPECT_EQ("<none>", StoredText(HKEY_CURRENT_USER, Sub("V"), "Name"));
  EXPECT_EQ("2", StoredText(HKEY_CURRENT_USER, Sub("V"), "Other"));

  // Without a third ';' the key itself is the target.
  MakeKey("K", "Name", "1");
  Apply("HKCU;" + Sub("K") + ";Name", true);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Sub("K")));

  MakeKey("One", "A", "1");
  Apply("HKCU;" + Sub("One") + ";", true);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Sub("One")));

  MakeKey("Two", "A", "1", "B", "2");
  Apply("HKCU;" + Sub("Two") + ";;", true);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Sub("Two")));
  EXPECT_EQ(2u, ValueCount(HKEY_CURRENT_USER, Sub("Two")));

  // Written by [WriteReg], removed again by [DelReg].
  Apply("HKCU;" + Sub("W\\X") + ";Name;v", false);
  Apply("HKCU;" + Sub("W\\X") + ";Name;", true);
  Apply("HKCU;" + Sub("W\\X") + ";", true);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Sub("W\\X")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Sub("W")));
}

TEST_F(RegistryLineTest, DelRegWithEmptySubkeyDoesNothing) {
  std::string name = "SetupTestsLineValue" + std::to_string(GetCurrentProcessId());
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_WRITE, &key));
  SetRaw(key, name.c_str(), REG_SZ, "keep", 5);
  RegCloseKey(key);
  Apply("HKCU;;" + name + ";", true);
  Apply("HKCU", true);
  EXPECT_EQ("keep", StoredText(HKEY_CURRENT_USER, "", name.c_str()));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_WRITE, &key));
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

TEST_F(RegistryLineTest, WriteRegWithEmptySubkeyWritesUnderTheRoot) {
  std::string name = "SetupTestsRootWrite" + std::to_string(GetCurrentProcessId());
  Apply("HKCU;;" + name + ";x", false);
  EXPECT_EQ("x", StoredText(HKEY_CURRENT_USER, "", name.c_str()));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_WRITE, &key));
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

}  // namespace
