// setupcheck's entry: reads the package and runs the checks in order.
#include "check/package_check.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "app/text.h"
#include "check/check_state.h"
#include "check/stand_ins.h"
#include "check/text_1250.h"
#include "script/script_reader.h"

bool checkLongestValues = false;

namespace {

const int kLongestFileName = 255;
// What a walk through the package's tree looks at, at most.
const size_t kMostPackageFiles = 20000;
const int kDeepestPackageDirectory = 16;
// Searches remembered at a time.
const size_t kSearchesKept = 4096;
// Lines a merged note names before it only counts the rest.
const size_t kNamedLines = 10;

std::string LongDirectory() {
  std::string path = "X:\\" + std::string(kLongestPath - 4, 'x') + "\\";
  return path;
}

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

bool ByLine(const Finding& a, const Finding& b) { return a.line < b.line; }

// A note given on several lines in the same words is given once, on its
// first line, with the others named.
void MergeRepeatedNotes(std::vector<Finding>* findings) {
  std::map<std::string, size_t> first;
  std::map<size_t, std::vector<int>> others;
  std::vector<Finding> kept;
  for (Finding& finding : *findings) {
    if (finding.severity != kNote) {
      kept.push_back(std::move(finding));
      continue;
    }
    std::string key = finding.kind + '\n' + finding.message;
    auto seen = first.find(key);
    if (seen == first.end()) {
      first[key] = kept.size();
      kept.push_back(std::move(finding));
    } else if (kept[seen->second].line != finding.line) {
      std::vector<int>& lines = others[seen->second];
      if (lines.empty() || lines.back() != finding.line) lines.push_back(finding.line);
    }
  }
  for (const auto& entry : others) {
    const std::vector<int>& lines = entry.second;
    std::string list;
    for (size_t i = 0; i < lines.size() && i < kNamedLines; ++i) {
      list += (i == 0 ? "" : ", ") + std::to_string(lines[i]);
    }
    if (lines.size() > kNamedLines) {
      list += " and " + std::to_string(lines.size() - kNamedLines) + " more";
    }
    kept[entry.first].message += std::string(" (so do line") + (lines.size() > 1 ? "s " : " ") + list + ")";
  }
  *findings = std::move(kept);
}

// The first byte of a line that its text holds (the reader skips line feeds,
// NULs and leading blanks), or where the line ends.
size_t FirstTextByte(const std::string& bytes, size_t start) {
  size_t p = start;
  while (p < bytes.size() &&
         (bytes[p] == '\n' || bytes[p] == '\0' || bytes[p] == ' ' || bytes[p] == '\t')) {
    ++p;
  }
  return p;
}

void SetEditorLines(const CheckState& state, std::vector<Finding>* findings) {
  // Findings are in line order: one walk over the lines serves them all.
  LineWalk walk;
  walk.verdicts = false;
  ScriptLine line;
  size_t next = 0;
  int current = 0, editor = 1;
  size_t counted = 0;
  while (next < findings->size() && NextLine(state, &walk, &line)) {
    size_t first = FirstTextByte(state.bytes, line.start);
    for (; counted < first && counted < state.bytes.size(); ++counted) {
      char c = state.bytes[counted];
      if (c == '\r' || (c == '\n' && (counted == 0 || state.bytes[counted - 1] != '\r'))) ++editor;
    }
    current = line.number;
    for (; next < findings->size() && (*findings)[next].line <= current; ++next) {
      (*findings)[next].editorLine = editor;
    }
  }
  for (; next < findings->size(); ++next) (*findings)[next].editorLine = (*findings)[next].line;
}

}  // namespace

void StandInTable::Fill(const std::vector<std::string>& names, const std::string& value) {
  entries.clear();
  for (const std::string& name : names) {
    if (entries.size() == static_cast<size_t>(kDefinitionCapacity)) break;
    entries.push_back(name + "=" + value);
  }
  for (int i = 0; i < kDefinitionSlots; ++i) {
    slots[i] = static_cast<size_t>(i) < entries.size() ? &entries[static_cast<size_t>(i)][0] : nullptr;
  }
}

void CheckState::Add(int line, Severity severity, const char* kind, const std::string& message) {
  if (cutoffLine != 0 && line > cutoffLine) return;
  findings.push_back({line, severity, kind, message, line});
  if (findings.size() >= 2 * kMaxFindings) TrimFindings();
}

