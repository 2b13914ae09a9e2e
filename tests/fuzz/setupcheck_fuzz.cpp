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
  bool markersInScript = false;
  for (size_t i = 0; i < size; ++i) {
    lines += data[i] == '\r';
    markersInScript = markersInScript || (data[i] >= 1 && data[i] <= 6);
  }

  // The lines the check reports, in order, are the reader's lines.
  struct Count {
    size_t lines = 0;
    bool inOrder = true;
  } count;
  LineSink sink{[](void* context, const LineReport& report) {
                  Count* seen = static_cast<Count*>(context);
                  seen->inOrder = seen->inOrder && report.line == static_cast<int>(++seen->lines);
                },
                &count};
  CheckResult result = CheckPackage(script, PackageDir(), EmulatedPlatform(), &sink);
  Check(result.readable);
  Check(count.lines == lines && count.inOrder);
  Check(result.findings.size() <= kMaxFindings + 16);
  int previous = 0;
  for (const Finding& finding : result.findings) {
    Check(finding.line >= previous && static_cast<size_t>(finding.line) <= lines);
    Check(finding.editorLine >= finding.line);
    Check(!finding.kind.empty() && !finding.message.empty());
    // The checker's stand-ins for directories never reach a message (unless
    // the script holds those bytes itself).
    Check(markersInScript ||
          finding.message.find_first_of("\x01\x02\x03\x04\x05\x06") == std::string::npos);
    previous = finding.line;
  }
  return 0;
}
