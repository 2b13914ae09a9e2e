// setupcheck --seal and the check of a sealed package: the cases that the
// native setupcheck (tests/native/check/seal_check_test.cpp) and
// setupcheck.exe under Wine (tests/e2e/seal_check_test.cpp) must answer
// alike. Each runner builds the same package with its platform's calls:
//   setup.dat (the script, lines ended with CR LF), bin\a.dll (4 KiB),
//   bin\b.dll (5000 bytes) and "šablony\Dopis.qtp",
// runs setupcheck with `seal`, carries out `then` and runs setupcheck on the
// package. Names are UTF-8 with `\`.
#pragma once

#include <string>

struct SealCheckCase {
  const char* name;
  const char* script;
  const char* seal;   // the arguments before the package directory
  int sealStatus;
  bool sealed;        // setup.sum is there afterwards
  // Steps after sealing, separated by "; ": "flip NAME" (one byte),
  // "cut NAME" (to 100 bytes), "remove NAME", "add NAME", "rename NAME NEW",
  // "write NAME TEXT", "seal" (--seal once more, which must succeed).
  const char* then;
  int checkStatus;
  const char* findings;  // the names of the seal-mismatch findings, in order
};

const char kSealCopyScript[] = "[Copy]\nbin\\*.dll=bin\\\n";
const char kSealBrokenScript[] = "[Copy]\nmissing.dll\n";

const SealCheckCase kSealCheckCases[] = {
    {"a clean package is sealed and checks clean", kSealCopyScript, "--seal", 0, true, "", 0, ""},
    {"a package with errors is not sealed", kSealBrokenScript, "--seal", 2, false, "", 2, ""},
    {"--force seals it all the same", kSealBrokenScript, "--seal --force", 2, true, "", 2, ""},
    {"a changed byte", kSealCopyScript, "--seal", 0, true, "flip bin\\a.dll", 2, "bin\\a.dll"},
    {"a cut file", kSealCopyScript, "--seal", 0, true, "cut bin\\b.dll", 2, "bin\\b.dll"},
    {"a missing file", kSealCopyScript, "--seal", 0, true, "remove \xC5\xA1" "ablony\\Dopis.qtp", 2,
     "\xC5\xA1" "ablony\\Dopis.qtp"},
    {"added files, named in order", kSealCopyScript, "--seal", 0, true,
     "add bin\\d.dll; add bin\\c.dll", 2, "bin\\c.dll bin\\d.dll"},
    {"another letter case names the same file", kSealCopyScript, "--seal", 0, true,
     "rename bin\\a.dll bin\\A.DLL; rename \xC5\xA1" "ablony\\Dopis.qtp \xC5\xA1" "ablony\\DOPIS.QTP",
     0, ""},
    {"a malformed seal", kSealCopyScript, "--seal", 0, true, "write setup.sum setup.sum 2", 2,
     "setup.sum"},
    {"sealing anew replaces the seal", kSealCopyScript, "--seal", 0, true,
     "flip bin\\a.dll; add bin\\c.dll; seal", 0, ""},
};

// The names of the seal-mismatch findings in setupcheck's output, blank
// separated: the text between the first two apostrophes of each such line.
inline std::string SealFindingNames(const std::string& output) {
  std::string names;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    start = end + 1;
    if (line.find("[seal-mismatch]") == std::string::npos) continue;
    size_t open = line.find('\'');
    size_t close = open == std::string::npos ? open : line.find('\'', open + 1);
    if (close == std::string::npos) continue;
    names += (names.empty() ? "" : " ") + line.substr(open + 1, close - open - 1);
  }
  return names;
}

// The next step of `then` from *at: its words (at most three, the last
// takes the rest of the step).
inline bool NextSealStep(const std::string& then, size_t* at, std::string words[3]) {
  if (*at >= then.size()) return false;
  size_t end = then.find("; ", *at);
  if (end == std::string::npos) end = then.size();
  std::string step = then.substr(*at, end - *at);
  *at = end + 2;
  for (int i = 0; i < 3; ++i) {
    size_t blank = i < 2 ? step.find(' ') : std::string::npos;
    words[i] = step.substr(0, blank);
    step = blank == std::string::npos ? "" : step.substr(blank + 1);
  }
  return true;
}
