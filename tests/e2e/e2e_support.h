// Helpers of the end-to-end tests: throw-away package and installation
// directories, files, INI and registry access, the stand-in application
// window, and runs of Setup.exe through the driver.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "driver.h"

namespace e2e {

// ---- texts ----

// UTF-8 source text -> the ANSI bytes Setup uses (Windows-1250).
std::string Ansi(const char* utf8, UINT codePage = 1250);
// Lone "\n" -> "\r\n" (script files are written with CR LF).
std::string CrLf(const std::string& text);
// The log of a run in UTF-8, for assertion messages.
std::string Describe(const driver::RunResult& r);

// ---- files and directories (Windows paths, no final backslash) ----

std::string JoinPath(const std::string& dir, const std::string& name);
// A new empty directory under the system temp directory, unique for this
// test (its name carries the test's name, the process id and a counter).
std::string MakeTempDir(const std::string& tag = "");
bool MakeDirs(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);  // makes parents
bool ReadFileBytes(const std::string& path, std::string* bytes);
bool PathIsFile(const std::string& path);
bool PathIsDir(const std::string& path);
// Removes a file or a whole tree (read-only files included).
void DeleteTree(const std::string& path);
// Copies a whole tree (files with their bytes and attributes).
bool CopyTree(const std::string& from, const std::string& to);
// A symbolic link at `link` that leads to `target` (Windows paths; the
// target exists). Wine cannot make one itself (CreateSymbolicLinkA makes
// nothing there): the host's ln makes it. False when it did not appear.
bool MakeSymbolicLink(const std::string& target, const std::string& link);
// Removes such a link (Wine cannot: RemoveDirectoryA refuses it).
bool RemoveSymbolicLink(const std::string& link);

// Deletes its directory when it goes out of scope (unless SETUP_E2E_KEEP
// is set in the environment).
class TempDir {
 public:
  explicit TempDir(const std::string& tag = "") : path_(MakeTempDir(tag)) {}
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return JoinPath(path_, name); }

 private:
  std::string path_;
};

// ---- packages and installations ----

// Writes setup.dat (the bytes as given) into `packageDir`.
bool WriteSetupDat(const std::string& packageDir, const std::string& bytes);
// Makes `dir` an installation: quillon.exe (a small file, or a copy of the
// fixture `quillonFixture` from SETUP_FIXTURE_DIR when not empty) and, when
// `iniText` is not empty, Quillon.ini with that content.
bool MakeInstallation(const std::string& dir, const std::string& iniText = "",
                      const std::string& quillonFixture = "");
std::string FixturePath(const std::string& name);
bool CopyFixture(const std::string& name, const std::string& destPath);
// "/exe" and "/ini" for Setup's command line: with both the location is
// known without a question.
std::string LocationArgs(const std::string& programDir, const std::string& iniPath);

// ---- INI and registry ----

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& fallback = "");

// `root` is HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, ...; an empty name is the
// key's default value.
bool RegWriteString(HKEY root, const std::string& subkey, const std::string& name,
                    const std::string& value);
bool RegWriteDword(HKEY root, const std::string& subkey, const std::string& name, DWORD value);
// False when the key or value is missing; `type` receives REG_SZ, ... .
bool RegRead(HKEY root, const std::string& subkey, const std::string& name, std::string* data,
             DWORD* type = nullptr);
bool RegValueExists(HKEY root, const std::string& subkey, const std::string& name);
bool RegKeyExists(HKEY root, const std::string& subkey);
bool RegDeleteValueAt(HKEY root, const std::string& subkey, const std::string& name);
// Deletes the key with everything under it; true when it is gone.
bool RegDeleteTreeAt(HKEY root, const std::string& subkey);

// ---- the stand-in main application ----

// The guard looks for the application's window anywhere on the desktop, so
// tests that open such a window, or that run with "KillQuillon=1", must not
// overlap: each holds this lock (shared by all test processes) for its
// whole run.
class AppWindowLock {
 public:
  AppWindowLock();
  ~AppWindowLock();
  AppWindowLock(const AppWindowLock&) = delete;
  AppWindowLock& operator=(const AppWindowLock&) = delete;
  bool held() const { return held_; }

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
};

// app_window.exe from the fixtures: a top-level window of a given class.
class AppWindow {
 public:
  AppWindow() = default;
  ~AppWindow();
  AppWindow(const AppWindow&) = delete;
  AppWindow& operator=(const AppWindow&) = delete;
  // Starts it and waits until its window exists; `stopFile` (optional)
  // makes it close once that file appears.
  bool Start(const std::string& className, const std::string& stopFile = "");
  HWND Window() const;  // its window, or null
  bool Running() const;
  // Asks the window to close and waits for the process to end.
  bool Close(DWORD waitMs = 10000);

 private:
  PROCESS_INFORMATION pi_ = {};
  std::string className_;
};

// ---- the log of a run ----

// The dialog as it was just before step `n` (0-based) ran; an empty snapshot
// when the run never got there.
driver::DialogSnapshot BeforeStep(const driver::RunResult& r, size_t n);
// Index in the log of the first box whose text or caption mentions `match`,
// or -1.
int BoxIndex(const driver::RunResult& r, const std::string& match);
// Index in the log of step `n` (0-based), or -1.
int StepIndex(const driver::RunResult& r, size_t n);

// ---- Setup.exe ----

std::string SetupExe();
// Runs Setup.exe with `packageDir` as its current directory.
driver::RunResult RunSetup(const std::string& packageDir, const std::string& arguments,
                           const driver::Scenario& scenario);

}  // namespace e2e
