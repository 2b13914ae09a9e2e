#include "e2e/package_check.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace e2e {

namespace {

// "line:kind" for each error and warning of setupcheck's JSON, blank-separated.
std::string FindingsOf(const std::string& json) {
  std::string items;
  for (size_t at = json.find("{\"file\""); at != std::string::npos;
       at = json.find("{\"file\"", at + 1)) {
    size_t line = json.find("\"line\": ", at);
    size_t severity = json.find("\"severity\": \"", at);
    size_t kind = json.find("\"kind\": \"", at);
    if (line == std::string::npos || severity == std::string::npos || kind == std::string::npos) {
      return "<unreadable output>";
    }
    std::string level = json.substr(severity + 13, json.find('"', severity + 13) - severity - 13);
    if (level == "note") continue;
    std::string name = json.substr(kind + 9, json.find('"', kind + 9) - kind - 9);
    items += (items.empty() ? "" : " ") + std::to_string(std::atoi(json.c_str() + line + 8)) +
             ":" + name;
  }
  return items;
}

// The expected findings by test: "Suite.Test[#run]: items  # why"; lines
// that begin with '#' are comments.
std::map<std::string, std::string> Expectations() {
  std::map<std::string, std::string> expected;
  FILE* file = std::fopen(SETUP_CHECK_EXPECTATIONS, "rb");
  if (!file) return expected;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, file)) {
    std::string line = buffer;
    if (line[0] == '#') continue;
    line = line.substr(0, line.find(" #"));  // the reason
    size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    std::string items = line.substr(colon + 2);
    while (!items.empty() && std::isspace(static_cast<unsigned char>(items.back()))) items.pop_back();
    expected[line.substr(0, colon)] = items;
  }
  std::fclose(file);
  return expected;
}

}  // namespace

int RunSetupcheck(const std::string& arguments, std::string* output) {
  output->clear();
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::string command = "\"" SETUP_CHECK_EXE_PATH "\" " + arguments;
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  PROCESS_INFORMATION process = {};
  bool started = false;
  // Wine fails a start now and then with an internal error: try again.
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &process) != 0;
    if (!started) Sleep(100);
  }
  CloseHandle(writeEnd);
  if (started) {
    char chunk[4096];
    DWORD count;
    while (ReadFile(readEnd, chunk, sizeof chunk, &count, nullptr) && count > 0) {
      output->append(chunk, count);
    }
  }
  CloseHandle(readEnd);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(code);
}

void CheckPackageBeforeRun(const std::string& packageDir) {
  const char* setting = std::getenv("SETUP_E2E_CHECK");
  if (setting && std::string(setting) == "0") return;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  if (!test) return;
  // The n-th run of a test is "Suite.Test#n" from the second run on.
  static std::map<std::string, int> runs;
  std::string key = std::string(test->test_suite_name()) + "." + test->name();
  int run = ++runs[key];
  if (run > 1) key += "#" + std::to_string(run);

  std::string output;
  int status = RunSetupcheck("--json \"" + packageDir + "\"", &output);
  std::string found = status == 3 ? "unreadable" : FindingsOf(output);
  if (status < 0) found = "<setupcheck did not start>";
  static const std::map<std::string, std::string> expected = Expectations();
  auto entry = expected.find(key);
  std::string wanted = entry == expected.end() ? "" : entry->second;
  EXPECT_EQ(wanted, found)
      << "setupcheck on the package of this run (" << packageDir << ") found other errors and "
      << "warnings than tests/e2e/package_findings.txt expects; when the package is meant to "
      << "have them, the entry is:\n" << key << ": " << found << "  # why\n" << output;
}

}  // namespace e2e
