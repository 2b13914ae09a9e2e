// The journal's reader from random bytes: records, escapes and seals. The
// input is read as a journal as it stands, then taken as records (fields
// split at 0x1F, records at 0x1E, so that fields hold tabs, line breaks and
// backslashes) that are sealed under a fixed key and read back: every
// sealed record splits into exactly the fields written, and after one byte
// of the sealed text is changed the reader trusts no record that differs
// from the one sealed in its place.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "journal/journal_records.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

const unsigned char kKey[kJournalKeySize] = {7, 1, 8, 2, 8, 1, 8, 2, 8, 4, 5, 9, 0, 4, 5, 2,
                                             3, 5, 3, 6, 0, 2, 8, 7, 4, 7, 1, 3, 5, 2, 6, 6};

// Checks text as a journal; the records it trusts, as texts.
bool Read(std::string text, std::vector<std::string>* records) {
  JournalCheck check;
  bool trusted = CheckJournal(&text[0], text.size(), kKey, &check);
  Check(check.sealedLength <= text.size());
  records->clear();
  for (int i = 0; i < check.count; ++i) records->push_back(check.records[i]);
  std::free(check.records);
  return trusted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!CryptoAvailable() || size < 2) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string> records;
  Read(input, &records);
  char folder[64];
  char id[kJournalIdTextSize];
  ReadJournalHeader(input.data(), input.size(), folder, sizeof folder, id);

  // The input as records of fields; a NUL ends a field early.
  std::vector<std::vector<std::string>> written(1);
  std::string field;
  for (size_t i = 0; i <= input.size(); ++i) {
    char c = i < input.size() ? input[i] : '\x1e';
    if (c == '\x1f' || c == '\x1e') {
      written.back().push_back(field.c_str());
      field.clear();
      if (c == '\x1e' && i < input.size()) written.emplace_back();
    } else {
      field += c;
    }
  }
  JournalChain chain;
  std::memcpy(chain.key, kKey, sizeof kKey);
  std::memset(chain.seal, 0, sizeof chain.seal);
  std::string journal;
  std::vector<std::string> sealed;
  for (const auto& fields : written) {
    if (fields.size() > static_cast<size_t>(kRecordFields)) continue;
    const char* pointers[kRecordFields];
    for (size_t i = 0; i < fields.size(); ++i) pointers[i] = fields[i].c_str();
    char line[8192];
    unsigned char seal[kSha256Size];
    size_t length = SealRecord(chain, pointers, static_cast<int>(fields.size()), line, sizeof line, seal);
    if (length == 0) continue;
    Check(length == std::strlen(line) && line[length - 1] == '\n');
    std::memcpy(chain.seal, seal, sizeof seal);
    journal += line;
    sealed.push_back(std::string(line, length - 2 * kSha256Size - 2));
    // Each field reads back as written, whatever it held.
    std::string copy = sealed.back();
    char* parts[kRecordFields];
    int count = SplitRecord(&copy[0], parts, kRecordFields);
    Check(count == static_cast<int>(fields.size()));
    for (int i = 0; i < count; ++i) Check(fields[i] == parts[i]);
  }
  Check(Read(journal, &records) && records == sealed);

  // One byte changed: whatever is still trusted is what was sealed there.
  if (!journal.empty()) {
    size_t at = (static_cast<size_t>(data[0]) * 7919u) % journal.size();
    journal[at] = static_cast<char>(journal[at] ^ (data[0] | 1));
    Read(journal, &records);
    Check(records.size() <= sealed.size());
    for (size_t i = 0; i < records.size(); ++i) Check(records[i] == sealed[i]);
  }

  unsigned char bytes[16] = {};
  char hex[33];
  std::memcpy(bytes, input.data(), input.size() < 16 ? input.size() : 16);
  HexText(bytes, 16, hex);
  unsigned char back[16];
  Check(ParseHex(hex, back, 16) && std::memcmp(back, bytes, 16) == 0);
  return 0;
}
