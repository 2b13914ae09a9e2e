// setupcheck's emulation of what Windows does, on every system: the file
// search's comparison of a pattern with a name (Windows' documented DOS
// wildcard rules) and the profile reader. The Wine test
// (tests/unit/check_platform_test.cpp) sets the same emulation against the
// system calls.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "check/check_platform.h"

namespace {

struct WildcardCase {
  const char* pattern;
  const char* name;
  bool found;
};

// From the rules Windows documents for its search: '?' becomes DOS_QM (one
// character, none at a '.' or at the end), '*' before a '.' DOS_STAR (up to
// the last '.'), a '.' before a wildcard DOS_DOT (a '.' or the end); a part
// that ended in '.' turns its final '*' into DOS_STAR; "*.*" is '*';
// trailing dots and blanks go first.
const WildcardCase kWildcardCases[] = {
    {"*", "noext", true},           {"*.*", "noext", true},         {"*.*", "a.b.c", true},
    {"*.", "noext", true},          {"*.", "a.txt", false},         {"*.", "a.b", false},
    {"a*.", "abc", true},           {"a*.", "abc.d", false},        {"a??", "a", true},
    {"a??", "ab", true},            {"a??", "abc", true},           {"a??", "abcd", false},
    {"a?.txt", "a.txt", true},      {"a?.txt", "ab.txt", true},     {"a?.txt", "abc.txt", false},
    {"?", "ab", false},             {"??", "a", true},              {"*?.txt", "a.txt", true},
    {"*?.txt", "ab.txt", true},     {"*?.txt", "a.txt.bak", false}, {"*.txt", "a.b.txt", true},
    {"*.txt", "a.txt.bak", false},  {"*.txt", "A.TXT", true},       {"readme.txt .", "readme.txt", true},
    {"readme.txt  ", "readme.txt", true}, {"readme.txt", "readme.txt.", false},
    {"*.txt.", "a.txt", true},      {"*.t?t", "a.txt", true},       {"*.t?t", "a.tt", false},
    {"a.*", "a", true},             {"a.*", "a.b", true},           {"a.*", "ab", false},
    {".*", ".hidden", true},        {"*ab", "aab", true},           {"*ab", "aba", false},
    {"a*a", "aba", true},           {"a*a", "ab", false},           {"*aa*", "baab", true},
    {"*a*b*c", "xaybzc", true},     {"*a*b*c", "xaybz", false},     {"...", "a", false},
    {"\xE8*", "\xC8" "as.txt", true},  // č matches Č
    {"*.dll", "plugin.dllold", true},   // through the 8.3 short name PLUG~???.DLL
    {"plugi*.dll", "plugin.dllold", false},  // what the short name's first part is, is not certain
    {"plug*.dll", "plugin.dllold", true},    // its first four letters are
    {"abc~*", "abc.d", false},               // an 8.3 name has no other
    {"abc~*", "abc.defg", true},
    {"*.?", "a.bc", false},                  // DOS_STAR stops at the last '.'
    {"*.?", "noext", true},         {"?", ".", true},
    {"*.cde", "a.b.cdef", true},             // short name AB~1.CDE
    {"a?x", "a.", false},                    // '?' takes nothing at the '.'
    {"abcd~*", "abcdefgh", false},           // eight letters: its own short name
    {"????~~*", "plugin.dllold", false},     // one '~' after the four certain letters
};

TEST(SearchEmulation, ComparesPatternsByWindowsRules) {
  for (const WildcardCase& c : kWildcardCases) {
    EXPECT_EQ(c.found, WildcardMatches(c.pattern, c.name))
        << "pattern \"" << c.pattern << "\", name \"" << c.name << "\"";
  }
  // The long name alone: the short name's match is its own.
  EXPECT_FALSE(LongNameMatches("*.dll", "plugin.dllold"));
  EXPECT_TRUE(LongNameMatches("*.dllold", "plugin.dllold"));
}

struct ProfileCase {
  std::string text;
  const char* section;
  const char* key;
  int size;
  std::string read;  // count:value as GetPrivateProfileStringA gives it
};

template <size_t N>
std::string B(const char (&text)[N]) {
  return std::string(text, N - 1);
}

const ProfileCase kProfileCases[] = {
    {B("[Options]\r\nMsgTitle=Ahoj\0svete\r\n"), "Options", "MsgTitle", 64, "4:Ahoj"},
    {B("[Options]\r\nMsgTitle=Ahoj \0svete\r\n"), "Options", "MsgTitle", 64, "5:Ahoj "},
    {B("[Options]\r\nA=\"Ahoj\"\0x\r\n"), "Options", "A", 64, "4:Ahoj"},
    {B("[Options]\r\nA=\"Ahoj\0x\"\r\n"), "Options", "A", 64, "5:\"Ahoj"},
    {B("[Options]\r\nMs\0gTitle=x\r\n"), "Options", "Ms", 64, "1:x"},
    {B("[Opt\0ions]\r\nA=1\r\n"), "Opt", "A", 64, "1:1"},
    {B("[Options]\r\nA = \"x y\" \r\n"), "options", " a ", 64, "3:x y"},
    {B("[Options]\r\nA='x'\r\n"), "Options", "A", 64, "1:x"},
    {B("[Options]\r\nA=\"open\r\n"), "Options", "A", 64, "5:\"open"},
    {B("[Options]\r\nA=\"\r\n"), "Options", "A", 64, "1:\""},
    {B("[Options]\r\nA=abcdef\r\n"), "Options", "A", 4, "3:abc"},
    {B("[Options]\r\nA=1\t\x1a\r\n"), "Options", "A", 64, "1:1"},
    {B("[Options]\r\nA\r\n"), "Options", "A", 64, "5:<def>"},
    {B("[Options]\r\nA=1\r\n[Options]\r\nB=2\r\n"), "Options", "B", 64, "5:<def>"},
    {B("[Options]\r\nA=1\r\nA=2\r\n"), "Options", "A", 64, "1:1"},
    {B("[Options]\rA=1\nB=2\r\n"), "Options", "B", 64, "1:2"},
    {B("\xEF\xBB\xBF[Options]\r\nA=\xC4\x8D\r\n"), "Options", "A", 64, "1:\xE8"},
    {B("[]\r\nA=1\r\n"), "", "A", 64, "5:<def>"},
    {B("[Options\r\nA=1\r\n"), "Options", "A", 64, "5:<def>"},
    {B("[Options]\r\nA=\v1\f\r\n"), "Options", "A", 64, "1:1"},
    {B("[Options]\r\nA=1\r\n"), "Options", "A", 1, "0:"},
};

TEST(ProfileEmulation, ReadsAsTheProfileReader) {
  char pattern[] = "/tmp/setupcheck-profile-XXXXXX";
  std::string dir = mkdtemp(pattern);
  std::string path = dir + "/p.ini";
  for (const ProfileCase& c : kProfileCases) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    std::fwrite(c.text.data(), 1, c.text.size(), file);
    std::fclose(file);
    char buffer[80];
    std::memset(buffer, 'Z', sizeof buffer);
    int count = EmulatedReadProfileString(path.c_str(), c.section, c.key, "<def> ", buffer, c.size);
    EXPECT_EQ(c.read, std::to_string(count) + ":" + buffer) << "[" << c.section << "] " << c.key;
  }
  std::filesystem::remove_all(dir);
}

// Names and values with the blanks around them removed, a blank name empty.
TEST(ProfileEmulation, SplitsLinesIntoNamesAndValues) {
  const struct {
    const char* text;
    ProfileLine::Kind kind;
    const char* name;
    const char* value;
  } lines[] = {{"[ ]", ProfileLine::kSection, "", ""},
               {"[ a b ]", ProfileLine::kSection, "a b", ""},
               {" K 1 = v w ", ProfileLine::kKey, "K 1", "v w"}};
  for (const auto& c : lines) {
    ProfileLine line;
    size_t offset = 0;
    ASSERT_TRUE(NextProfileLine(std::string(c.text) + "\r\nA=1\r\n", &offset, &line)) << c.text;
    EXPECT_EQ(c.kind, line.kind) << c.text;
    EXPECT_EQ(c.name, line.name) << c.text;
    EXPECT_EQ(c.value, line.value) << c.text;
  }
}

}  // namespace
