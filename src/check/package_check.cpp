// setupcheck's entry: reads the package and runs the checks in order.
#include "check/package_check.h"

#include <algorithm>
#include <cstring>

#include "app/text.h"
#include "check/check_state.h"
#include "check/stand_ins.h"
#include "script/script_reader.h"

bool checkLongestValues = false;

namespace {

const int kLongestFileName = 255;

std::string LongDirectory() {
  std::string path = "X:\\" + std::string(kLongestPath - 4, 'x') + "\\";
  return path;
}

// name=value entries for ExpandPlaceholders, and the table that points at them.
struct StandInTable {
  std::vector<std::string> entries;
  char* slots[kDefinitionSlots];
  StandInTable(const std::vector<std::string>& names, bool longest) {
    for (const std::string& name : names) {
      if (entries.size() == static_cast<size_t>(kDefinitionCapacity)) break;
      entries.push_back(name + "=" + (longest ? LongDirectory() : std::string(kDefinitionMarker) + "\\"));
    }
    for (int i = 0; i < kDefinitionSlots; ++i) {
      slots[i] = static_cast<size_t>(i) < entries.size() ? &entries[static_cast<size_t>(i)][0] : nullptr;
    }
  }
};

// $VELMORA$ finds no program without an installation; at its longest it is a path.
size_t LongestVelmoraExtra(const std::string& text) {
  size_t extra = 0;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '{') {
      i = ScanBraceGroup(text.c_str(), i).end;
    } else if (text[i] == '$') {
      DollarGroup group = ScanDollarGroup(text.c_str(), i);
      if (group.variable == kVariableVelmora) extra += kLongestPath;
      i = group.next;
    } else {
      ++i;
    }
  }
  return extra;
}

}  // namespace

void CheckState::Add(int line, Severity severity, const char* kind, const std::string& message) {
  findings.push_back({line, severity, kind, message});
}

int CheckState::LineAt(size_t offset) const {
  for (const ScriptLine& line : lines) {
    if (offset < line.end) return line.number;
  }
  return lines.empty() ? 1 : lines.back().number;
}

const ScriptLine* CheckState::Line(int number) const {
  if (number < 1 || static_cast<size_t>(number) > lines.size()) return nullptr;
  return &lines[static_cast<size_t>(number - 1)];
}

bool CheckState::Expand(const std::string& text, std::string* out, bool longest,
                        bool withDefinitions) const {
  char buffer[kLineBufferSize];
  bool fits = CopyText(buffer, sizeof buffer, text.c_str());
  static const std::string longDirectory = LongDirectory();
  static const std::string longIniName = std::string(kLongestFileName - 4, 'x') + ".ini";
  static const std::vector<std::string> none;
  StandInTable ini(withDefinitions ? iniNames : none, longest);
  StandInTable reg(withDefinitions ? regNames : none, longest);
  checkLongestValues = longest;
  fits = ExpandPlaceholders(buffer, sizeof buffer,
                            longest ? longDirectory.c_str() : kPackageMarker,
                            longest ? longDirectory.c_str() : kInstallMarker,
                            longest ? longDirectory.c_str() : kProgramMarker,
                            longest ? longIniName.c_str() : "Quillon.ini", ini.slots, reg.slots,
                            &date) && fits;
  checkLongestValues = false;
  *out = buffer;
  if (longest && out->size() + LongestVelmoraExtra(text) > static_cast<size_t>(kMaxLineLength)) {
    fits = false;
  }
  return fits;
}

bool CheckState::Find(const std::string& relative, std::vector<FoundEntry>* found) const {
  return platform->findFiles(packageDir, relative, found);
}

CheckResult CheckPackage(const std::string& scriptPath, const std::string& packageDir,
                         const CheckPlatform& platform) {
  CheckResult result;
  CheckState state;
  state.platform = &platform;
  state.scriptPath = scriptPath;
  state.packageDir = packageDir;
  state.date = DateValue{false, 0, 0, 0, 0};
  state.dateGiven = false;
  if (!ReadScriptLines(&state, &result.problem)) return result;
  result.readable = true;

  CheckWholeFile(&state);
  bool oneLine = std::any_of(state.findings.begin(), state.findings.end(),
                             [](const Finding& f) { return f.kind == "lf-line-ends"; });
  ReadPackageDate(&state);
  if (!oneLine) CheckDefinitions(&state);
  WalkSections(&state);
  if (!oneLine) {
    CheckHeaders(&state);
    CheckOptions(&state);
    CheckActionLines(&state);
    CheckPlaceholders(&state);
  }

  std::stable_sort(state.findings.begin(), state.findings.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  result.findings = state.findings;
  for (const ScriptLine& line : state.lines) {
    result.lines.push_back({line.number, line.verdict, line.action});
  }
  return result;
}

const char* VerdictText(LineVerdict verdict) {
  switch (verdict) {
    case kLineEmpty: return "empty";
    case kLineComment: return "comment";
    case kLineHeader: return "header";
    case kLineUnknownHeader: return "header of no section";
    case kLineSkipped: return "skipped";
    case kLineRuns: return "runs";
    case kLineGated: return "runs if the version check passes";
    case kLineSetting: return "setting";
    case kLineRefused: return "refused";
  }
  return "";
}
