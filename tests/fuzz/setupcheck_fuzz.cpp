// Random bytes as a package's setup.dat: setupcheck reads every line the way
// Setup's reader returns them, and each finding names one of those lines.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "check/check_platform.h"
#include "check/package_check.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// A package directory with a few files for the [Copy] checks to find,
// removed when the fuzzer ends (the path outlives every static destructor).
const std::string* packageDir = nullptr;

const std::string& PackageDir() {
  if (!packageDir) {
    char pattern[] = "/tmp/setupcheck-fuzz-XXXXXX";
    std::string made = mkdtemp(pattern);
    for (const char* name : {"/a.dll", "/readme.txt"}) {
      FILE* file = std::fopen((made + name).c_str(), "wb");
      if (file) std::fclose(file);
    }
    packageDir = new std::string(made + "/");
    std::atexit([] { std::filesystem::remove_all(*packageDir); });
  }
  return *packageDir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string script = PackageDir() + "setup.dat";
  FILE* file = std::fopen(script.c_str(), "wb");
  Check(file != nullptr);
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  // Each CR ends one call of the reader; the call after the last one meets
  // the end of the file.
  size_t lines = 1;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\r';

  CheckResult result = CheckPackage(script, PackageDir(), EmulatedPlatform());
  Check(result.readable);
  Check(result.lines.size() == lines);
  for (const Finding& finding : result.findings) {
    Check(finding.line >= 1 && static_cast<size_t>(finding.line) <= lines);
    Check(!finding.kind.empty() && !finding.message.empty());
  }
  return 0;
}
