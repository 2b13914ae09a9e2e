// How Windows' file search compares the last part of a search path with a
// name, for setupcheck on every system. The search first brings the part
// into its normal form (trailing dots and blanks go), then rewrites the DOS
// wildcards the way its documentation gives them:
//   '?'                 -> DOS_QM   any one character; none at a '.' or at
//                                   the end of the name
//   '*' before a '.'    -> DOS_STAR any run up to the name's last '.'
//   '.' before '?'/'*'  -> DOS_DOT  a '.', or nothing at the end of the name
//   a final '*' of a part that ended in '.' -> DOS_STAR
//   "*.*"               -> '*'
// so "*." finds the names without an extension, "a??" finds "a", "ab" and
// "abc", and "a?.txt" finds "a.txt". Names compare without regard to case.
#include <cstring>
#include <string>
#include <vector>

#include "check/check_platform.h"
#include "check/text_1250.h"

namespace {

// The DOS wildcards in a rewritten mask: bytes no name can hold.
const char kDosStar = '<';
const char kDosQm = '>';
const char kDosDot = '"';

// The part in the form the search compares: trailing dots and blanks
// removed, the wildcards rewritten.
std::string DosMask(const char* pattern) {
  std::string mask = pattern;
  bool endedInDot = !mask.empty() && mask.back() == '.';
  while (!mask.empty() && (mask.back() == '.' || mask.back() == ' ')) mask.pop_back();
  if (mask == "*.*") return "*";
  for (size_t i = 0; i < mask.size(); ++i) {
    if (i > 0 && mask[i] == '.' && mask[i - 1] == '*') mask[i - 1] = kDosStar;
    if (mask[i] == '?') {
      mask[i] = kDosQm;
      if (i > 0 && mask[i - 1] == '.') mask[i - 1] = kDosDot;
    } else if (mask[i] == '*' && i > 0 && mask[i - 1] == '.') {
      mask[i - 1] = kDosDot;
    }
  }
  if (endedInDot && !mask.empty() && mask.back() == '*') mask.back() = kDosStar;
  return mask;
}

// The mask matches nothing more when what is left of it can match the end
// of a name.
bool MatchesEmpty(const std::string& mask, size_t m) {
  for (; m < mask.size(); ++m) {
    char c = mask[m];
    if (c != '*' && c != kDosStar && c != kDosDot && c != kDosQm) return false;
  }
  return true;
}

// The comparison, memoised by position: 0 unknown, 1 no, 2 yes.
struct Matcher {
  const std::string& mask;
  const std::string& name;
  size_t lastDot;  // of the name, npos without one
  std::vector<unsigned char> memo;

  bool At(size_t m, size_t n) {
    unsigned char& known = memo[m * (name.size() + 1) + n];
    if (known == 0) known = Compare(m, n) ? 2 : 1;
    return known == 2;
  }

  bool Compare(size_t m, size_t n) {
    if (m == mask.size()) return n == name.size();
    char c = mask[m];
    if (c == '*') {
      for (size_t k = n; k <= name.size(); ++k) {
        if (At(m + 1, k)) return true;
      }
      return false;
    }
    if (c == kDosStar) {
      // Any run that does not pass the last '.'; the '.' itself may be taken.
      size_t limit = lastDot == std::string::npos || lastDot < n ? name.size() : lastDot + 1;
      for (size_t k = n; k <= limit; ++k) {
        if (At(m + 1, k)) return true;
      }
      return false;
    }
    if (c == kDosQm) {
      if (n == name.size()) return MatchesEmpty(mask, m + 1);
      // At a '.' it takes nothing; the name "." it takes whole.
      if (name[n] == '.') {
        return At(m + 1, n) || (n + 1 == name.size() && MatchesEmpty(mask, m + 1));
      }
      return At(m + 1, n + 1);
    }
    if (c == kDosDot) {
      if (n == name.size()) return MatchesEmpty(mask, m + 1);
      return name[n] == '.' && At(m + 1, n + 1);
    }
    return n < name.size() && Upper1250(c) == Upper1250(name[n]) && At(m + 1, n + 1);
  }
};

bool MaskMatches(const std::string& mask, const std::string& name) {
  if (mask.empty()) return false;
  Matcher matcher{mask, name, name.rfind('.'),
                  std::vector<unsigned char>((mask.size() + 1) * (name.size() + 1), 0)};
  return matcher.At(0, 0);
}

// Characters a DOS name cannot hold.
bool IsInvalidDosCharacter(char c) {
  return static_cast<unsigned char>(c) > 0x7F || std::strchr("*?<>|\"+=,;[] ~.", c) != nullptr;
}

// Names that are not 8.3 names have a short name, and the search matches
// that one as well.
bool IsDosName(const std::string& name) {
  if (name.size() > 12) return false;
  if (!name.empty() && name[0] == '.') return name == "." || name == "..";
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '.') {
      if (dot != std::string::npos) return false;
      dot = i;
    } else if (static_cast<unsigned char>(c) > 0x7F || std::strchr("*?<>|\"+=,;[] :/\\", c)) {
      return false;
    }
  }
  if (dot == std::string::npos) return name.size() <= 8;
  return dot <= 8 && name.size() - dot > 1 && name.size() - dot < 5;
}

// The short name: four characters of the name, '~' up to five, three
// generated characters (unknown here: they match only wildcards) and three
// of the extension. What the system generates differs between systems; only
// these parts are certain.
std::string ShortName(const std::string& name) {
  size_t extension = name.rfind('.');
  if (extension == 0) extension = std::string::npos;
  size_t baseEnd = extension == std::string::npos ? name.size() : extension;
  std::string shortName;
  for (size_t i = 0; i < baseEnd && shortName.size() < 4; ++i) {
    shortName += IsInvalidDosCharacter(name[i]) ? '_' : name[i];
  }
  while (shortName.size() < 5) shortName += '~';
  shortName += "\x7F\x7F\x7F";
  if (extension != std::string::npos) {
    shortName += '.';
    for (size_t i = extension + 1; i < name.size() && i <= extension + 3; ++i) {
      shortName += IsInvalidDosCharacter(name[i]) ? '_' : name[i];
    }
  }
  return shortName;
}

}  // namespace

bool WildcardMatches(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  std::string mask = DosMask(pattern);
  if (MaskMatches(mask, name)) return true;
  return !IsDosName(name) && MaskMatches(mask, ShortName(name));
}

bool LongNameMatches(const char* pattern, const char* name) {
  return pattern && name && MaskMatches(DosMask(pattern), name);
}

std::string SearchNormalForm(const std::string& part) {
  std::string normal = part;
  while (!normal.empty() && (normal.back() == '.' || normal.back() == ' ')) normal.pop_back();
  return normal;
}
