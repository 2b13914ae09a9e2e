#include "e2e/script_bed.h"

#include <algorithm>
#include <vector>

namespace e2e {

ScriptBed::ScriptBed() : pkg_("pkg"), inst_("inst"), prog_("prog") {
  WriteFileBytes(inst_ / "Quillon.ini", "[Main]\r\nName=test\r\n");
  WriteFileBytes(prog_ / "quillon.exe", "MZ stand-in for quillon.exe");
}

bool ScriptBed::PutQuillonFixture(const std::string& fixture) {
  return CopyFixture(fixture, prog_ / "quillon.exe");
}

std::string ScriptBed::LocationArgs() const {
  return e2e::LocationArgs(prog(), Inst("Quillon.ini"));
}

driver::RunResult ScriptBed::Run(const std::string& script, const driver::Scenario& scenario,
                                 const std::string& extraArgs) {
  if (!WriteSetupDat(pkg(), script)) {
    driver::RunResult failed;
    failed.error = "cannot write setup.dat";
    return failed;
  }
  std::string args = LocationArgs();
  if (!extraArgs.empty()) args += " " + extraArgs;
  return RunSetup(pkg(), args, scenario);
}

driver::Scenario FinalAnswers() {
  driver::Scenario sc;
  sc.Answer(CzFinalErrors(), IDOK, 1);
  sc.Answer(Message(5), IDOK, 1);
  return sc;
}

const driver::BoxRecord* FinalErrorBox(const driver::RunResult& r) {
  return r.FindBox(CzFinalErrors());
}

std::string FinalErrorDetail(const driver::RunResult& r) {
  const driver::BoxRecord* box = FinalErrorBox(r);
  if (!box) return "<none>";
  const std::string head = CzFinalErrors();
  if (box->text.compare(0, head.size(), head) != 0) return "<bad head: " + box->text + ">";
  return box->text.substr(head.size());
}

std::string FileText(const std::string& path) {
  std::string bytes;
  if (!PathIsFile(path) || !ReadFileBytes(path, &bytes)) return "<missing>";
  return bytes;
}

bool IsReadOnly(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

bool MakeReadOnly(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES &&
         SetFileAttributesA(path.c_str(), a | FILE_ATTRIBUTE_READONLY) != 0;
}

bool ReadOnlyRefusesWrites() {
  TempDir dir("probe");
  std::string probe = dir / "readonly.probe";
  HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_READONLY, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  bool refused = file == INVALID_HANDLE_VALUE;
  if (!refused) CloseHandle(file);
  return refused;
}

bool WriteFiles(const std::string& dir, std::initializer_list<const char*> names) {
  bool ok = true;
  // Each file holds its own name, so a copy shows where it came from.
  for (const char* name : names) ok = WriteFileBytes(JoinPath(dir, name), name) && ok;
  return ok;
}

std::string Listing(const std::string& dir, const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(JoinPath(dir, pattern).c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n != "." && n != "..") names.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

FileLock::FileLock(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void FileLock::Release() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

EnvVar::EnvVar(const char* name, const std::string& value) : name_(name), hadOld_(false) {
  char buf[32768];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  if (n > 0 && n < sizeof buf) {
    old_.assign(buf, n);
    hadOld_ = true;
  }
  SetEnvironmentVariableA(name, value.c_str());
}

EnvVar::~EnvVar() { SetEnvironmentVariableA(name_.c_str(), hadOld_ ? old_.c_str() : nullptr); }

}  // namespace e2e
