// setup.sum's text: what the reader takes and refuses, the writer's order,
// and names compared as Windows compares file names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "seal/seal_format.h"

namespace {

const std::string kDigest(64, 'a');

std::string Line(const std::string& size, const std::string& digest, const std::string& path) {
  return size + " " + digest + " " + path + "\n";
}

TEST(SealFormat, ReaderTakesWellFormedSealsAndNamesTheFirstFault) {
  const std::string head = "setup.sum 1\n";
  struct Case {
    const char* name;
    std::string text;
    int entries;        // -1: refused
    int faultLine;
    const char* fault;  // the start of the reason
  } cases[] = {
      {"LF", head + Line("4096", kDigest, "bin\\a.dll") + Line("0", kDigest, "b c.txt"), 2, 0, ""},
      {"CR LF, no final line end", "setup.sum 1\r\n0 " + kDigest + " a.txt", 1, 0, ""},
      {"Czech names", head + Line("1", kDigest, "\xC5\xA1" "ablony\\k\xC5\xAF\xC5\x88.qtp"), 1, 0, ""},
      {"nothing listed", head, 0, 0, ""},
      {"empty file", "", -1, 0, "the file is empty"},
      {"another version", "setup.sum 2\n", -1, 1, "the first line"},
      {"a blank line", head + "\n", -1, 2, "no size"},
      {"a leading zero", head + Line("01", kDigest, "a"), -1, 2, "no size"},
      {"19 digits", head + Line("9999999999999999999", kDigest, "a"), 1, 0, ""},
      {"20 digits", head + Line("10000000000000000000", kDigest, "a"), -1, 2, "no size"},
      {"upper-case digest", head + Line("1", std::string(64, 'A'), "a"), -1, 2, "no SHA-256"},
      {"short digest", head + Line("1", std::string(63, 'a'), "a"), -1, 2, "no SHA-256"},
      {"two blanks", head + "1  " + kDigest + " a\n", -1, 2, "no SHA-256"},
      {"no name", head + "1 " + kDigest + " \n", -1, 2, "an empty name"},
      {"absolute", head + Line("1", kDigest, "\\a"), -1, 2, "an empty part"},
      {"drive", head + Line("1", kDigest, "c:\\a"), -1, 2, "a character Windows"},
      {"slash", head + Line("1", kDigest, "bin/a"), -1, 2, "a character Windows"},
      {"dot dot", head + Line("1", kDigest, "bin\\..\\a"), -1, 2, "a part '.' or '..'"},
      {"final dot", head + Line("1", kDigest, "a."), -1, 2, "a part ending"},
      {"device", head + Line("1", kDigest, "bin\\nul.txt"), -1, 2, "a device name"},
      {"not UTF-8", head + Line("1", kDigest, "\x9a" "ablony"), -1, 2, "not UTF-8"},
      {"overlong UTF-8", head + Line("1", kDigest, "\xC0\xAF"), -1, 2, "not UTF-8"},
      {"NUL", head + "1 " + kDigest + " a" + std::string(1, '\0') + "b\n", -1, 2, "a NUL byte"},
      {"itself", head + Line("1", kDigest, "SETUP.SUM"), -1, 2, "the seal lists itself"},
      {"twice in another case", head + Line("1", kDigest, "a.dll") + Line("2", kDigest, "b") +
                                    Line("3", kDigest, "A.DLL"),
       -1, 4, "a file listed twice"},
      {"too long", head + Line("1", kDigest, std::string(kSealPathCapacity, 'x')), -1, 2,
       "a name too long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SealList list;
    int line = -1;
    const char* fault = nullptr;
    bool parsed = ParseSeal(c.text.data(), c.text.size(), &list, &line, &fault);
    EXPECT_EQ(c.entries >= 0, parsed) << (fault ? fault : "");
    if (parsed) {
      EXPECT_EQ(c.entries, list.count);
      SealListFree(&list);
    } else {
      EXPECT_EQ(c.faultLine, line);
      EXPECT_EQ(0u, std::string(fault).find(c.fault)) << fault;
      EXPECT_EQ(0, list.count);
    }
  }
}

TEST(SealFormat, WriterSortsByBytesAndItsTextReadsBack) {
  SealList list;
  SealListInit(&list);
  unsigned char digest[kSha256Size];
  for (size_t i = 0; i < kSha256Size; ++i) digest[i] = static_cast<unsigned char>(i * 7);
  for (const char* path : {"bin\\lib2.dll", "\xC5\xA1" "ablony\\a.qtp", "bin\\lib10.dll", "Setup.exe",
                           "bin\\Lib1.dll"}) {
    ASSERT_TRUE(SealListAdd(&list, path, 12345678901ULL, digest));
  }
  size_t size = 0;
  char* text = FormatSeal(&list, &size);
  ASSERT_NE(nullptr, text);
  const std::string hex = "00070e151c232a31383f464d545b626970777e858c939aa1a8afb6bdc4cbd2d9";
  std::string expected = "setup.sum 1\n";
  for (const char* path : {"Setup.exe", "bin\\Lib1.dll", "bin\\lib10.dll", "bin\\lib2.dll",
                           "\xC5\xA1" "ablony\\a.qtp"}) {
    expected += "12345678901 " + hex + " " + path + "\n";
  }
  EXPECT_EQ(expected, std::string(text, size));

  SealList back;
  int line = 0;
  const char* fault = nullptr;
  ASSERT_TRUE(ParseSeal(text, size, &back, &line, &fault)) << fault;
  ASSERT_EQ(5, back.count);
  EXPECT_EQ(0, SealListFind(&back, "SETUP.EXE"));
  EXPECT_EQ(4, SealListFind(&back, "\xC5\xA0" "ABLONY\\A.QTP"));
  EXPECT_EQ(-1, SealListFind(&back, "bin\\lib1.dl"));
  std::free(text);
  SealListFree(&back);
  SealListFree(&list);
}

TEST(SealFormat, NamesCompareWithoutLetterCaseAsWindowsDoes) {
  struct Case {
    const char* a;
    const char* b;
    int order;  // sign of CompareSealNames(a, b)
  } cases[] = {
      {"bin\\QCore.DLL", "BIN\\qcore.dll", 0},
      // č ř š ž ý á í é ú ů ň ť ď ľ ĺ ô ä ŕ against their capitals
      {"\xC4\x8D\xC5\x99\xC5\xA1\xC5\xBE\xC3\xBD\xC3\xA1\xC3\xAD\xC3\xA9\xC3\xBA\xC5\xAF\xC5\x88"
       "\xC5\xA5\xC4\x8F\xC4\xBE\xC4\xBA\xC3\xB4\xC3\xA4\xC5\x95",
       "\xC4\x8C\xC5\x98\xC5\xA0\xC5\xBD\xC3\x9D\xC3\x81\xC3\x8D\xC3\x89\xC3\x9A\xC5\xAE\xC5\x87"
       "\xC5\xA4\xC4\x8E\xC4\xBD\xC4\xB9\xC3\x94\xC3\x84\xC5\x94",
       0},
      {"\xD0\xB4\xD0\xBE\xD0\xBC", "\xD0\x94\xD0\x9E\xD0\x9C", 0},  // Cyrillic
      {"\xCF\x83\xCF\x82", "\xCE\xA3\xCE\xA3", 0},                  // Greek sigma and final sigma
      {"a.dll", "a.dll2", -1},
      {"a", "b", -1},
      {"\xC3\xA4", "z", 1},  // ä after every ASCII letter
      {"ss", "\xC3\x9F", -1},  // ß is no pair of letters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    int order = CompareSealNames(c.a, c.b);
    EXPECT_EQ(c.order, (order > 0) - (order < 0));
    int reverse = CompareSealNames(c.b, c.a);
    EXPECT_EQ(-c.order, (reverse > 0) - (reverse < 0));
  }
}

}  // namespace
