#include "e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <vector>

#include "e2e/package_check.h"

#ifndef SETUP_EXE_PATH
#error SETUP_EXE_PATH must name Setup.exe
#endif
#ifndef SETUP_FIXTURE_DIR
#error SETUP_FIXTURE_DIR must name the fixture directory
#endif

namespace e2e {

// ---- texts ----

std::string Ansi(const char* utf8, UINT codePage) {
  if (!utf8 || !*utf8) return std::string();
  int wn = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (wn <= 0) return std::string();
  std::vector<wchar_t> w(static_cast<size_t>(wn));
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), wn);
  int an = WideCharToMultiByte(codePage, 0, w.data(), -1, nullptr, 0, nullptr, nullptr);
  if (an <= 0) return std::string();
  std::vector<char> a(static_cast<size_t>(an));
  WideCharToMultiByte(codePage, 0, w.data(), -1, a.data(), an, nullptr, nullptr);
  return std::string(a.data());
}

std::string CrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

std::string Describe(const driver::RunResult& r) { return "\n" + driver::ToUtf8(r.Log()); }

// ---- files ----

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '\\' || dir.back() == '/') return dir + name;
  return dir + "\\" + name;
}

namespace {

std::string TestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  for (char& c : name)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-')) c = '_';
  if (name.size() > 60) name.resize(60);
  return name;
}

}  // namespace

std::string MakeTempDir(const std::string& tag) {
  static unsigned counter = 0;
  char temp[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof temp, temp);
  std::string base = (n > 0 && n < sizeof temp) ? std::string(temp, n) : std::string("C:\\");
  base = JoinPath(base, "setup-e2e");
  CreateDirectoryA(base.c_str(), nullptr);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char unique[64];
    std::snprintf(unique, sizeof unique, "-%lu-%u", static_cast<unsigned long>(GetCurrentProcessId()),
                  ++counter);
    std::string dir = JoinPath(base, TestName() + (tag.empty() ? "" : "-" + tag) + unique);
    if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  ADD_FAILURE() << "cannot make a temporary directory under " << base;
  return std::string();
}

bool MakeDirs(const std::string& path) {
  if (path.empty()) return false;
  if (PathIsDir(path)) return true;
  size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0 && path[cut - 1] != ':') {
    if (!MakeDirs(path.substr(0, cut))) return false;
  }
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) MakeDirs(path.substr(0, cut));
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  CloseHandle(h);
  return ok;
}

