// Small helpers of the checker: quoting, near names, version bounds.
#include <algorithm>
#include <cstring>

#include "check/check_state.h"
#include "check/stand_ins.h"
#include "script/script_reader.h"

std::string Quote(const std::string& text) {
  const size_t kShown = 60;
  if (text.size() <= kShown) return "'" + text + "'";
  return "'" + text.substr(0, kShown) + "...'";
}

int EditDistance(const std::string& a, const std::string& b) {
  // Insertions, deletions, changes and swaps of two neighbours count one each.
  const size_t width = b.size() + 1;
  std::vector<int> d((a.size() + 1) * width);
  for (size_t i = 0; i <= a.size(); ++i) {
    for (size_t j = 0; j <= b.size(); ++j) {
      int& cell = d[i * width + j];
      if (i == 0 || j == 0) {
        cell = static_cast<int>(i + j);
        continue;
      }
      bool same = FoldAscii(a[i - 1]) == FoldAscii(b[j - 1]);
      cell = d[(i - 1) * width + j - 1] + (same ? 0 : 1);
      cell = std::min(cell, std::min(d[(i - 1) * width + j], d[i * width + j - 1]) + 1);
      if (i > 1 && j > 1 && FoldAscii(a[i - 1]) == FoldAscii(b[j - 2]) &&
          FoldAscii(a[i - 2]) == FoldAscii(b[j - 1])) {
        cell = std::min(cell, d[(i - 2) * width + j - 2] + 1);
      }
    }
  }
  return d[a.size() * width + b.size()];
}

std::string Closest(const std::string& word, const std::vector<std::string>& candidates,
                    int limit) {
  std::string best;
  int bestDistance = limit + 1;
  for (const std::string& candidate : candidates) {
    int distance = EditDistance(word, candidate);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

size_t IndexOutsideGroups(const std::string& text, char c) {
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '{') {
      i = ScanBraceGroup(text.c_str(), i).end;
    } else if (text[i] == c) {
      return i;
    } else {
      ++i;
    }
  }
  return std::string::npos;
}

namespace {

std::string PartsText(const uint32_t* parts, int count, uint32_t rest, int total) {
  std::string text;
  for (int i = 0; i < total; ++i) {
    if (i > 0) text += '.';
    text += std::to_string(i < count ? (parts[i] & 0xFFFFu) : rest);
  }
  return text;
}

}  // namespace

std::string DescribeBound(const char* key, const std::string& text, const VersionBound& bound,
                          bool maximum, bool files) {
  int set = 0;
  while (set < 4 && bound.partSet[set]) ++set;
  std::string version = text.substr(0, text.find(':'));
  std::string head = std::string(key) + " " + Quote(version) + ": ";
  std::string refusal = files ? "skips the section's files" : "stops the installation (exit code 2)";
  std::string outside = bound.message[0] == '\0'
                            ? "; outside it Setup " + refusal + " without asking (the message is empty)"
                            : "; outside it Setup shows the message and asks whether to go on (also under /silent)";
  // The parts as written, filled up with zeros: what the author meant.
  std::string meant = version;
  while (!meant.empty() && (meant.back() == '.' || meant.back() == ',')) meant.pop_back();
  int separators = 0;
  for (char c : meant) separators += (c == '.' || c == ',');
  for (; separators < 3; ++separators) meant += ".0";
  std::string hint = "; for " + version + " write " + meant;
  if (set == 0) {
    return head + "sets no version part (a part counts only when '.' or ',' follows it), so "
                  "every version meets it" + hint;
  }
  std::string range = maximum ? "versions up to and including " + PartsText(bound.part, set, 65535, 4)
                              : "versions from " + PartsText(bound.part, set, 0, 4) + " on";
  std::string counted = set == 4 ? "all four parts count"
                                 : "only " + PartsText(bound.part, set, 0, set) +
                                       " counts (a part counts only when '.' or ',' follows it)";
  if (set == 4) hint.clear();
  for (int i = 0; i < set; ++i) {
    if (bound.part[i] > 0xFFFFu) {
      hint += "; part " + std::to_string(i + 1) + " is above 65535 and counts as " +
              std::to_string(bound.part[i] & 0xFFFFu);
    }
  }
  return head + counted + ": " + range + " meet it (inclusive)" + hint + outside;
}

void CheckBound(CheckState* state, int line, const char* key, const std::string& value,
                bool maximum, bool files) {
  if (value.empty()) return;
  std::string expanded;
  state->Expand(value, &expanded, false);
  VersionBound bound;
  if (ParseVersionBound(expanded.c_str(), &bound)) {
    state->Add(line, kNote, "bound-range", DescribeBound(key, expanded, bound, maximum, files));
    return;
  }
  std::string reason;
  size_t colon = expanded.find(':');
  if (colon == std::string::npos) {
    reason = "the ':' before the message is missing (for no message write " + expanded + ":)";
  } else {
    std::string version = expanded.substr(0, colon);
    size_t stray = version.find_first_not_of("0123456789.,");
    reason = stray != std::string::npos
                 ? "its version holds " + Quote(version.substr(stray, 1)) +
                       ", and only digits, '.' and ',' may stand there"
                 : "its version has five or more separators";
  }
  state->Add(line, kError, "bound-malformed",
             std::string(key) + " " + Quote(value) + " is malformed (" + reason +
                 "): Setup cannot check it and asks the end user whether to go on (message 14)");
}

void CheckVerProg(CheckState* state, int line, const std::string& value) {
  if (value.empty()) return;
  std::string expanded;
  state->Expand(value, &expanded, false);
  // Nothing left: no version check at all (the placeholders say why).
  if (expanded.empty()) return;
  std::string problem;
  if (expanded.back() == '\\' || expanded.back() == '/') {
    problem = "names a directory";
  } else if (expanded.find_first_of("*?") != std::string::npos) {
    problem = "holds a wildcard";
  } else if (expanded.compare(0, 3, kPackageMarker) == 0) {
    std::vector<FoundEntry> found;
    if (!state->Find(expanded.substr(3), &found) || found[0].directory) {
      problem = "names no file of the package";
    }
  }
  if (!problem.empty()) {
    state->Add(line, kError, "verprog-unreadable",
               "VerProg " + Quote(value) + " " + problem +
                   ": no version can be read from it, and Setup asks the end user whether to go "
                   "on (message 18)");
  }
}
