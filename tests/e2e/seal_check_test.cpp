// setupcheck.exe --seal under Wine: the cases the native setupcheck answers
// in tests/native/check/seal_check_test.cpp, with the same results.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_support.h"
#include "e2e/package_check.h"
#include "native/check/seal_cases.h"

namespace {

TEST(SealCheck, SealsAndFindsEveryChangeAsNatively) {
  for (const SealCheckCase& c : kSealCheckCases) {
    SCOPED_TRACE(c.name);
    e2e::TempDir dir("pkg");
    auto path = [&dir](const std::string& utf8) { return dir / e2e::Ansi(utf8.c_str()); };
    ASSERT_TRUE(e2e::WriteSetupDat(dir.path(), e2e::CrLf(c.script)));
    ASSERT_TRUE(e2e::WriteFileBytes(path("bin\\a.dll"), std::string(4096, 'a')));
    ASSERT_TRUE(e2e::WriteFileBytes(path("bin\\b.dll"), std::string(5000, 'b')));
    ASSERT_TRUE(e2e::WriteFileBytes(path("\xC5\xA1" "ablony\\Dopis.qtp"), "letter"));
    const std::string quoted = "\"" + dir.path() + "\"";
    std::string output;

    EXPECT_EQ(c.sealStatus, e2e::RunSetupcheck(std::string(c.seal) + " " + quoted, &output)) << output;
    EXPECT_EQ(c.sealed, e2e::PathIsFile(dir / "setup.sum"));
    size_t at = 0;
    std::string step[3];
    while (NextSealStep(c.then, &at, step)) {
      const std::string file = path(step[1]);
      std::string bytes;
      if (step[0] == "flip") {
        ASSERT_TRUE(e2e::ReadFileBytes(file, &bytes));
        bytes[10] ^= 1;
        ASSERT_TRUE(e2e::WriteFileBytes(file, bytes));
      } else if (step[0] == "cut") {
        ASSERT_TRUE(e2e::ReadFileBytes(file, &bytes));
        ASSERT_TRUE(e2e::WriteFileBytes(file, bytes.substr(0, 100)));
      } else if (step[0] == "remove") {
        ASSERT_TRUE(DeleteFileA(file.c_str()));
      } else if (step[0] == "add") {
        ASSERT_TRUE(e2e::WriteFileBytes(file, "added"));
      } else if (step[0] == "rename") {
        ASSERT_TRUE(MoveFileA(file.c_str(), path(step[2]).c_str()));
      } else if (step[0] == "write") {
        ASSERT_TRUE(e2e::WriteFileBytes(file, step[2] + "\n"));
      } else if (step[0] == "seal") {
        EXPECT_EQ(0, e2e::RunSetupcheck("--seal " + quoted, &output)) << output;
      }
    }
    EXPECT_EQ(c.checkStatus, e2e::RunSetupcheck(quoted, &output)) << output;
    EXPECT_EQ(c.findings, SealFindingNames(output)) << output;
  }
}

}  // namespace