void CheckState::TrimFindings() {
  std::stable_sort(findings.begin(), findings.end(), ByLine);
  if (findings.size() <= kMaxFindings) return;
  int last = findings[kMaxFindings - 1].line;
  size_t keep = kMaxFindings;
  while (keep < findings.size() && findings[keep].line == last) ++keep;
  findings.resize(keep);
  cutoffLine = last;
}

int LineCounter::At(const std::string& bytes, size_t target) {
  if (target < offset) {
    offset = 0;
    line = 1;
  }
  if (target > bytes.size()) target = bytes.size();
  line += static_cast<int>(std::count(bytes.begin() + static_cast<long>(offset),
                                      bytes.begin() + static_cast<long>(target), '\r'));
  offset = target;
  return line;
}

bool CheckState::Expand(const std::string& text, std::string* out, bool longest,
                        bool withDefinitions) const {
  char buffer[kLineBufferSize];
  bool fits = CopyText(buffer, sizeof buffer, text.c_str());
  static const std::string longDirectory = LongDirectory();
  static const std::string longIniName = std::string(kLongestFileName - 4, 'x') + ".ini";
  const StandInTable& ini = !withDefinitions ? none : longest ? iniLong : iniShort;
  const StandInTable& reg = !withDefinitions ? none : longest ? regLong : regShort;
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
  auto known = searches.find(relative);
  if (known != searches.end()) {
    *found = known->second.entries;
    return known->second.found;
  }
  if (searches.size() >= kSearchesKept) searches.clear();
  bool any = platform->findFiles(packageDir, relative, found);
  searches[relative] = {any, *found};
  return any;
}

std::vector<std::string> CheckState::PackageFilesNamed(const std::string& name) const {
  if (!packageFilesRead) {
    packageFilesRead = true;
    // Breadth first, relative directories ending in '\'.
    std::vector<std::pair<std::string, int>> directories = {{"", 0}};
    std::vector<FoundEntry> found;
    for (size_t d = 0; d < directories.size() && packageFiles.size() < kMostPackageFiles; ++d) {
      std::string directory = directories[d].first;
      if (!platform->findFiles(packageDir, directory + "*", &found)) continue;
      for (const FoundEntry& entry : found) {
        if (entry.name == "." || entry.name == "..") continue;
        if (!entry.directory) {
          packageFiles.push_back(directory + entry.name);
        } else if (directories[d].second < kDeepestPackageDirectory) {
          directories.push_back({directory + entry.name + "\\", directories[d].second + 1});
        }
      }
    }
  }
  std::vector<std::string> named;
  for (const std::string& path : packageFiles) {
    size_t slash = path.rfind('\\');
    std::string own = slash == std::string::npos ? path : path.substr(slash + 1);
    if (own.size() == name.size() && SameText1250(own.c_str(), name.c_str(), name.size())) {
      named.push_back(path);
    }
  }
  return named;
}

CheckResult CheckPackage(const std::string& scriptPath, const std::string& packageDir,
                         const CheckPlatform& platform, const LineSink* lines) {
  CheckResult result;
  CheckState state;
  state.platform = &platform;
  state.scriptPath = scriptPath;
  state.packageDir = packageDir;
  if (!ReadScript(&state, &result.problem)) return result;
  result.readable = true;

  CheckWholeFile(&state);
  // A file without CR is one line: its findings say all there is to say.
  bool oneLine = state.bytes.find('\r') == std::string::npos &&
                 state.bytes.find('\n') != std::string::npos;
  ReadPackageDate(&state);
  if (!oneLine) CheckDefinitions(&state);
  state.iniShort.Fill(state.iniNames.first, std::string(kDefinitionMarker) + "\\");
  state.regShort.Fill(state.regNames.first, std::string(kDefinitionMarker) + "\\");
  state.iniLong.Fill(state.iniNames.first, LongDirectory());
  state.regLong.Fill(state.regNames.first, LongDirectory());
  if (!oneLine) {
    CheckHeaders(&state);
    CheckOptions(&state);
    CheckActionLines(&state);
  }

  state.TrimFindings();
  MergeRepeatedNotes(&state.findings);
  SetEditorLines(state, &state.findings);
  if (lines && lines->take) {
    LineWalk walk;
    walk.toTheEnd = true;
    ScriptLine line;
    while (NextLine(state, &walk, &line)) {
      lines->take(lines->context, {line.number, line.verdict, line.action});
    }
  }
  for (const Finding& finding : state.findings) {
    result.errors += finding.severity == kError;
    result.warnings += finding.severity == kWarning;
  }
  result.findings = std::move(state.findings);
  result.stoppedAfterLine = state.cutoffLine;
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
