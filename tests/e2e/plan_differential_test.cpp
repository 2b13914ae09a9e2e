// The rehearsal against the run it rehearses. Packages are generated from
// fixed seeds; each is rehearsed (/plan) and then installed, both unattended
// with a log. The installation (files, INI entries) and the registry are
// taken before and after, and compared item by item with the state the PLAN
// events predict and with the state the run's log describes: every change
// predicted with its new value, every prediction that an earlier line's
// change decides marked so, the exit code foreseen, the log true to what
// happened, old values as they were, and both in the same order.
//
// A subset of the seeds runs by default; SETUP_DIFF_SEEDS=all runs the whole
// table, SETUP_DIFF_SEEDS=3,17 the seeds named. SETUP_DIFF_EXE names another
// Setup.exe to measure (the figures are printed either way). The generated
// packages hold missing sources and the like on purpose, so they do not go
// through setupcheck.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_cases.h"
#include "e2e/script_bed.h"
#include "e2e/snapshot.h"

namespace {

const char kKeyBase[] = "Software\\SetupE2E\\Differential";
const char kShownKeyBase[] = "HKCU\\Software\\SetupE2E\\Differential";
const char kRemark[] = "; an earlier line would change it";

// The first kDefaultSeeds of the table run by default: between them they
// hold every kind of fragment, every line that stops a run, rollback and a
// package-wide refusal.
const unsigned kSeeds[] = {1616, 202,  404,  606,  1010, 3737, 101,  303,  505,  707,
                           808,  909,  1111, 1212, 1313, 1414, 1515, 1717, 1818, 1919,
                           2020, 2121, 2222, 2323, 2424, 2525, 2626, 2727, 2828, 2929,
                           3030, 3131, 3232, 3333, 3434, 3535, 3636, 3838, 3939, 4040};
const size_t kDefaultSeeds = 8;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

// ---- states: item name -> value -------------------------------------------
// "F path" a file's bytes or "<dir>"; "I file|section|key" an INI value;
// "K key" a registry key; "R key|name" a registry value as "TYPE data".
using State = std::map<std::string, std::string>;

// A registry value as the log shows it (the README's forms).
std::string TypedValue(DWORD type, const BYTE* data, DWORD size) {
  char part[64];
  std::string text;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::string value(reinterpret_cast<const char*>(data), size);
      value = value.substr(0, value.find('\0'));
      return std::string(type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ") + " \"" + value + "\"";
    }
    case REG_MULTI_SZ: {
      text = "REG_MULTI_SZ";
      std::string all(reinterpret_cast<const char*>(data), size);
      for (size_t at = 0; at < all.size() && all[at] != '\0';) {
        size_t end = all.find('\0', at);
        if (end == std::string::npos) end = all.size();
        text += " \"" + all.substr(at, end - at) + "\"";
        at = end + 1;
      }
      return text;
    }
    case REG_DWORD:
      if (size == 4) {
        DWORD value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
        std::snprintf(part, sizeof part, "REG_DWORD %lu (0x%08lx)", static_cast<unsigned long>(value),
                      static_cast<unsigned long>(value));
        return part;
      }
      break;
    case REG_BINARY:
      text = "REG_BINARY";
      for (DWORD i = 0; i < size; ++i) {
        std::snprintf(part, sizeof part, " %02x", data[i]);
        text += part;
      }
      return text;
  }
  std::snprintf(part, sizeof part, "type %lu", static_cast<unsigned long>(type));
  text = part;
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(part, sizeof part, " %02x", data[i]);
    text += part;
  }
  return text;
}

// INI entries as the profile functions read them: names without regard to
// case, blanks around them dropped.
void AddIni(State* state, const std::string& path, const std::string& bytes) {
  std::string section;
  size_t at = 0;
  auto trim = [](std::string s) {
    size_t b = s.find_first_not_of(" \t\r");
    size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
  };
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = trim(bytes.substr(at, end - at));
    at = end + 1;
    if (!line.empty() && line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
    } else if (line.find('=') != std::string::npos && !section.empty()) {
      size_t eq = line.find('=');
      (*state)["I " + Lower(path) + "|" + Lower(section) + "|" + Lower(trim(line.substr(0, eq)))] =
          trim(line.substr(eq + 1));
    }
  }
}

