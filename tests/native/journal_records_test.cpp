// The journal's seals: a journal reads back as sealed; a last line cut
// short or wrongly sealed counts as never written; any other change, a
// line dropped from the middle or another key, is never trusted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "journal/journal_records.h"

namespace {

const unsigned char kKey[kJournalKeySize] = {1, 2, 3};

std::string Seal() {
  JournalChain chain = {};
  std::memcpy(chain.key, kKey, sizeof kKey);
  std::string journal;
  const char* lines[][3] = {{kJournalFormat, "C:\\inst\\Setup-rollback\\", "00ff"},
                            {"NEWFILE", "C:\\inst\\a\tb", "0.1.2.3"},
                            {"REPLACE", "C:\\inst\\b.txt", "x"},
                            {"END", "the result stands", nullptr}};
  for (auto& fields : lines) {
    char line[512];
    unsigned char seal[kSha256Size];
    size_t length = SealRecord(chain, fields, fields[2] ? 3 : 2, line, sizeof line, seal);
    EXPECT_GT(length, 0u);
    std::memcpy(chain.seal, seal, sizeof seal);
    journal += line;
  }
  return journal;
}

// Trusted or not, and how many lines count.
std::pair<bool, int> Read(std::string text, const unsigned char* key = kKey) {
  JournalCheck check;
  bool trusted = CheckJournal(&text[0], text.size(), key, &check);
  std::free(check.records);
  return {trusted, check.count};
}

TEST(JournalRecords, SealsHoldEveryLineAndOnlyTheLastMayBeCutOrUnsealed) {
  if (!CryptoAvailable()) GTEST_SKIP() << "no libcrypto in this build";
  const std::string journal = Seal();
  const size_t lastLine = journal.rfind('\n', journal.size() - 2) + 1;
  const unsigned char otherKey[kJournalKeySize] = {1, 2, 4};
  std::string swapped = journal;  // the second and third lines change places
  size_t second = journal.find('\n') + 1, third = journal.find('\n', second) + 1;
  swapped = journal.substr(0, second) + journal.substr(third, lastLine - third) +
            journal.substr(second, third - second) + journal.substr(lastLine);
  std::string flipped = journal;
  flipped[third + 12] ^= 1;
  const struct {
    const char* name;
    std::string text;
    bool trusted;
    int count;
  } cases[] = {
      {"as sealed", journal, true, 4},
      {"the last line cut short", journal.substr(0, journal.size() - 9), true, 3},
      {"a half line after the last", journal + "NEWFILE\tC:\\x", true, 4},
      {"a whole line with a false seal after the last", journal + "END\t" + std::string(64, 'a') + "\n",
       true, 4},
      {"one byte of a middle line changed", flipped, false, 2},
      {"a line dropped from the middle", journal.substr(0, second) + journal.substr(third), false, 1},
      {"two lines swapped", swapped, false, 1},
      {"a NUL inside a line", journal.substr(0, second + 3) + '\0' + journal.substr(second + 4),
       false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Read(c.text), std::make_pair(c.trusted, c.count));
  }
  EXPECT_FALSE(Read(journal, otherKey).first);

  char folder[64];
  char id[kJournalIdTextSize];
  EXPECT_FALSE(ReadJournalHeader(journal.data(), journal.size(), folder, sizeof folder, id));
  std::string header = std::string(kJournalFormat) + "\tC:\\\\inst\\\\Setup-rollback\\\\\t" +
                       std::string(32, 'a') + "\t" + std::string(64, '0') + "\n";
  ASSERT_TRUE(ReadJournalHeader(header.data(), header.size(), folder, sizeof folder, id));
  EXPECT_STREQ(folder, "C:\\inst\\Setup-rollback\\");
  EXPECT_EQ(std::string(id), std::string(32, 'a'));
}

}  // namespace
