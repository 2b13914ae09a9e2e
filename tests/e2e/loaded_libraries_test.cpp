// Setup.exe loads the shell and common-dialog libraries only when a line
// needs them: the modules of the running program are read while its final
// message waits for OK. (Wine's own user32 loads ole32 in any case.)
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "e2e/script_bed.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using driver::Session;
using e2e::Describe;

namespace {

// Lower-case file names of the modules loaded in process `id`; empty when
// the snapshot fails.
std::set<std::string> LoadedModules(DWORD id) {
  std::set<std::string> names;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id);
  if (snapshot == INVALID_HANDLE_VALUE) return names;
  MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
    std::string name = entry.szModule;
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    names.insert(name);
  }
  CloseHandle(snapshot);
  return names;
}

struct LibraryCase {
  const char* sections;  // after the auto-start [Options]
  bool shell32;          // expected loaded
};

TEST(LoadedLibraries, ShellAndCommonDialogsOnlyWhenALineNeedsThem) {
  const LibraryCase cases[] = {
      {"", false},
      {"[WriteIni]\n{des}folders.ini=S;K;x\n", false},
      // A shell folder needs shell32; nothing needs the file picker.
      {"[WriteIni]\n{des}folders.ini=S;K;{desktop}\n", true},
  };
  for (const LibraryCase& c : cases) {
    SCOPED_TRACE(c.sections);
    e2e::ScriptBed bed;
    std::set<std::string> modules;
    Scenario sc;
    sc.AnswerThen(e2e::Message(5), IDOK,
                  [&modules](Session& s, const BoxRecord&) { modules = LoadedModules(s.ProcessId()); },
                  1);
    RunResult r = bed.Run(e2e::AutoStartScript(c.sections), sc);
    ASSERT_TRUE(r.Clean()) << Describe(r);
    ASSERT_TRUE(modules.count("user32.dll")) << "no module list of the running program";
    EXPECT_EQ(c.shell32, modules.count("shell32.dll") == 1);
    EXPECT_FALSE(modules.count("comdlg32.dll"));
  }
}

}  // namespace
