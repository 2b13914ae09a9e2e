// Setup.exe loads the shell and common-dialog libraries only when a line
// needs them: the modules of the running program are read while its final
// message waits for OK. (Wine's own user32 loads ole32 in any case.)
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "e2e/e2e_cases.h"
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

namespace {

// A version.dll beside Setup.exe (the package directory) is never loaded:
// Setup loads version.dll by full path from the system directory, and the
// libraries it loads take theirs from there too. Wine is told to prefer a
// library beside the program, as Windows does for any library that is no
// known system library (Wine's per-program DllOverrides; WINEDLLOVERRIDES
// would reach only programs started from the host); a program that imports
// version.dll the ordinary way shows that the planted one is then found.
// Wine's own user32 imports version.dll (Windows' does not, and is a known
// system library), so under Wine the planted library is loaded at every
// start: what counts is that none of Setup's version calls reach it.
TEST(LoadedLibraries, APlantedVersionDllBesideSetupIsNeverLoaded) {
  e2e::ScriptBed bed;
  ASSERT_TRUE(bed.PutQuillonFixture("version_3_10_0_5.exe"));
  const std::string setup = bed.Pkg("Setup.exe");
  const std::string marks = bed.Pkg("planted.log");
  ASSERT_TRUE(CopyFileA(e2e::SetupExe().c_str(), setup.c_str(), FALSE));
  ASSERT_TRUE(e2e::CopyFixture("planted\\version.dll", bed.Pkg("version.dll")));
  ASSERT_TRUE(e2e::CopyFixture("version_user.exe", bed.Pkg("version_user.exe")));
  const char kOverrides[] = "Software\\Wine\\AppDefaults\\%s";
  e2e::RegistryKeysGuard search({{HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Setup.exe"},
                                 {HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\version_user.exe"}});
  for (const char* program : {"Setup.exe", "version_user.exe"}) {
    char key[128];
    std::snprintf(key, sizeof key, kOverrides, program);
    ASSERT_TRUE(e2e::RegWriteString(HKEY_CURRENT_USER, std::string(key) + "\\DllOverrides",
                                    "version", "native,builtin"));
  }

  driver::RunProgram(bed.Pkg("version_user.exe"), "", bed.pkg(), Scenario());
  ASSERT_NE(std::string::npos, e2e::FileText(marks).find("GetFileVersionInfoSizeA"))
      << "Wine did not look beside the program first";
  ASSERT_TRUE(DeleteFileA(marks.c_str()));

  // A file version, the version gate, and a shell folder (shell32, which
  // imports version.dll itself).
  ASSERT_TRUE(e2e::WriteSetupDat(
      bed.pkg(), e2e::AutoStartScript("VerProg={exe}quillon.exe\nMinVer=3.0.0.0:\n[WriteIni]\n"
                                      "{des}v.ini=S;Version;{fver={exe}quillon.exe}\n"
                                      "{des}v.ini=S;Desktop;{desktop}\n")));
  RunResult r = driver::RunProgram(setup, bed.LocationArgs(), bed.pkg(), e2e::WithSuccess());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ("3.10.0.5", e2e::ReadIni(bed.Inst("v.ini"), "S", "Version"));
  EXPECT_NE("", e2e::ReadIni(bed.Inst("v.ini"), "S", "Desktop"));
  EXPECT_EQ(std::string::npos, e2e::FileText(marks).find("A\r\n")) << e2e::FileText(marks);
}

}  // namespace