void AddTree(State* state, const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(e2e::JoinPath(dir, "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == ".." || Lower(name) == "setup-rollback") continue;
    std::string path = e2e::JoinPath(dir, name);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*state)["F " + Lower(path)] = "<dir>";
      AddTree(state, path);
      continue;
    }
    std::string bytes;
    e2e::ReadFileBytes(path, &bytes);
    if (name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".ini") {
      AddIni(state, path, bytes);  // an INI file counts by its entries
    } else {
      (*state)["F " + Lower(path)] = bytes;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

void AddKey(State* state, HKEY key, const std::string& shown) {
  (*state)["K " + Lower(shown)] = "key";
  char name[512];
  BYTE data[4096];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) {
      break;
    }
    (*state)["R " + Lower(shown) + "|" + Lower(name)] = TypedValue(type, data, dataSize);
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    HKEY child = nullptr;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
      AddKey(state, child, shown + "\\" + name);
      RegCloseKey(child);
    }
  }
}

// ---- the generated package ---------------------------------------------------

// A file held open by the test for both runs.
struct Held {
  HANDLE handle;
  explicit Held(const std::string& path, DWORD share)
      : handle(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~Held() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

struct Generator {
  Generator(e2e::ScriptBed& bedToFill, unsigned seed) : bed(bedToFill), random(seed) {}
  e2e::ScriptBed& bed;
  std::mt19937 random;
  std::vector<std::pair<std::string, std::string>> lines;  // section, line
  std::string options, definitions;
  std::vector<std::pair<std::string, DWORD>> holds;  // path, sharing
  bool stopper = false;                               // a line that makes the run stop

  int Pick(int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  void Line(const std::string& section, const std::string& text) { lines.push_back({section, text}); }
  void Pkg(const std::string& name, const std::string& bytes) { e2e::WriteFileBytes(bed.Pkg(name), bytes); }
  void Inst(const std::string& name, const std::string& bytes) { e2e::WriteFileBytes(bed.Inst(name), bytes); }
  std::string Key(const std::string& sub) const { return std::string(kKeyBase) + "\\" + sub; }

  // One piece of a package; `n` keeps its names apart from the others'.
  void Fragment(int kind, const std::string& n) {
    switch (kind) {
      case 0:  // new files by a wildcard
        Pkg("n" + n + "a.txt", "new a " + n);
        Pkg("n" + n + "b.txt", "new b " + n);
        Line("Copy", "n" + n + "*.txt");
        break;
      case 1:  // a replaced file
        Inst("r" + n + ".dat", "old " + n);
        Pkg("r" + n + ".dat", "replacement " + n);
        Line("Copy", "r" + n + ".dat");
        break;
      case 2:  // a wildcard with exclusions into a new directory
        Pkg("w" + n + "_keep.dll", "keep " + n);
        Pkg("w" + n + "_old.dll", "old " + n);
        Pkg("w" + n + "_x.dll", "x " + n);
        Line("Copy", "w" + n + "_*.dll=lib" + n + "\\|w" + n + "_old*.dll");
        break;
      case 3:  // a subdirectory two levels deep
        Pkg("sub" + n + "\\deep.txt", "deep " + n);
        Line("Copy", "sub" + n + "\\deep.txt=deep" + n + "\\nested\\");
        break;
      case 4: {  // a busy program, with or without a leftover (in use or not)
        Inst("tool" + n + ".exe", "old program " + n);
        Pkg("tool" + n + ".exe", "new program " + n);
        holds.push_back({bed.Inst("tool" + n + ".exe"), FILE_SHARE_READ | FILE_SHARE_DELETE});
        int leftover = Pick(3);
        if (leftover > 0) Inst("tool" + n + ".exe.(0)", "leftover " + n);
        if (leftover == 2) holds.push_back({bed.Inst("tool" + n + ".exe.(0)"), FILE_SHARE_READ});
        Line("Copy", "tool" + n + ".exe");
        break;
      }
      case 5:  // a new program where leftovers of an earlier update lie
        Inst("newp" + n + ".exe.(0)", "leftover " + n);
        Inst("newp" + n + ".exe.(2)", "leftover 2 " + n);
        Pkg("newp" + n + ".exe", "new program " + n);
        Line("Copy", "newp" + n + ".exe");
        break;
      case 6:  // a missing named source (answered Yes) and a pattern that finds nothing
        Line("Copy", "missing" + n + ".txt");
        Line("Copy", "none" + n + "*.txt");
        break;
      case 7:  // files copied, then deleted by a later pattern
        Pkg("ct" + n + "a.tmp", "temporary " + n);
        Pkg("ct" + n + "b.tmp", "temporary b " + n);
        Inst("ctdir" + n + "\\keep.tmpx", "kept " + n);
        Line("Copy", "ct" + n + "*.tmp=ctdir" + n + "\\");
        Line("Delete", "{des}ctdir" + n + "\\*.tmp");
        break;
      case 8:  // [Delete] by a pattern
        Inst("d" + n + "a.tmp", "a");
        Inst("d" + n + "b.tmp", "b");
        Inst("d" + n + "c.tmpx", "c");
        Line("Delete", "{des}d" + n + "*.tmp");
        break;
      case 9:  // [ChangeDir] and relative lines
        Inst("cd" + n + "\\m.txt", "moved " + n);
        Inst("cd" + n + "\\x.log", "log " + n);
        Line("ChangeDir", "{des}cd" + n);
        Line("Move", "m.txt=m2.txt");
        Line("Delete", "cd" + n + "\\*.log");  // relative to cd<n>: nothing there
        Line("Delete", "..\\cd" + n + "\\*.log");
        Line("ChangeDir", "{des}");
        break;
      case 10:  // a directory an earlier line makes, entered and changed
        Pkg("cm" + n + ".txt", "made " + n);
        Line("Copy", "cm" + n + ".txt=made" + n + "\\");
        Line("ChangeDir", "{des}made" + n);
        Line("Move", "cm" + n + ".txt=cm" + n + ".moved");
        Line("ChangeDir", "{des}");
        break;
      case 11:  // [Move], onto a free and onto a taken name
        Inst("mv" + n + ".txt", "move " + n);
        Inst("mt" + n + ".txt", "stays " + n);
        Inst("mt" + n + ".old", "in the way " + n);
        Line("Move", "{des}mv" + n + ".txt={des}mv" + n + ".new");
        Line("Move", "{des}mt" + n + ".txt={des}mt" + n + ".old");
        break;
      case 12:  // INI entries: new, replaced, twice, a new file, a missing directory
        Line("WriteIni", "{des}Quillon.ini=Main;Name;named" + n);
        Line("WriteIni", "{des}Quillon.ini=Sec" + n + ";Key;first");
        Line("WriteIni", "{des}Quillon.ini=Sec" + n + ";Key;second");
        Line("WriteIni", "{des}app" + n + ".ini=S;K;V" + n);
        Line("WriteIni", "{des}nodir" + n + "\\x.ini=S;K;V");
        break;
      case 13:  // INI deletions: a key, a section, a key already gone
        Inst("del" + n + ".ini", "[A]\r\nOne=1\r\nTwo=2\r\n[B]\r\nThree=3\r\n");
        Line("DelIni", "{des}del" + n + ".ini=A;One");
        Line("DelIni", "{des}del" + n + ".ini=B;;");
        Line("DelIni", "{des}del" + n + ".ini=A;Gone");
        Line("WriteIni", "{des}del" + n + ".ini=B;Back;again");
        break;
      case 14: {  // registry values of several types, overwritten and deleted
        std::string key = Key("T" + n);
        e2e::RegWriteDword(HKEY_CURRENT_USER, key, "Dw", 1234);
        e2e::RegWriteDword(HKEY_CURRENT_USER, key, "Zero", 0);
        const BYTE binary[] = {0x41, 0x42, 0x43, 0x00};
        const char multi[] = "a\0b\0";
        const char expand[] = "%x%";
        HKEY h;
        RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr);
        RegSetValueExA(h, "Bin", 0, REG_BINARY, binary, sizeof binary);
        RegSetValueExA(h, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
        RegSetValueExA(h, "Exp", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand), sizeof expand);
        RegCloseKey(h);
        Line("WriteReg", "HKCU;" + key + ";Dw;text" + n);
        Line("WriteReg", "HKCU;" + key + ";Bin;b");
        Line("DelReg", "HKCU;" + key + ";Multi;");
        Line("DelReg", "HKCU;" + key + ";Zero;");
        Line("DelReg", "HKCU;" + key + ";Absent;");
        Line("WriteReg", "HKCU;" + key + ";Exp;e");
        break;
      }
      case 15: {  // keys made, written twice, deleted when empty
        std::string key = Key("N" + n);
        Line("WriteReg", "HKCU;" + key + "\\Deep;Name;one");
        Line("WriteReg", "HKCU;" + key + "\\Deep;Name;two");
        Line("WriteReg", "HKCU;" + key + "\\Other;;default");
        Line("DelReg", "HKCU;" + key + "\\Deep;Name;");
        Line("DelReg", "HKCU;" + key + "\\Deep;");
        Line("DelReg", "HKCU;" + key + ";");
        break;
      }
      case 16: {  // a version gate on a program that an earlier line replaces
        e2e::CopyFixture("version_4_0_0_1.exe", bed.Pkg("qv" + n + ".exe"));
        Pkg("vg" + n + ".txt", "gated " + n);
        Line("Copy", "qv" + n + ".exe={exe}quillon.exe");
        std::string gate = "VersionCopy#" + n;
        Line(gate, "VerProg={exe}quillon.exe");
        Line(gate, "MinVer=4.0.0.0:");
        Line(gate, "vg" + n + ".txt");
        break;
      }
      case 17: {  // a gate that refuses, and one that an untouched program meets
        Pkg("vr" + n + ".txt", "refused " + n);
        Pkg("vm" + n + ".txt", "met " + n);
        std::string refuse = "VersionCopy#r" + n, meet = "VersionCopy#m" + n;
        Line(refuse, "VerProg={exe}quillon.exe");
        Line(refuse, "MinVer=9.0.0.0:");
        Line(refuse, "vr" + n + ".txt");
        Line(meet, "VerProg={exe}quillon.exe");
        Line(meet, "MaxVer=9.0.0.0:");
        Line(meet, "vm" + n + ".txt");
        break;
      }
      case 18:  // a definition used by a later line
        Pkg("def" + n + ".txt", "defined " + n);
        Line("Copy", "def" + n + ".txt={ini=DataDir}");
        break;
      case 19:  // a program an earlier line brings, then started
        Line("Copy", e2e::FixturePath("recorder.exe") + "=rec" + n + "\\");
        Line("Run", "{des}rec" + n + "\\recorder.exe 'copied " + n + "'");
        Line("Run", e2e::FixturePath("recorder.exe") + " 'fixture " + n + "'");
        break;
    }
  }

  // A line that the run answers Abort, which ends it.
  void Stopper(const std::string& n) {
    stopper = true;
    switch (Pick(3)) {
      case 0:
        Pkg("b" + n + ".txt", "bad " + n);
        Line("Copy", "b" + n + ".txt=bad<name" + n + "\\");
        break;
      case 1:
        Pkg("lock" + n + ".txt", "locked " + n);
        holds.push_back({bed.Pkg("lock" + n + ".txt"), 0});
        Line("Copy", "lock" + n + ".txt");
        break;
      default:
        Line("Run", "nothere" + n + "-e2e.exe 'x'");
        break;
    }
  }

  std::string Generate() {
    Inst("Quillon.ini", "[Main]\r\nName=test\r\n[Paths]\r\nDataDir=" + bed.Inst("data") + "\r\n");
    e2e::CopyFixture("version_3_10_0_5.exe", bed.Prog("quillon.exe"));
    e2e::RegWriteString(HKEY_CURRENT_USER, kKeyBase, "Base", "kept");
    definitions = "[readini]\r\nDataDir={des}Quillon.ini;Paths;DataDir\r\n";
    if (Chance(25)) options += "Rollback=1\r\n";
    if (Chance(5)) options += "VerProg={exe}quillon.exe\r\nMinVer=9.0.0.0:\r\n";
    int fragments = 4 + Pick(6);
    int stopAt = Chance(40) ? Pick(fragments + 1) : -1;
    for (int i = 0; i <= fragments; ++i) {
      if (i == stopAt) Stopper(std::to_string(i));
      if (i < fragments) Fragment(Pick(20), std::to_string(i));
    }
    std::string script = "[Options]\r\nSkipWelcome=1\r\n" + options + definitions;
    std::string section;
    for (const auto& line : lines) {
      if (line.first != section) {
        section = line.first;
        script += "[" + section.substr(0, section.find('#')) + "]\r\n";
      }
      script += line.second + "\r\n";
    }
    return script;
  }
};

// ---- replaying a log onto a state ---------------------------------------------

// The figures of one comparison.
struct Figures {
  int exact = 0, missing = 0, wrong = 0;
};

struct Replay {
  State state;
  const State* sources = nullptr;  // the package's files, read before the runs
  std::string cwd;
  std::vector<std::string> sequence;  // what each event names, in order
  std::set<std::string> changed;      // items an earlier line changed
  std::set<std::string> changing;     // items the line in hand changed
  int oldWrong = 0, unmarked = 0, overmarked = 0;
  int exitCode = -1;
  bool stopped = false;
  std::vector<std::string> notes;

  void Note(const std::string& text) {
    if (notes.size() < 12) notes.push_back(text);
  }
  std::string Resolve(const std::string& path) const {
    std::string joined = path.find(':') != std::string::npos || StartsWith(path, "\\\\")
                             ? path
                             : e2e::JoinPath(cwd, path);
    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(joined.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full, length) : joined;
  }
  std::string File(const std::string& path) const { return "F " + Lower(Resolve(path)); }
  std::string Content(const std::string& path) const {
    std::string key = File(path);
    auto found = state.find(key);
    if (found != state.end()) return found->second;
    found = sources->find(key);
    if (found != sources->end()) return found->second;
    std::string bytes;
    e2e::ReadFileBytes(Resolve(path), &bytes);
    return bytes;
  }
  void CheckOld(const std::string& item, const std::string& claimed, const std::string& line) {
    auto found = state.find(item);
    std::string actual = found == state.end() ? "absent" : found->second;
    if (claimed != actual) {
      ++oldWrong;
      Note("old value \"" + claimed + "\" where it was \"" + actual + "\": " + line);
    }
  }
  // The parents of an item: directories of a file, keys above a value or
  // key, the section of an INI entry.
  static std::vector<std::string> Parents(const std::string& item) {
    std::vector<std::string> parents;
    std::string body = item.substr(2);
    char kind = item[0];
    if (kind == 'I') {
      parents.push_back("S " + body.substr(0, body.rfind('|')));
      return parents;
    }
    if (kind == 'R') {
      body = body.substr(0, body.find('|'));
      parents.push_back("K " + body);
    }
    for (size_t cut = body.rfind('\\'); cut != std::string::npos && cut > 2; cut = body.rfind('\\', cut - 1)) {
      parents.push_back((kind == 'F' ? "F " : "K ") + body.substr(0, cut));
    }
    return parents;
  }
  // The remark must stand where an earlier event changed what this one
  // names (or, for an INI entry or registry value, its section or key), and
  // may stand where it changed something above it.
  void CheckMark(const std::vector<std::string>& items, bool marked, const std::string& line) {
    bool required = false, allowed = false;
    for (const std::string& item : items) {
      if (changed.count(item)) required = true;
      std::vector<std::string> parents = Parents(item);
      for (size_t i = 0; i < parents.size(); ++i) {
        if (!changed.count(parents[i])) continue;
        allowed = true;
        if (i == 0 && (item[0] == 'I' || item[0] == 'R')) required = true;
      }
    }
    if (required && !marked) {
      ++unmarked;
      Note("unmarked: " + line);
    } else if (marked && !required && !allowed) {
      ++overmarked;
      Note("marked without cause: " + line);
    }
  }
};

// The text between the quote at or after *at and the next one.
bool Quoted(const std::string& text, size_t* at, std::string* out) {
  size_t open = text.find('"', *at);
  if (open == std::string::npos) return false;
  size_t close = text.find('"', open + 1);
  if (close == std::string::npos) return false;
  *out = text.substr(open + 1, close - open - 1);
  *at = close + 1;
  return true;
}

// What follows the item an event names: the text after its ": ", or "".
std::string Outcome(const std::string& rest, size_t at) {
  return at + 2 <= rest.size() ? rest.substr(at + 2) : std::string();
}

bool Failed(const std::string& outcome) {
  return StartsWith(outcome, "failed") || StartsWith(outcome, "would fail") ||
         StartsWith(outcome, "could not be started") || outcome.find(": failed") != std::string::npos ||
         outcome.find(": would fail") != std::string::npos || StartsWith(outcome, "would not move");
}

// Applies one event (without its time stamp) to the replay.
void Apply(Replay* r, std::string line) {
  const bool plan = StartsWith(line, "PLAN ");
  const std::string original = line;
  if (plan) line = line.substr(5);
  bool marked = false;
  size_t remark = line.find(kRemark);
  if (remark != std::string::npos) {
    marked = true;
    line.erase(remark, std::string(kRemark).size());
    // The older rehearsal went on with ": planned from its present state".
    const std::string older = ": planned from its present state";
    if (line.compare(remark, older.size(), older) == 0) line.erase(remark, older.size());
  }
  size_t relative = line.find("; relative to \"");
  if (relative != std::string::npos) line = line.substr(0, relative);
  const size_t space = line.find(' ');
  const std::string kind = line.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
  size_t at = 0;

  if (kind == "LINE") {
    r->changed.insert(r->changing.begin(), r->changing.end());
    r->changing.clear();
  } else if (kind == "END") {
    size_t code = rest.rfind("exit code ");
    if (code != std::string::npos) r->exitCode = std::atoi(rest.c_str() + code + 10);
    r->stopped = rest.find("stopped: yes") != std::string::npos;
  } else if (kind == "CHANGEDIR") {
    std::string dir;
    if (Quoted(rest, &at, &dir) && !Failed(Outcome(rest, at))) r->cwd = r->Resolve(dir);
  } else if (kind == "COPY" || kind == "MOVE") {
    std::string source, target;
    if (!Quoted(rest, &at, &source)) return;
    if (rest.compare(at, 4, " -> ") != 0 || !Quoted(rest, &at, &target)) {
      if (Failed(Outcome(rest, at))) r->sequence.push_back(kind + "! " + Lower(r->Resolve(source)));
      return;
    }
    std::string outcome = Outcome(rest, at);
    std::string s = r->File(source), t = r->File(target);
    if (Failed(outcome)) {
      r->sequence.push_back(kind + "! " + t);
      return;
    }
    std::string aside;
    size_t renamed = outcome.find("renamed to \"");
    if (renamed != std::string::npos) {
      size_t from = renamed + 11;
      Quoted(outcome, &from, &aside);
      aside = r->File(aside);
    }
    if (plan) r->CheckMark({s, t, aside.empty() ? t : aside}, marked, original);
    if (kind == "COPY" && StartsWith(outcome, "new")) r->CheckOld(t, "absent", original);
    if (!aside.empty()) {
      r->state[aside] = r->state[t];
      r->changing.insert(aside);
    }
    r->state[t] = r->Content(source);
    r->changing.insert(t);
    if (kind == "MOVE") {
      r->state.erase(s);
      r->changing.insert(s);
    }
    r->sequence.push_back(kind + " " + t);
  } else if (kind == "DELETE" || kind == "MKDIR") {
    std::string path;
    if (!Quoted(rest, &at, &path)) return;
    std::string outcome = Outcome(rest, at);
    if (StartsWith(outcome, "no file matches") || StartsWith(outcome, "no extension") ||
        StartsWith(outcome, "no directory")) {
      return;
    }
    std::string item = r->File(path);
    if (Failed(outcome)) {
      r->sequence.push_back(kind + "! " + item);
      return;
    }
    if (plan) r->CheckMark({item}, marked, original);
    if (kind == "DELETE") {
      if (!r->state.count(item)) r->CheckOld(item, "present", original);
      r->state.erase(item);
    } else {
      r->state[item] = "<dir>";
    }
    r->changing.insert(item);
    r->sequence.push_back(kind + " " + item);
  } else if (kind == "INI") {
    std::string file;
    if (!Quoted(rest, &at, &file) || rest.compare(at, 2, " [") != 0) return;
    size_t close = rest.find(']', at);
    std::string section = rest.substr(at + 2, close - at - 2);
    std::string where = Lower(file) + "|" + Lower(section);
    at = close + 1;
    if (rest.compare(at, 2, ": ") == 0) {  // the whole section
      if (Failed(rest.substr(at + 2))) {
        r->sequence.push_back("INI! " + where);
        return;
      }
      if (plan) r->CheckMark({"S " + where}, marked, original);
      for (auto it = r->state.begin(); it != r->state.end();) {
        it = StartsWith(it->first, "I " + where + "|") ? r->state.erase(it) : std::next(it);
      }
      r->changing.insert("S " + where);
      r->sequence.push_back("INI " + where);
      return;
    }
    size_t colon = rest.find(": ", at);
    std::string item = "I " + where + "|" + Lower(rest.substr(at + 1, colon - at - 1));
    std::string change = rest.substr(colon + 2);
    size_t arrow = change.find(" -> ");
    if (arrow == std::string::npos) {  // nothing to delete
      r->sequence.push_back("INI- " + item);
      return;
    }
    std::string old = change.substr(0, arrow), fresh = change.substr(arrow + 4);
    if (Failed(fresh)) {
      r->sequence.push_back("INI! " + item);
      return;
    }
    if (plan) r->CheckMark({item}, marked, original);
    r->CheckOld(item, old == "absent" ? old : old.substr(1, old.size() - 2), original);
    if (fresh == "deleted") {
      r->state.erase(item);
    } else {
      r->state[item] = fresh.substr(1, fresh.size() - 2);
    }
    r->changing.insert(item);
    r->sequence.push_back("INI " + item);
  } else if (kind == "REG") {
    size_t value = rest.find(" value \"");
    size_t colon = rest.find(": ");
    if (colon == std::string::npos || StartsWith(rest, "\"")) return;
    std::string key = Lower(rest.substr(0, std::min(value, colon)));
    std::string outcome;
    std::string item;
    if (value != std::string::npos && value < colon) {
      size_t from = value + 7;
      std::string name;
      Quoted(rest, &from, &name);
      if (name == "(default)") name.clear();
      item = "R " + key + "|" + Lower(name);
      outcome = rest.substr(from + 2);
    } else {
      item = "K " + key;
      outcome = rest.substr(colon + 2);
    }
    if (Failed(outcome)) {
      r->sequence.push_back("REG! " + item);
      return;
    }
    if (item[0] == 'K') {
      if (StartsWith(outcome, "key created") || StartsWith(outcome, "the key would be created")) {
        if (plan) r->CheckMark({item}, marked, original);
        r->state[item] = "key";
        r->state["R " + key + "|"] = "REG_SZ \"\"";
      } else if (StartsWith(outcome, "key deleted")) {
        if (plan) r->CheckMark({item}, marked, original);
        for (auto it = r->state.begin(); it != r->state.end();) {
          it = StartsWith(it->first, "R " + key + "|") || it->first == item ? r->state.erase(it)
                                                                            : std::next(it);
        }
      } else {
        r->sequence.push_back("REG- " + item);
        return;
      }
      r->changing.insert(item);
      r->sequence.push_back("REG " + item);
      return;
    }
    size_t arrow = outcome.find(" -> ");
    if (arrow == std::string::npos) {
      r->sequence.push_back("REG- " + item);
      return;
    }
    std::string old = outcome.substr(0, arrow), fresh = outcome.substr(arrow + 4);
    if (plan) r->CheckMark({item}, marked, original);
    // The older log wrote values untyped, as text.
    r->CheckOld(item, StartsWith(old, "\"") ? "REG_SZ " + old : old, original);
    if (fresh == "deleted") {
      r->state.erase(item);
    } else {
      r->state[item] = StartsWith(fresh, "\"") ? "REG_SZ " + fresh : fresh;
    }
    r->changing.insert(item);
    r->sequence.push_back("REG " + item);
  } else if (kind == "RUN") {
    std::string program, parameters;
    if (!Quoted(rest, &at, &program) || !Quoted(rest, &at, &parameters)) return;
    r->sequence.push_back((Failed(Outcome(rest, at)) ? "RUN! " : "RUN ") + Lower(program));
  }
}

// Items that changed in `actual` or in `predicted` against `before`.
Figures Compare(const State& before, const State& predicted, const State& actual,
                std::vector<std::string>* notes) {
  std::set<std::string> items;
  for (const State* s : {&before, &predicted, &actual}) {
    for (const auto& entry : *s) items.insert(entry.first);
  }
  auto value = [](const State& s, const std::string& item) {
    auto found = s.find(item);
    return found == s.end() ? std::string("<absent>") : found->second;
  };
  Figures figures;
  for (const std::string& item : items) {
    std::string b = value(before, item), p = value(predicted, item), a = value(actual, item);
    if (b == a && b == p) continue;
    if (p == a) {
      ++figures.exact;
    } else if (p == b) {
      ++figures.missing;
      if (notes->size() < 12) notes->push_back("missing: " + item + " = " + a.substr(0, 60));
    } else {
      ++figures.wrong;
      if (notes->size() < 12) {
        notes->push_back("wrong: " + item + " = " + p.substr(0, 60) + " where it is " + a.substr(0, 60));
      }
    }
  }
  return figures;
}

std::vector<std::string> LogEvents(const std::string& path) {
  std::vector<std::string> events;
  std::string all = e2e::LogLines(path, "");
  for (size_t at = 0; at < all.size();) {
    size_t end = all.find('\n', at);
    events.push_back(all.substr(at, end - at));
    at = end + 1;
  }
  return events;
}

struct Totals {
  Figures plan, planToEnd, log;
  int oldWrong = 0, unmarked = 0, overmarked = 0, orderDiffers = 0, exitAgrees = 0, runs = 0;
  int rehearsalChanged = 0;
};

std::vector<unsigned> ChosenSeeds() {
  const char* setting = std::getenv("SETUP_DIFF_SEEDS");
  std::vector<unsigned> seeds;
  if (setting && std::string(setting) == "all") return std::vector<unsigned>(std::begin(kSeeds), std::end(kSeeds));
  if (setting && *setting) {
    for (const char* p = setting; *p;) {
      seeds.push_back(static_cast<unsigned>(std::strtoul(p, const_cast<char**>(&p), 10)));
      while (*p == ',' || *p == ' ') ++p;
    }
    return seeds;
  }
  return std::vector<unsigned>(kSeeds, kSeeds + kDefaultSeeds);
}

std::string SetupUnderTest() {
  const char* other = std::getenv("SETUP_DIFF_EXE");
  return other && *other ? other : e2e::SetupExe();
}

TEST(PlanDifferential, TheRehearsalPredictsEveryChangeTheRunMakesAndTheLogTellsIt) {
  Totals totals;
  for (unsigned seed : ChosenSeeds()) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    e2e::RegistryKeysGuard keys{{{HKEY_CURRENT_USER, kKeyBase}}};
    e2e::ScriptBed bed;
    e2e::TempDir logs("logs");
    e2e::EnvVar recorder("RECORDER_LOG", logs / "recorder.log");
    Generator generator(bed, seed);
    std::string script = generator.Generate();
    ASSERT_TRUE(e2e::WriteSetupDat(bed.pkg(), script));

    State sources;
    AddTree(&sources, bed.pkg());
    std::vector<std::unique_ptr<Held>> held;
    for (const auto& hold : generator.holds) {
      held.emplace_back(new Held(hold.first, hold.second));
      ASSERT_NE(held.back()->handle, INVALID_HANDLE_VALUE) << hold.first;
    }
    auto snapshot = [&] {
      State state;
      AddTree(&state, bed.inst());
      AddTree(&state, bed.prog());
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyBase, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        AddKey(&state, key, kShownKeyBase);
        RegCloseKey(key);
      }
      return state;
    };
    const std::string args = bed.LocationArgs() + " /silent /noboxes /log ";
    const State before = snapshot();
    driver::RunResult rehearsal = driver::RunProgram(
        SetupUnderTest(), args + "\"" + (logs / "plan.log") + "\" /plan", bed.pkg(), driver::Scenario());
    ASSERT_TRUE(rehearsal.Clean()) << e2e::Describe(rehearsal);
    const State afterRehearsal = snapshot();
    if (afterRehearsal != before) ++totals.rehearsalChanged;
    driver::RunResult run = driver::RunProgram(
        SetupUnderTest(), args + "\"" + (logs / "run.log") + "\"", bed.pkg(), driver::Scenario());
    ASSERT_TRUE(run.Clean()) << e2e::Describe(run);
    const State after = snapshot();

    Replay planned, logged;
    for (Replay* r : {&planned, &logged}) {
      r->state = before;
      r->sources = &sources;
      r->cwd = bed.inst();
    }
    for (const std::string& event : LogEvents(logs / "plan.log")) Apply(&planned, event);
    for (const std::string& event : LogEvents(logs / "run.log")) Apply(&logged, event);
    // A run that is undone, or refused before its first line, changes nothing.
    if (planned.exitCode == 4 || planned.exitCode == 2) planned.state = before;
    if (run.exitCode == 4 || run.exitCode == 2) logged.state = before;

    std::vector<std::string> notes = planned.notes;
    Figures plan = Compare(before, planned.state, after, &notes);
    std::vector<std::string> logNotes = logged.notes;
    Figures log = Compare(before, logged.state, after, &logNotes);
    bool exitAgrees = planned.exitCode == static_cast<int>(run.exitCode) &&
                      rehearsal.exitCode == run.exitCode;
    bool orderAgrees = planned.sequence == logged.sequence;
    totals.plan.exact += plan.exact;
    totals.plan.missing += plan.missing;
    totals.plan.wrong += plan.wrong;
    if (!logged.stopped) {
      totals.planToEnd.exact += plan.exact;
      totals.planToEnd.missing += plan.missing;
      totals.planToEnd.wrong += plan.wrong;
    }
    totals.log.exact += log.exact;
    totals.log.missing += log.missing;
    totals.log.wrong += log.wrong;
    totals.oldWrong += planned.oldWrong + logged.oldWrong;
    totals.unmarked += planned.unmarked;
    totals.overmarked += planned.overmarked;
    totals.orderDiffers += orderAgrees ? 0 : 1;
    totals.exitAgrees += exitAgrees ? 1 : 0;
    ++totals.runs;

    std::string order;
    for (size_t i = 0; i < std::max(planned.sequence.size(), logged.sequence.size()); ++i) {
      std::string p = i < planned.sequence.size() ? planned.sequence[i] : "<none>";
      std::string l = i < logged.sequence.size() ? logged.sequence[i] : "<none>";
      if (p != l) {
        order = "event " + std::to_string(i) + ": plan " + p + ", log " + l;
        break;
      }
    }
    std::string detail = "\nscript:\n" + script + "\nplan notes:\n";
    for (const std::string& note : notes) detail += "  " + note + "\n";
    detail += "log notes:\n";
    for (const std::string& note : logNotes) detail += "  " + note + "\n";
    EXPECT_EQ(before, afterRehearsal) << "the rehearsal changed something" << detail;
    EXPECT_EQ(0, plan.missing + plan.wrong) << detail;
    EXPECT_EQ(0, log.missing + log.wrong) << detail;
    EXPECT_EQ(0, planned.oldWrong + logged.oldWrong) << detail;
    EXPECT_EQ(0, planned.unmarked + planned.overmarked) << detail;
    EXPECT_TRUE(orderAgrees) << order << detail;
    EXPECT_TRUE(exitAgrees) << "predicted " << planned.exitCode << ", rehearsal exited "
                            << rehearsal.exitCode << ", run exited " << run.exitCode << detail;
  }
  std::printf(
      "[ figures ] %d packages: plan exact %d, missing %d, wrong %d (runs to their end: %d, %d, %d); "
      "log exact %d, missing %d, wrong %d; old values misreported %d; dependent predictions "
      "unmarked %d, marked without cause %d; order differs in %d; exit code agrees in %d; "
      "rehearsal changed something in %d\n",
      totals.runs, totals.plan.exact, totals.plan.missing, totals.plan.wrong, totals.planToEnd.exact,
      totals.planToEnd.missing, totals.planToEnd.wrong, totals.log.exact, totals.log.missing,
      totals.log.wrong, totals.oldWrong, totals.unmarked, totals.overmarked, totals.orderDiffers,
      totals.exitAgrees, totals.rehearsalChanged);
}

}  // namespace
