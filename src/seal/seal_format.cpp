#include "seal/seal_format.h"

#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "script/script_reader.h"

const char kSealFileName[] = "setup.sum";
const char kSealHeader[] = "setup.sum 1";

namespace {

const unsigned long kBadByte = 0x110000;  // above every character

// One UTF-8 character of text at *at (the text ends at `end` or at a NUL);
// a malformed, overlong or surrogate sequence gives kBadByte + its first
// byte and moves one byte on.
unsigned long NextCharacter(const unsigned char* text, size_t end, size_t* at) {
  unsigned char lead = text[*at];
  int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2
            : (lead & 0xF8) == 0xF0 ? 3 : -1;
  unsigned long c = extra == 0 ? lead : extra == 1 ? (lead & 0x1Fu) : extra == 2 ? (lead & 0x0Fu)
                                                                                 : (lead & 0x07u);
  bool whole = extra >= 0;
  for (int i = 1; whole && i <= extra; ++i) {
    if (*at + i >= end) {
      whole = false;
      break;
    }
    unsigned char next = text[*at + i];
    whole = (next & 0xC0) == 0x80;  // a NUL ends the text and fails here
    c = (c << 6) | (next & 0x3Fu);
  }
  static const unsigned long kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (!whole || c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++*at;
    return kBadByte + lead;
  }
  *at += static_cast<size_t>(extra) + 1;
  return c;
}

// The capital Windows gives a letter in file names, for the scripts a
// package's names are written in.
unsigned long FoldLetter(unsigned long c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs of capital and small letter; where the capital is odd the
    // small one is even.
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
    bool capitalOdd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    return (c % 2 == (capitalOdd ? 0u : 1u)) ? c - 1 : c;
  }
  if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return c - 32;
  if (c == 0x3C2) return 0x3A3;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 37;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 63;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

int HexValue(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with or without an extension, name
// devices on Windows, not files.
bool IsDeviceName(const char* part, size_t length) {
  const char* dot = static_cast<const char*>(std::memchr(part, '.', length));
  size_t base = dot ? static_cast<size_t>(dot - part) : length;
  char upper[5] = {0, 0, 0, 0, 0};
  if (base < 3 || base > 4) return false;
  for (size_t i = 0; i < base; ++i) upper[i] = FoldAscii(part[i]);
  if (base == 3) {
    return std::strcmp(upper, "CON") == 0 || std::strcmp(upper, "PRN") == 0 ||
           std::strcmp(upper, "AUX") == 0 || std::strcmp(upper, "NUL") == 0;
  }
  return (std::strncmp(upper, "COM", 3) == 0 || std::strncmp(upper, "LPT", 3) == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

const SealList* sortedList = nullptr;  // for the qsort comparison of the index

int CompareFoldedEntries(const void* a, const void* b) {
  const SealEntry* entries = sortedList->entries;
  return CompareSealNames(entries[*static_cast<const int*>(a)].path,
                          entries[*static_cast<const int*>(b)].path);
}

int CompareEntryBytes(const void* a, const void* b) {
  return std::strcmp(static_cast<const SealEntry*>(a)->path, static_cast<const SealEntry*>(b)->path);
}

}  // namespace

void SealListInit(SealList* list) {
  list->entries = nullptr;
  list->count = 0;
  list->capacity = 0;
  list->folded = nullptr;
}

bool SealListAdd(SealList* list, const char* path, unsigned long long size,
                 const unsigned char* digest) {
  std::free(list->folded);  // a new entry makes the index stale
  list->folded = nullptr;
  if (list->count == list->capacity) {
    int capacity = list->capacity ? list->capacity * 2 : 64;
    void* grown = std::realloc(list->entries, sizeof(SealEntry) * static_cast<size_t>(capacity));
    if (!grown) return false;
    list->entries = static_cast<SealEntry*>(grown);
    list->capacity = capacity;
  }
  char* copy = DuplicateText(path);
  if (!copy) return false;
  SealEntry& entry = list->entries[list->count++];
  entry.size = size;
  entry.path = copy;
  if (digest) {
    std::memcpy(entry.digest, digest, kSha256Size);
  } else {
    std::memset(entry.digest, 0, kSha256Size);
  }
  return true;
}

void SealListFree(SealList* list) {
  for (int i = 0; i < list->count; ++i) std::free(list->entries[i].path);
  std::free(list->entries);
  std::free(list->folded);
  SealListInit(list);
}

void SealListSortForFile(SealList* list) {
  std::free(list->folded);
  list->folded = nullptr;
  if (list->count > 1) {
    std::qsort(list->entries, static_cast<size_t>(list->count), sizeof(SealEntry), CompareEntryBytes);
  }
}

bool SealListIndex(SealList* list) {
  std::free(list->folded);
  list->folded = static_cast<int*>(std::malloc(sizeof(int) * (list->count ? list->count : 1)));
  if (!list->folded) return false;
  for (int i = 0; i < list->count; ++i) list->folded[i] = i;
  sortedList = list;
  std::qsort(list->folded, static_cast<size_t>(list->count), sizeof(int), CompareFoldedEntries);
  sortedList = nullptr;
  return true;
}

int SealListFind(const SealList* list, const char* path) {
  if (!list->folded) return -1;
  int low = 0, high = list->count - 1;
  while (low <= high) {
    int middle = low + (high - low) / 2;
    int entry = list->folded[middle];
    int order = CompareSealNames(path, list->entries[entry].path);
    if (order == 0) return entry;
    if (order < 0) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return -1;
}

int SealListFindTwin(const SealList* list) {
  if (!list->folded) return -1;
  for (int i = 1; i < list->count; ++i) {
    int first = list->folded[i - 1], second = list->folded[i];
    if (CompareSealNames(list->entries[first].path, list->entries[second].path) == 0) {
      return first > second ? first : second;  // the later one, whatever the sort did
    }
  }
  return -1;
}

int CompareSealNames(const char* a, const char* b) {
  const unsigned char* left = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* right = reinterpret_cast<const unsigned char*>(b);
  size_t i = 0, j = 0;
  for (;;) {
    if (left[i] == '\0' || right[j] == '\0') return (left[i] != '\0') - (right[j] != '\0');
    unsigned long x = FoldLetter(NextCharacter(left, static_cast<size_t>(-1), &i));
    unsigned long y = FoldLetter(NextCharacter(right, static_cast<size_t>(-1), &j));
    if (x != y) return x < y ? -1 : 1;
  }
}

bool IsSealPath(const char* path, size_t length, const char** why) {
  const char* reason = nullptr;
  const unsigned char* text = reinterpret_cast<const unsigned char*>(path);
  size_t partStart = 0;
  if (length == 0) reason = "an empty name";
  if (length >= kSealPathCapacity) reason = "a name too long";
  if (std::memchr(path, '\0', length)) reason = "a NUL byte";
  for (size_t at = 0; !reason && at <= length;) {
    if (at == length || text[at] == '\\') {
      size_t partLength = at - partStart;
      const char* part = path + partStart;
      if (partLength == 0) {
        reason = "an empty part";
      } else if ((partLength == 1 && part[0] == '.') ||
                 (partLength == 2 && part[0] == '.' && part[1] == '.')) {
        reason = "a part '.' or '..'";
      } else if (part[partLength - 1] == '.' || part[partLength - 1] == ' ') {
        reason = "a part ending in '.' or ' '";
      } else if (IsDeviceName(part, partLength)) {
        reason = "a device name";
      }
      partStart = ++at;
      continue;
    }
    unsigned long c = NextCharacter(text, length, &at);
    if (c >= kBadByte) {
      reason = "not UTF-8";
    } else if (c < 0x20 || c == 0x7F || std::strchr("/:*?\"<>|", static_cast<int>(c))) {
      reason = "a character Windows does not allow";
    }
  }
  if (why) *why = reason;
  return reason == nullptr;
}

bool ParseSeal(const char* text, size_t size, SealList* list, int* faultLine,
               const char** fault) {
  SealListInit(list);
  *faultLine = 0;
  *fault = nullptr;
  if (size > kSealTextLimit) {
    *fault = "too large";
    return false;
  }
  size_t at = 0;
  int lineNumber = 0;
  char path[kSealPathCapacity];
  while (at < size && !*fault) {
    ++lineNumber;
    const char* line = text + at;
    const char* newline = static_cast<const char*>(std::memchr(line, '\n', size - at));
    size_t length = newline ? static_cast<size_t>(newline - line) : size - at;
    at += length + (newline ? 1 : 0);
    if (length > 0 && line[length - 1] == '\r') --length;
    if (lineNumber == 1) {
      if (length != std::strlen(kSealHeader) || std::memcmp(line, kSealHeader, length) != 0) {
        *fault = "the first line is not \"setup.sum 1\"";
      }
      continue;
    }
    // size, one blank, 64 hex digits, one blank, the path
    size_t digits = 0;
    unsigned long long fileSize = 0;
    // At most 19 digits: never past 64 bits, and no file is that large.
    while (digits < length && digits < 19 && line[digits] >= '0' && line[digits] <= '9') {
      fileSize = fileSize * 10 + static_cast<unsigned>(line[digits] - '0');
      ++digits;
    }
    if (digits == 0 || digits >= length || line[digits] != ' ' || (digits > 1 && line[0] == '0')) {
      *fault = "no size in bytes first";
      continue;
    }
    const char* hex = line + digits + 1;
    size_t rest = length - digits - 1;
    bool hexWhole = rest > 2 * kSha256Size && hex[2 * kSha256Size] == ' ';
    for (size_t i = 0; hexWhole && i < 2 * kSha256Size; ++i) hexWhole = IsHexDigit(hex[i]);
    if (!hexWhole) {
      *fault = "no SHA-256 (64 lower-case hex digits) after the size";
      continue;
    }
    const char* name = hex + 2 * kSha256Size + 1;
    size_t nameLength = rest - 2 * kSha256Size - 1;
    const char* why = nullptr;
    if (!IsSealPath(name, nameLength, &why)) {
      *fault = why;
      continue;
    }
    std::memcpy(path, name, nameLength);
    path[nameLength] = '\0';
    if (CompareSealNames(path, kSealFileName) == 0) {
      *fault = "the seal lists itself";
      continue;
    }
    unsigned char digest[kSha256Size];
    for (size_t i = 0; i < kSha256Size; ++i) {
      digest[i] = static_cast<unsigned char>(HexValue(hex[2 * i]) * 16 + HexValue(hex[2 * i + 1]));
    }
    if (!SealListAdd(list, path, fileSize, digest)) *fault = "out of memory";
  }
  if (!*fault && lineNumber == 0) *fault = "the file is empty";
  if (!*fault) {
    if (!SealListIndex(list)) {
      *fault = "out of memory";
    } else {
      int twin = SealListFindTwin(list);
      if (twin >= 0) {
        *fault = "a file listed twice (letter case aside)";
        lineNumber = twin + 2;
      }
    }
  }
  if (*fault) {
    *faultLine = lineNumber;
    SealListFree(list);
    return false;
  }
  return true;
}

char* FormatSeal(SealList* list, size_t* size) {
  SealListSortForFile(list);
  // size (at most 20 digits), blank, 64 digits, blank, path, LF
  size_t capacity = std::strlen(kSealHeader) + 2;
  for (int i = 0; i < list->count; ++i) {
    capacity += 20 + 1 + 2 * kSha256Size + 1 + std::strlen(list->entries[i].path) + 1;
  }
  char* text = static_cast<char*>(std::malloc(capacity));
  if (!text) return nullptr;
  text[0] = '\0';
  AppendText(text, capacity, kSealHeader);
  AppendText(text, capacity, "\n");
  size_t used = std::strlen(text);
  for (int i = 0; i < list->count; ++i) {
    const SealEntry& entry = list->entries[i];
    char number[kDecimalTextSize];
    char digest[kSha256TextSize];
    DigestText(entry.digest, digest);
    // Appended at the end each time: the whole text is never searched again.
    char* end = text + used;
    end[0] = '\0';
    FormatText(end, capacity - used, "%s %s %s\n", DecimalText(entry.size, number), digest,
               entry.path);
    used += std::strlen(end);
  }
  *size = used;
  return text;
}
