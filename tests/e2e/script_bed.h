// Runs of whole scripts: a package, an installation and a program directory
// per test, a command line that names the installation so that the run needs
// no questions, and small helpers to look at files after the run.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "driver.h"
#include "e2e/e2e_cases.h"
#include "e2e/e2e_support.h"

namespace e2e {

class ScriptBed {
 public:
  ScriptBed();
  ScriptBed(const ScriptBed&) = delete;
  ScriptBed& operator=(const ScriptBed&) = delete;

  const std::string& pkg() const { return pkg_.path(); }
  const std::string& inst() const { return inst_.path(); }
  const std::string& prog() const { return prog_.path(); }
  std::string Pkg(const std::string& name) const { return pkg_ / name; }
  std::string Inst(const std::string& name) const { return inst_ / name; }
  std::string Prog(const std::string& name) const { return prog_ / name; }
  // For RECORDER_LOG: recorder.exe appends its parameters and then, after a
  // pause, "done" to it. It lies in the package so that [Copy] can take it.
  std::string RecorderLog() const { return Pkg("recorder.log"); }

  // quillon.exe in the program directory: a copy of a fixture, or bytes.
  bool PutQuillonFixture(const std::string& fixture);
  // "/exe" and "/ini": with both the location is known.
  std::string LocationArgs() const;
  // Writes setup.dat and runs Setup.exe in the package directory.
  driver::RunResult Run(const std::string& script, const driver::Scenario& scenario,
                        const std::string& extraArgs = "");

 private:
  TempDir pkg_;
  TempDir inst_;
  TempDir prog_;
};

// OK to the final boxes: the success message (default ByeMsg) and message 37.
driver::Scenario FinalAnswers();
// The box of message 37, or null.
const driver::BoxRecord* FinalErrorBox(const driver::RunResult& r);
// Its text after the fixed head (the most recent failure), or "<none>".
std::string FinalErrorDetail(const driver::RunResult& r);

// The whole content of a file, or "<missing>".
std::string FileText(const std::string& path);
bool IsReadOnly(const std::string& path);
bool MakeReadOnly(const std::string& path);
// True when the read-only attribute stops writes, as for every Windows
// user; false for Wine run as root.
bool ReadOnlyRefusesWrites();
bool WriteFiles(const std::string& dir, std::initializer_list<const char*> names);
// The names in a directory that match `pattern` (files and directories),
// sorted, blank-separated.
std::string Listing(const std::string& dir, const std::string& pattern = "*");

// Holds a file open without any sharing, so that no one else can open it.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release();

 private:
  HANDLE handle_;
};

// Sets an environment variable of this process (inherited by Setup and the
// programs it starts) for the lifetime of the object.
class EnvVar {
 public:
  EnvVar(const char* name, const std::string& value);
  ~EnvVar();
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool hadOld_;
};

}  // namespace e2e
