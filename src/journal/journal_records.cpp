// Sealing and checking the journal's lines (see journal_records.h).
#include "journal/journal_records.h"

#include <cstdlib>
#include <cstring>

const char kJournalFormat[] = "SETUP-ROLLBACK 2";

namespace {

const size_t kSealTextLength = 2 * kSha256Size;

// The seal of text after the seal `before`.
bool SealOf(const unsigned char* key, const unsigned char* before, const char* text, size_t length,
            unsigned char* seal) {
  unsigned char* input = static_cast<unsigned char*>(std::malloc(kSha256Size + length));
  if (!input) return false;
  std::memcpy(input, before, kSha256Size);
  std::memcpy(input + kSha256Size, text, length);
  bool made = HmacSha256(key, kJournalKeySize, input, kSha256Size + length, seal);
  std::free(input);
  return made;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

void HexText(const unsigned char* bytes, size_t size, char* text) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < size; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 15];
  }
  text[2 * size] = '\0';
}

bool ParseHex(const char* text, unsigned char* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    int high = HexDigit(text[2 * i]);
    int low = high < 0 ? -1 : HexDigit(text[2 * i + 1]);
    if (low < 0) return false;
    bytes[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return text[2 * size] == '\0';
}

size_t SealRecord(const JournalChain& chain, const char* const* fields, int count, char* line,
                  size_t capacity, unsigned char* newSeal) {
  size_t length = 0;
  // Room stays for the tab, the seal, the line break and the NUL.
  const size_t limit = capacity > kSealTextLength + 3 ? capacity - kSealTextLength - 3 : 0;
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      if (length + 1 > limit) return 0;
      line[length++] = '\t';
    }
    for (const char* p = fields[i] ? fields[i] : ""; *p; ++p) {
      char escape = *p == '\t' ? 't' : *p == '\n' ? 'n' : *p == '\r' ? 'r' : *p == '\\' ? '\\' : 0;
      if (length + (escape ? 2 : 1) > limit) return 0;
      if (escape) {
        line[length++] = '\\';
        line[length++] = escape;
      } else {
        line[length++] = *p;
      }
    }
  }
  if (!SealOf(chain.key, chain.seal, line, length, newSeal)) return 0;
  line[length++] = '\t';
  HexText(newSeal, kSha256Size, line + length);
  length += kSealTextLength;
  line[length++] = '\n';
  line[length] = '\0';
  return length;
}

int SplitRecord(char* record, char** fields, int max) {
  int count = 0;
  char* write = record;
  if (max > 0) fields[0] = write;
  ++count;
  for (const char* read = record; *read; ++read) {
    if (*read == '\t') {
      *write++ = '\0';
      if (count < max) fields[count] = write;
      ++count;
    } else if (*read == '\\' && read[1]) {
      ++read;
      *write++ = *read == 't' ? '\t' : *read == 'n' ? '\n' : *read == 'r' ? '\r' : *read;
    } else {
      *write++ = *read;
    }
  }
  *write = '\0';
  return count;
}

bool ReadJournalHeader(const char* text, size_t size, char* folder, size_t folderSize,
                       char* idText) {
  const char* end = static_cast<const char*>(std::memchr(text, '\n', size));
  if (!end) return false;
  size_t length = static_cast<size_t>(end - text);
  char* line = static_cast<char*>(std::malloc(length + 1));
  if (!line) return false;
  std::memcpy(line, text, length);
  line[length] = '\0';
  char* fields[4];
  // The format, the folder, the id and the seal; a NUL inside makes it fewer.
  bool valid = SplitRecord(line, fields, 4) == 4 && std::strcmp(fields[0], kJournalFormat) == 0 &&
               std::strlen(fields[2]) == kJournalIdTextSize - 1 &&
               std::strlen(fields[1]) < folderSize;
  if (valid) {
    std::memcpy(folder, fields[1], std::strlen(fields[1]) + 1);
    std::memcpy(idText, fields[2], kJournalIdTextSize);
  }
  std::free(line);
  return valid;
}

bool CheckJournal(char* text, size_t size, const unsigned char* key, JournalCheck* check) {
  check->count = 0;
  check->sealedLength = 0;
  check->fault = nullptr;
  std::memset(check->seal, 0, sizeof check->seal);
  size_t lines = 1;
  for (size_t i = 0; i < size; ++i) lines += text[i] == '\n';
  check->records = static_cast<char**>(std::malloc(lines * sizeof(char*)));
  if (!check->records) {
    check->fault = "out of memory";
    return false;
  }
  size_t at = 0;
  while (at < size) {
    char* line = text + at;
    char* end = static_cast<char*>(std::memchr(line, '\n', size - at));
    size_t length = end ? static_cast<size_t>(end - line) : size - at;
    size_t next = at + length + (end ? 1 : 0);
    unsigned char written[kSha256Size];
    unsigned char computed[kSha256Size];
    size_t content = length > kSealTextLength ? length - kSealTextLength - 1 : 0;
    // A whole line: its break, no NUL, a tab before the seal, and the seal.
    bool sealed = end && length > kSealTextLength && line[content] == '\t' &&
                  !std::memchr(line, '\0', length);
    if (sealed) {
      *end = '\0';
      sealed = ParseHex(line + content + 1, written, kSha256Size) &&
               SealOf(key, check->seal, line, content, computed) &&
               std::memcmp(written, computed, kSha256Size) == 0;
    }
    if (!sealed) {
      if (next >= size) return true;  // the last line: never written
      check->fault = check->count == 0 ? "the header's seal fails" : "a record's seal fails";
      return false;
    }
    line[content] = '\0';
    check->records[check->count++] = line;
    std::memcpy(check->seal, written, kSha256Size);
    check->sealedLength = next;
    at = next;
  }
  return true;
}
