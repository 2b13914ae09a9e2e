// setupcheck --seal natively: the shared cases (seal_cases.h), run through
// the program itself, as a package's CI runs it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/crypto.h"
#include "native/check/seal_cases.h"

namespace fs = std::filesystem;

namespace {

fs::path Native(const fs::path& dir, const std::string& name) {
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return dir / path;
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::string Read(const fs::path& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

// setupcheck with arguments; its status and standard output.
int Setupcheck(const std::string& arguments, std::string* output) {
  output->clear();
  FILE* pipe = popen((std::string(SETUP_CHECK_PROGRAM) + " " + arguments + " 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output->append(buffer, got);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

TEST(SealCheck, SealsAndFindsEveryChangeAsUnderWine) {
  if (!CryptoAvailable()) GTEST_SKIP() << "a build without libcrypto: see plain_build.sh";
  for (const SealCheckCase& c : kSealCheckCases) {
    SCOPED_TRACE(c.name);
    char pattern[] = "/tmp/setupcheck-seal-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    Write(dir / "setup.dat", CrLf(c.script));
    Write(Native(dir, "bin\\a.dll"), std::string(4096, 'a'));
    Write(Native(dir, "bin\\b.dll"), std::string(5000, 'b'));
    Write(Native(dir, "\xC5\xA1" "ablony\\Dopis.qtp"), "letter");
    const std::string quoted = "'" + dir.string() + "/'";
    std::string output;

    EXPECT_EQ(c.sealStatus, Setupcheck(std::string(c.seal) + " " + quoted, &output)) << output;
    EXPECT_EQ(c.sealed, fs::exists(dir / "setup.sum"));
    size_t at = 0;
    std::string step[3];
    while (NextSealStep(c.then, &at, step)) {
      const fs::path path = Native(dir, step[1]);
      if (step[0] == "flip") {
        std::string bytes = Read(path);
        bytes[10] ^= 1;
        Write(path, bytes);
      } else if (step[0] == "cut") {
        Write(path, Read(path).substr(0, 100));
      } else if (step[0] == "remove") {
        fs::remove(path);
      } else if (step[0] == "add") {
        Write(path, "added");
      } else if (step[0] == "rename") {
        fs::rename(path, Native(dir, step[2]));
      } else if (step[0] == "write") {
        Write(path, step[2] + "\n");
      } else if (step[0] == "seal") {
        EXPECT_EQ(0, Setupcheck("--seal " + quoted, &output)) << output;
      }
    }
    EXPECT_EQ(c.checkStatus, Setupcheck(quoted, &output)) << output;
    EXPECT_EQ(c.findings, SealFindingNames(output)) << output;
    fs::remove_all(dir);
  }
}

TEST(SealCheck, NamesTheSealCannotHoldKeepThePackageUnsealed) {
  if (!CryptoAvailable()) GTEST_SKIP() << "a build without libcrypto: see plain_build.sh";
  struct Case {
    const char* name;
    const char* file;  // besides setup.dat; "->" makes a link to bin
    const char* named;  // in setupcheck's message
  } cases[] = {{"a symbolic link", "->", "cannot seal 'lib': a link"},
               {"a backslash in a Linux file name", "a\\b.dll", "cannot seal 'a\\b.dll': a '\\'"},
               {"names that differ only in letter case", "A.DLL", "': another file's name differs"},
               {"a final dot, which Windows drops", "readme.", "cannot seal 'readme.': a part ending"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char pattern[] = "/tmp/setupcheck-seal-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    Write(dir / "setup.dat", CrLf(kSealCopyScript));
    Write(dir / "a.dll", "a");
    if (std::string(c.file) == "->") {
      fs::create_directory(dir / "bin");
      fs::create_directory_symlink(dir / "bin", dir / "lib");
    } else {
      Write(dir / c.file, "other");  // as named on Linux, '\\' included
    }
    std::string output;
    FILE* pipe = popen((std::string(SETUP_CHECK_PROGRAM) + " --seal '" + dir.string() + "' 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    int status = pclose(pipe);
    EXPECT_EQ(3, WIFEXITED(status) ? WEXITSTATUS(status) : -1) << output;
    EXPECT_NE(std::string::npos, output.find(c.named)) << output;
    EXPECT_FALSE(fs::exists(dir / "setup.sum"));
    fs::remove_all(dir);
  }
}

}  // namespace
