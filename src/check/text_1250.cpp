#include "check/text_1250.h"

#include <cstring>

namespace {

// Unicode code points of the bytes 0x80 to 0xFF; 0 where undefined.
const unsigned short kCodePoints[128] = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

struct BytePair {
  unsigned char from;
  unsigned char to;
};

// Lower-case accented letters and their capitals.
const BytePair kCapitals[] = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0xB3, 0xA3}, {0xB9, 0xA5}, {0xBA, 0xAA}, {0xBE, 0xBC}, {0xBF, 0xAF}, {0xE0, 0xC0}, {0xE1, 0xC1}, {0xE2, 0xC2}, {0xE3, 0xC3}, {0xE4, 0xC4}, {0xE5, 0xC5}, {0xE6, 0xC6}, {0xE7, 0xC7}, {0xE8, 0xC8}, {0xE9, 0xC9}, {0xEA, 0xCA}, {0xEB, 0xCB}, {0xEC, 0xCC}, {0xED, 0xCD}, {0xEE, 0xCE}, {0xEF, 0xCF}, {0xF0, 0xD0}, {0xF1, 0xD1}, {0xF2, 0xD2}, {0xF3, 0xD3}, {0xF4, 0xD4}, {0xF5, 0xD5}, {0xF6, 0xD6}, {0xF8, 0xD8}, {0xF9, 0xD9}, {0xFA, 0xDA}, {0xFB, 0xDB}, {0xFC, 0xDC}, {0xFD, 0xDD}, {0xFE, 0xDE}};

// Accented letters and their plain ASCII letters.
const BytePair kPlainLetters[] = {{0x8A, 'S'}, {0x8C, 'S'}, {0x8D, 'T'}, {0x8E, 'Z'}, {0x8F, 'Z'}, {0x9A, 's'}, {0x9C, 's'}, {0x9D, 't'}, {0x9E, 'z'}, {0x9F, 'z'}, {0xA3, 'L'}, {0xA5, 'A'}, {0xAA, 'S'}, {0xAF, 'Z'}, {0xB3, 'l'}, {0xB9, 'a'}, {0xBA, 's'}, {0xBC, 'L'}, {0xBE, 'l'}, {0xBF, 'z'}, {0xC0, 'R'}, {0xC1, 'A'}, {0xC2, 'A'}, {0xC3, 'A'}, {0xC4, 'A'}, {0xC5, 'L'}, {0xC6, 'C'}, {0xC7, 'C'}, {0xC8, 'C'}, {0xC9, 'E'}, {0xCA, 'E'}, {0xCB, 'E'}, {0xCC, 'E'}, {0xCD, 'I'}, {0xCE, 'I'}, {0xCF, 'D'}, {0xD0, 'D'}, {0xD1, 'N'}, {0xD2, 'N'}, {0xD3, 'O'}, {0xD4, 'O'}, {0xD5, 'O'}, {0xD6, 'O'}, {0xD8, 'R'}, {0xD9, 'U'}, {0xDA, 'U'}, {0xDB, 'U'}, {0xDC, 'U'}, {0xDD, 'Y'}, {0xDE, 'T'}, {0xE0, 'r'}, {0xE1, 'a'}, {0xE2, 'a'}, {0xE3, 'a'}, {0xE4, 'a'}, {0xE5, 'l'}, {0xE6, 'c'}, {0xE7, 'c'}, {0xE8, 'c'}, {0xE9, 'e'}, {0xEA, 'e'}, {0xEB, 'e'}, {0xEC, 'e'}, {0xED, 'i'}, {0xEE, 'i'}, {0xEF, 'd'}, {0xF0, 'd'}, {0xF1, 'n'}, {0xF2, 'n'}, {0xF3, 'o'}, {0xF4, 'o'}, {0xF5, 'o'}, {0xF6, 'o'}, {0xF8, 'r'}, {0xF9, 'u'}, {0xFA, 'u'}, {0xFB, 'u'}, {0xFC, 'u'}, {0xFD, 'y'}, {0xFE, 't'}};

char Lookup(const BytePair* pairs, size_t count, char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  for (size_t i = 0; i < count; ++i) {
    if (pairs[i].from == byte) return static_cast<char>(pairs[i].to);
  }
  return c;
}

void AppendUtf8(std::string* out, unsigned code) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// ISO-8859-2 where it differs from Windows-1250 (0xA0 to 0xBF; 0x80 to
// 0x9F are control characters there, 0xC0 to 0xFF are the same).
const unsigned short kLatin2A0[32] = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7,
    0x00A8, 0x0160, 0x015E, 0x0164, 0x0179, 0x00AD, 0x017D, 0x017B,
    0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C,
};

bool IsLetter1250(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || Unaccented1250(c) != c;
}

bool IsLowerLetter1250(char c) {
  return (c >= 'a' && c <= 'z') || (Unaccented1250(c) != c && Upper1250(c) != c);
}

}  // namespace

char Upper1250(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  return Lookup(kCapitals, sizeof kCapitals / sizeof kCapitals[0], c);
}

bool SameText1250(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (b[i] == '\0' || Upper1250(a[i]) != Upper1250(b[i])) return false;
  }
  return b[length] == '\0';
}

char Unaccented1250(char c) {
  return Lookup(kPlainLetters, sizeof kPlainLetters / sizeof kPlainLetters[0], c);
}

unsigned CodePoint1250(unsigned char c) { return c < 0x80 ? c : kCodePoints[c - 0x80]; }

std::string Utf8From1250(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    unsigned code = CodePoint1250(c);
    AppendUtf8(&out, code || !c ? code : 0xFFFD);
  }
  return out;
}

std::string Text1250FromUtf8(const std::string& utf8) {
  std::string text;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t size = utf8.size();
  for (size_t i = 0; i < size;) {
    size_t length = Utf8SequenceLength(p + i, size - i);
    if (length == 0) {
      text += static_cast<char>(p[i]);
      ++i;
      continue;
    }
    unsigned code = p[i] & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) code = (code << 6) | (p[i + k] & 0x3F);
    char byte = '?';
    for (unsigned c = 0x80; c <= 0xFF; ++c) {
      if (CodePoint1250(static_cast<unsigned char>(c)) == code) byte = static_cast<char>(c);
    }
    text += byte;
    i += length;
  }
  return text;
}

unsigned CodePointLatin2(unsigned char c) {
  if (c >= 0xA0 && c <= 0xBF) return kLatin2A0[c - 0xA0];
  return c >= 0x80 && c < 0xA0 ? c : CodePoint1250(c);
}

size_t FindLatin2Byte(const std::string& text, size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char before = i > 0 ? text[i - 1] : ' ';
    char after = i + 1 < text.size() ? text[i + 1] : ' ';
    switch (c) {
      case 0xA5:  // Ą for Ľ
      case 0xB9:  // ą for š
      case 0xB5:  // µ for ľ
        return i;
      case 0xA9:  // © for Š
      case 0xAE:  // ® for Ž
        if (IsLowerLetter1250(after)) return i;
        break;
      case 0xAB:  // « for Ť
      case 0xBB:  // » for ť
        if (IsLetter1250(before) && IsLetter1250(after)) return i;
        break;
      default: break;
    }
  }
  return std::string::npos;
}

size_t Utf8SequenceLength(const unsigned char* text, size_t available) {
  unsigned char lead = text[0];
  size_t length;
  unsigned minimum;
  unsigned code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (available < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (text[i] & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}
