// The undo journal as text: one record a line, its fields separated by tabs
// (tabs, line breaks and backslashes inside a field escaped), and at its end
// a seal: the HMAC-SHA-256, under the journal's own secret key, of the seal
// of the line before it and the line itself. A line can thus be neither
// changed, nor dropped from the middle, nor moved into another journal
// without a seal failing. No <windows.h>: the reader is fuzzed natively.
#pragma once
#include <cstddef>

#include "app/crypto.h"

// The first field of a journal's first line (the header).
extern const char kJournalFormat[];
const size_t kJournalKeySize = 32;
const size_t kJournalIdSize = 16;
const size_t kJournalIdTextSize = 2 * kJournalIdSize + 1;
// Fields of a record, its kind included.
const int kRecordFields = 9;

// The key and the seal of the last line written (zeros before the header).
struct JournalChain {
  unsigned char key[kJournalKeySize];
  unsigned char seal[kSha256Size];
};

// Writes the fields escaped and tab-separated, a tab, the seal in hex and a
// line break into line (capacity bytes, NUL-terminated). Returns the length,
// or 0 when the line does not fit or no seal could be made. newSeal
// receives the line's seal: the chain moves on only once the line is
// written.
size_t SealRecord(const JournalChain& chain, const char* const* fields, int count, char* line,
                  size_t capacity, unsigned char* newSeal);

// The folder and the id (kJournalIdTextSize) that the header names, read
// whatever its seal: the id says which key to check it with. False when the
// text starts with no header of this format.
bool ReadJournalHeader(const char* text, size_t size, char* folder, size_t folderSize,
                       char* idText);

struct JournalCheck {
  char** records;        // each sealed line, cut before its seal; the header first
  int count;
  size_t sealedLength;   // bytes the sealed lines take, line breaks included
  unsigned char seal[kSha256Size];  // of the last sealed line
  const char* fault;     // why the journal cannot be trusted, or null
};

// Checks the journal text (size bytes; changed in place) under key. A last
// line that is cut short or whose seal fails counts as never written; a
// failing line before it means the journal was changed: false, with the
// fault named. check->records is a new heap array (free it, also on false).
bool CheckJournal(char* text, size_t size, const unsigned char* key, JournalCheck* check);

// Splits a record at its tabs and undoes the escapes, in place. Returns the
// number of fields found; fields receives the first max of them.
int SplitRecord(char* record, char** fields, int max);

// size bytes as lower-case hex into text (2 * size + 1 bytes).
void HexText(const unsigned char* bytes, size_t size, char* text);
// Exactly 2 * size hex digits into bytes; false for anything else.
bool ParseHex(const char* text, unsigned char* bytes, size_t size);