bool ReadFileBytes(const std::string& path, std::string* bytes) {
  bytes->clear();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buf[65536];
  DWORD got = 0;
  bool ok = true;
  for (;;) {
    if (!ReadFile(h, buf, sizeof buf, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    bytes->append(buf, got);
  }
  CloseHandle(h);
  return ok;
}

bool PathIsFile(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathIsDir(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void DeleteTree(const std::string& path) {
  if (path.size() < 4) return;  // never a drive root
  DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) {  // a link goes, never what it leads to
    if (!RemoveDirectoryA(path.c_str())) RemoveSymbolicLink(path);
    return;
  }
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(JoinPath(path, "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n == "." || n == "..") continue;
      DeleteTree(JoinPath(path, n));
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

bool CopyTree(const std::string& from, const std::string& to) {
  if (!PathIsDir(from)) return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
  if (!MakeDirs(to)) return false;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(JoinPath(from, "*").c_str(), &fd);
  bool ok = true;
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n != "." && n != "..") ok = CopyTree(JoinPath(from, n), JoinPath(to, n)) && ok;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  return ok;
}

namespace {

// The host's name of a Windows path; the last part need not exist.
std::string UnixName(const std::string& path) {
  typedef char*(CDECL * ToUnix)(const WCHAR*);
  auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring wide(path.begin(), path.end());
  char* name = toUnix ? toUnix(wide.c_str()) : nullptr;
  std::string result = name ? name : "";
  if (name) HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Starts a host program (Wine starts one for a host path) and waits, up to
// five seconds, until `path` exists or not as wanted: its process handle
// cannot be waited for.
bool RunHostUntil(std::string command, const std::string& path, bool exists) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  for (int i = 0; i < 500; ++i) {
    if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == exists) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

bool MakeSymbolicLink(const std::string& target, const std::string& link) {
  std::string unixTarget = UnixName(target);
  std::string unixLink = UnixName(link);
  if (unixTarget.empty() || unixLink.empty()) return false;
  return RunHostUntil("/bin/ln -s \"" + unixTarget + "\" \"" + unixLink + "\"", link, true);
}

bool RemoveSymbolicLink(const std::string& link) {
  std::string unixLink = UnixName(link);
  return !unixLink.empty() && RunHostUntil("/bin/rm -f \"" + unixLink + "\"", link, false);
}

TempDir::~TempDir() {
  char keep[8];
  if (GetEnvironmentVariableA("SETUP_E2E_KEEP", keep, sizeof keep)) return;
  if (!path_.empty()) DeleteTree(path_);
}

// ---- packages and installations ----

bool WriteSetupDat(const std::string& packageDir, const std::string& bytes) {
  return WriteFileBytes(JoinPath(packageDir, "setup.dat"), bytes);
}

std::string FixturePath(const std::string& name) { return JoinPath(SETUP_FIXTURE_DIR, name); }

bool CopyFixture(const std::string& name, const std::string& destPath) {
  size_t cut = destPath.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) MakeDirs(destPath.substr(0, cut));
  return CopyFileA(FixturePath(name).c_str(), destPath.c_str(), FALSE) != 0;
}

std::string LocationArgs(const std::string& programDir, const std::string& iniPath) {
  return "/exe \"" + programDir + "\" /ini \"" + iniPath + "\"";
}

bool MakeInstallation(const std::string& dir, const std::string& iniText,
                      const std::string& quillonFixture) {
  if (!MakeDirs(dir)) return false;
  std::string exe = JoinPath(dir, "quillon.exe");
  bool ok = quillonFixture.empty() ? WriteFileBytes(exe, "MZ stand-in for quillon.exe")
                                   : CopyFixture(quillonFixture, exe);
  if (ok && !iniText.empty()) ok = WriteFileBytes(JoinPath(dir, "Quillon.ini"), iniText);
  return ok;
}

// ---- INI and registry ----

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& fallback) {
  char buf[4096];
  GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buf, sizeof buf,
                           file.c_str());
  return buf;
}

namespace {

const char* ValueName(const std::string& name) { return name.empty() ? nullptr : name.c_str(); }

bool RegWrite(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
              const BYTE* data, DWORD size) {
  HKEY k;
  if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr) !=
      ERROR_SUCCESS)
    return false;
  bool ok = RegSetValueExA(k, ValueName(name), 0, type, data, size) == ERROR_SUCCESS;
  RegCloseKey(k);
  return ok;
}

}  // namespace

bool RegWriteString(HKEY root, const std::string& subkey, const std::string& name,
                    const std::string& value) {
  return RegWrite(root, subkey, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                  static_cast<DWORD>(value.size() + 1));
}

bool RegWriteDword(HKEY root, const std::string& subkey, const std::string& name, DWORD value) {
  return RegWrite(root, subkey, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                  sizeof value);
}

bool RegRead(HKEY root, const std::string& subkey, const std::string& name, std::string* data,
             DWORD* type) {
  HKEY k;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
  DWORD t = 0, size = 0;
  bool ok = RegQueryValueExA(k, ValueName(name), nullptr, &t, nullptr, &size) == ERROR_SUCCESS;
  if (ok) {
    std::vector<BYTE> buf(size + 2);
    DWORD got = size;
    ok = RegQueryValueExA(k, ValueName(name), nullptr, &t, buf.data(), &got) == ERROR_SUCCESS;
    if (ok && data) {
      if ((t == REG_SZ || t == REG_EXPAND_SZ) && got > 0 && buf[got - 1] == 0) --got;
      data->assign(reinterpret_cast<const char*>(buf.data()), got);
    }
  }
  if (ok && type) *type = t;
  RegCloseKey(k);
  return ok;
}

bool RegValueExists(HKEY root, const std::string& subkey, const std::string& name) {
  return RegRead(root, subkey, name, nullptr, nullptr);
}

bool RegKeyExists(HKEY root, const std::string& subkey) {
  HKEY k;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

bool RegDeleteValueAt(HKEY root, const std::string& subkey, const std::string& name) {
  HKEY k;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return false;
  bool ok = RegDeleteValueA(k, ValueName(name)) == ERROR_SUCCESS;
  RegCloseKey(k);
  return ok;
}

bool RegDeleteTreeAt(HKEY root, const std::string& subkey) {
  if (subkey.empty()) return false;  // never a whole root
  HKEY k;
  LONG r = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ | KEY_WRITE, &k);
  if (r == ERROR_FILE_NOT_FOUND) return true;
  if (r != ERROR_SUCCESS) return false;
  std::vector<std::string> children;
  char name[512];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    if (RegEnumKeyExA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.push_back(name);
  }
  RegCloseKey(k);
  for (const std::string& c : children) RegDeleteTreeAt(root, subkey + "\\" + c);
  r = RegDeleteKeyA(root, subkey.c_str());
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

// ---- the stand-in main application ----

AppWindowLock::AppWindowLock() {
  mutex_ = CreateMutexA(nullptr, FALSE, "Local\\setup-e2e-app-window");
  if (!mutex_) {
    ADD_FAILURE() << "cannot make the application window lock";
    return;
  }
  DWORD w = WaitForSingleObject(mutex_, 150000);
  held_ = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
  if (!held_) ADD_FAILURE() << "the application window lock was not free within 150 s";
}

AppWindowLock::~AppWindowLock() {
  if (held_) ReleaseMutex(mutex_);
  if (mutex_) CloseHandle(mutex_);
}

namespace {

struct FindByClass {
  DWORD pid;
  const char* cls;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND w, LPARAM p) {
  FindByClass* f = reinterpret_cast<FindByClass*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char cls[256];
  if (pid == f->pid && GetClassNameA(w, cls, sizeof cls) && lstrcmpA(cls, f->cls) == 0) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

AppWindow::~AppWindow() {
  if (pi_.hProcess) {
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
}

bool AppWindow::Start(const std::string& className, const std::string& stopFile) {
  if (pi_.hProcess) return false;
  className_ = className;
  std::string exe = FixturePath("app_window.exe");
  std::string cmd = "\"" + exe + "\" \"" + className + "\"";
  if (!stopFile.empty()) cmd += " \"" + stopFile + "\"";
  std::vector<char> buf(cmd.begin(), cmd.end());
  buf.push_back(0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  if (!CreateProcessA(exe.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi_)) {
    pi_ = PROCESS_INFORMATION();
    return false;
  }
  for (int i = 0; i < 400; ++i) {  // up to 20 s on a busy machine
    if (Window()) return true;
    if (WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0) return false;
  }
  return false;
}

HWND AppWindow::Window() const {
  if (!pi_.hProcess) return nullptr;
  FindByClass f = {pi_.dwProcessId, className_.c_str(), nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

bool AppWindow::Running() const {
  return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

bool AppWindow::Close(DWORD waitMs) {
  if (!pi_.hProcess) return false;
  HWND w = Window();
  if (w) PostMessageA(w, WM_CLOSE, 0, 0);
  return WaitForSingleObject(pi_.hProcess, waitMs) == WAIT_OBJECT_0;
}

// ---- the log of a run ----

driver::DialogSnapshot BeforeStep(const driver::RunResult& r, size_t n) {
  driver::DialogSnapshot last;
  size_t steps = 0;
  for (const driver::Event& e : r.events) {
    if (e.kind == driver::EventKind::kDialogSnapshot) last = e.dialog;
    if (e.kind == driver::EventKind::kStep && steps++ == n) return last;
  }
  return driver::DialogSnapshot();
}

int BoxIndex(const driver::RunResult& r, const std::string& match) {
  for (size_t i = 0; i < r.events.size(); ++i) {
    const driver::Event& e = r.events[i];
    if (e.kind == driver::EventKind::kBox && (e.box.text.find(match) != std::string::npos ||
                                              e.box.caption.find(match) != std::string::npos))
      return static_cast<int>(i);
  }
  return -1;
}

int StepIndex(const driver::RunResult& r, size_t n) {
  size_t steps = 0;
  for (size_t i = 0; i < r.events.size(); ++i)
    if (r.events[i].kind == driver::EventKind::kStep && steps++ == n) return static_cast<int>(i);
  return -1;
}

// ---- Setup.exe ----

std::string SetupExe() { return SETUP_EXE_PATH; }

driver::RunResult RunSetup(const std::string& packageDir, const std::string& arguments,
                           const driver::Scenario& scenario) {
#ifdef SETUP_CHECK_EXE_PATH
  CheckPackageBeforeRun(packageDir);
#endif
  return driver::RunProgram(SetupExe(), arguments, packageDir, scenario);
}

}  // namespace e2e
