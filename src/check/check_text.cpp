// Small helpers of the checker: quoting, near names, version bounds.
#include <algorithm>
#include <cstring>

#include "check/check_state.h"
#include "check/stand_ins.h"
#include "check/text_1250.h"
#include "script/script_reader.h"

std::string Quote(const std::string& text) {
  const size_t kShown = 60;
  if (text.size() <= kShown) return "'" + text + "'";
  return "'" + text.substr(0, kShown) + "...'";
}

int EditDistance(const std::string& a, const std::string& b) {
  // Insertions, deletions, changes and swaps of two neighbours count one each.
  const size_t width = b.size() + 1;
  // Names are short: their table fits on the stack.
  int small[32 * 32];
  std::vector<int> large;
  int* d = small;
  if ((a.size() + 1) * width > sizeof small / sizeof small[0]) {
    large.resize((a.size() + 1) * width);
    d = large.data();
  }
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
    // The lengths alone differ by more edits than allowed.
    size_t gap = word.size() > candidate.size() ? word.size() - candidate.size()
                                                : candidate.size() - word.size();
    if (gap > static_cast<size_t>(limit)) continue;
    int distance = EditDistance(word, candidate);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

namespace {

// Whether `shorter` can be had from `longer` by leaving letters out, from
// the same first letter on (DelReg from DeleteReg, ByeMsg from ByeMessage).
bool Abbreviates(const std::string& shorter, const std::string& longer) {
  if (shorter.size() < 3 || shorter.size() >= longer.size()) return false;
  if (FoldAscii(shorter[0]) != FoldAscii(longer[0])) return false;
  size_t at = 0;
  for (char c : longer) {
    if (at < shorter.size() && FoldAscii(c) == FoldAscii(shorter[at])) ++at;
  }
  return at == shorter.size();
}

}  // namespace

std::string Suggest(const std::string& word, const std::vector<std::string>& candidates,
                    int limit) {
  std::string best = Closest(word, candidates, limit);
  if (!best.empty()) return best;
  // Of the names that abbreviate the word or that it abbreviates, the one
  // that ends as it does (DeleteReg: DelReg, not Delete).
  size_t bestEnding = 0;
  for (const std::string& candidate : candidates) {
    if (!Abbreviates(word, candidate) && !Abbreviates(candidate, word)) continue;
    size_t ending = 0;
    while (ending < word.size() && ending < candidate.size() &&
           FoldAscii(word[word.size() - 1 - ending]) ==
               FoldAscii(candidate[candidate.size() - 1 - ending])) {
      ++ending;
    }
    if (best.empty() || ending > bestEnding) {
      best = candidate;
      bestEnding = ending;
    }
  }
  return best;
}

std::vector<std::string> FieldsOutsideGroups(const std::string& text, char c) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (;;) {
    size_t at = IndexOutsideGroups(text.substr(from), c);
    if (at == std::string::npos) break;
    fields.push_back(text.substr(from, at));
    from += at + 1;
  }
  fields.push_back(text.substr(from));
  return fields;
}

void CheckTextCodePage(CheckState* state, int line, const char* what, const std::string& text) {
  size_t at = FindLatin2Byte(text);
  if (at == std::string::npos) return;
  // The text as ISO-8859-2 reads it, in Windows-1250.
  std::string meant;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    unsigned code = CodePointLatin2(byte);
    char shown = c;
    if (code != CodePoint1250(byte)) {
      shown = '?';
      for (unsigned b = 0x80; b <= 0xFF; ++b) {
        if (CodePoint1250(static_cast<unsigned char>(b)) == code) shown = static_cast<char>(b);
      }
    }
    meant += shown;
  }
  size_t from = text.find_last_of(" \t", at);
  from = from == std::string::npos ? 0 : from + 1;
  size_t to = text.find_first_of(" \t", at);
  std::string word = text.substr(from, to == std::string::npos ? std::string::npos : to - from);
  state->Add(line, kWarning, "latin2-text",
             std::string(what) + " looks saved in ISO-8859-2, not Windows-1250: " + Quote(word) +
                 " holds " + Quote(text.substr(at, 1)) +
                 ", which Czech and Slovak do not use, where ISO-8859-2 has " +
                 Quote(meant.substr(at, 1)) + ", and Setup shows it as written; save the file in "
                 "Windows-1250 (meant: " + Quote(meant.substr(from, word.size())) + ")");
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
  std::string version = text.substr(0, IndexOutsideGroups(text, ':'));
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
  // Messages show the author's text, placeholders as written.
  const std::string& shown = value;
  VersionBound bound;
  if (ParseVersionBound(expanded.c_str(), &bound)) {
    // Digits after the last separator count only as the fourth part.
    std::string version = expanded.substr(0, expanded.find(':'));
    size_t last = version.find_last_of(".,");
    int separators = 0;
    for (char c : version) separators += (c == '.' || c == ',');
    bool ignored = separators != 3 && (last == std::string::npos ? !version.empty()
                                                                 : last + 1 < version.size());
    if (ignored) {
      state->Add(line, kWarning, "bound-digits-ignored",
                 DescribeBound(key, shown, bound, maximum, files));
    } else {
      state->Add(line, kNote, "bound-range", DescribeBound(key, shown, bound, maximum, files));
    }
    return;
  }
  std::string reason;
  size_t colon = expanded.find(':');
  if (colon == std::string::npos) {
    reason = "the ':' before the message is missing (for no message write " + value + ":)";
  } else {
    std::string version = expanded.substr(0, colon);
    // The character as the author wrote it (a placeholder shows its '{').
    std::string written = value.substr(0, IndexOutsideGroups(value, ':'));
    size_t stray = written.find_first_not_of("0123456789.,");
    if (stray == std::string::npos) stray = version.find_first_not_of("0123456789.,");
    reason = version.find_first_not_of("0123456789.,") != std::string::npos
                 ? "its version holds " + Quote(stray < written.size() ? written.substr(stray, 1) : "") +
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
