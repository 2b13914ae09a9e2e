// setup_driver: runs a program (normally Setup.exe) under the driver from the
// command line, prints what it showed and exits with its exit code.
//
//   setup_driver --exe PATH --dir DIR [--args "..."]
//                [--answer "substring=YES|NO|OK|CANCEL|ABORT|RETRY|IGNORE[*N]"]...
//                [--set-install DIR] [--set-program DIR]
//                [--press install|cancel|close|browse-ini|browse-program|link]...
//                [--hold S] [--timeout S] [--settle MS] [--utf8]
//
// --hold keeps the waiting dialog untouched for S seconds (a step of its
// own, e.g. for a screenshot taken from outside).
// Dialog steps run in the order given, once the dialog waits for the user.
// Exit code: the program's, or 100 time bound passed, 101 unanswered box,
// 102 program not started, 103 bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: setup_driver --exe PATH --dir DIR [--args TEXT]\n"
               "  [--answer SUBSTRING=OK|CANCEL|YES|NO|ABORT|RETRY|IGNORE[*N]]...\n"
               "  [--set-install DIR] [--set-program DIR]\n"
               "  [--press install|cancel|close|browse-ini|browse-program|link]...\n"
               "  [--hold SECONDS] [--timeout SECONDS] [--settle MS] [--utf8]\n");
}

bool ParseAnswer(const char* spec, driver::Scenario* sc) {
  std::string s = spec;
  size_t eq = s.rfind('=');
  if (eq == std::string::npos) return false;
  std::string match = s.substr(0, eq);
  std::string button = s.substr(eq + 1);
  int times = -1;
  size_t star = button.find('*');
  if (star != std::string::npos) {
    times = std::atoi(button.c_str() + star + 1);
    button.erase(star);
    if (times <= 0) return false;
  }
  int id = driver::ButtonFromName(button.c_str());
  if (!id) return false;
  sc->Answer(match, id, times);
  return true;
}

bool ParsePress(const char* what, driver::Scenario* sc) {
  if (!lstrcmpiA(what, "install"))
    sc->Then(driver::Step::PressInstall());
  else if (!lstrcmpiA(what, "cancel"))
    sc->Then(driver::Step::PressCancel());
  else if (!lstrcmpiA(what, "close"))
    sc->Then(driver::Step::Close());
  else if (!lstrcmpiA(what, "browse-ini"))
    sc->Then(driver::Step::PressBrowseIni());
  else if (!lstrcmpiA(what, "browse-program"))
    sc->Then(driver::Step::PressBrowseProgram());
  else if (!lstrcmpiA(what, "link"))
    sc->Then(driver::Step::ClickLink());
  else
    return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  driver::LaunchOptions launch;
  driver::Scenario sc;
  bool utf8 = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    bool takes = true;
    if (!std::strcmp(a, "--utf8")) {
      utf8 = true;
      takes = false;
    } else if (!v) {
      Usage();
      return 103;
    } else if (!std::strcmp(a, "--exe")) {
      launch.exe = v;
    } else if (!std::strcmp(a, "--dir")) {
      launch.directory = v;
    } else if (!std::strcmp(a, "--args")) {
      launch.arguments = v;
    } else if (!std::strcmp(a, "--answer")) {
      if (!ParseAnswer(v, &sc)) {
        std::fprintf(stderr, "bad --answer: %s\n", v);
        return 103;
      }
    } else if (!std::strcmp(a, "--set-install")) {
      sc.Then(driver::Step::SetInstallDir(v));
    } else if (!std::strcmp(a, "--set-program")) {
      sc.Then(driver::Step::SetProgramDir(v));
    } else if (!std::strcmp(a, "--press")) {
      if (!ParsePress(v, &sc)) {
        std::fprintf(stderr, "bad --press: %s\n", v);
        return 103;
      }
    } else if (!std::strcmp(a, "--hold")) {
      DWORD holdMs = static_cast<DWORD>(std::atoi(v)) * 1000;
      sc.Then(driver::Step::Action([holdMs](driver::Session&) {
        Sleep(holdMs);
        return true;
      }));
    } else if (!std::strcmp(a, "--timeout")) {
      int s = std::atoi(v);
      if (s <= 0) {
        Usage();
        return 103;
      }
      sc.timeoutMs = static_cast<DWORD>(s) * 1000;
    } else if (!std::strcmp(a, "--settle")) {
      sc.settleMs = static_cast<DWORD>(std::atoi(v));
    } else {
      Usage();
      return 103;
    }
    if (takes) ++i;
  }
  if (launch.exe.empty()) {
    Usage();
    return 103;
  }

  driver::Session session(launch, sc);
  driver::RunResult r = session.Run();
  std::string log = r.Log();
  if (utf8) log = driver::ToUtf8(log);
  std::fwrite(log.data(), 1, log.size(), stdout);
  std::fflush(stdout);
  if (!r.started) return 102;
  if (r.timedOut) return 100;
  if (r.unansweredBox || r.actionFailed || r.killed) return 101;
  return static_cast<int>(r.exitCode);
}
