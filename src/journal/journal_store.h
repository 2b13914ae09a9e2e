// What the recording and the undo side of the journal share: the secret
// each journal is sealed with, a journal read and checked from disk, and
// the removal of its folder. Win32 side only.
#pragma once
#include <windows.h>

#include "journal/journal_records.h"

extern const char kJournalFileName[];

// Each journal's secret key lives in the registry of the account that wrote
// it (HKCU), under the journal's id; other standard accounts cannot read
// it. A journal whose result stands is marked there as finished.
bool StoreJournalSecret(const char* idText, const unsigned char* key, bool finished);
// False when this account holds no secret for the id.
bool LoadJournalSecret(const char* idText, unsigned char* key, bool* finished);
void ForgetJournalSecret(const char* idText);

// Writes one sealed record to file at *length, the end of its whole
// records; moves the chain and *length on. A record that cannot be written
// whole is cut off again: false, with the system's reason (a full volume:
// ERROR_DISK_FULL).
bool WriteSealedLine(HANDLE file, const char* const* fields, int count, JournalChain* chain,
                     DWORD* length);
// The SHA-256 (hex, kSha256TextSize) of what is left to read in file.
bool HashOfOpenFile(HANDLE file, char* text);
// The same of a file that anyone may go on using meanwhile.
bool HashOfFile(const char* path, char* text);

// A path (no final backslash needed) that is a link: a symbolic link or a
// junction. Under Wine only links to directories show as such.
bool IsLinkPath(const char* path);

struct LoadedJournal {
  char folder[MAX_PATH];  // with its final backslash
  char idText[kJournalIdTextSize];
  JournalChain chain;     // the key, and the seal of the last sealed line
  char* text;             // the journal's bytes; the records point into it
  JournalCheck check;
  bool finished;          // the run's result stands: only to be removed
};

enum JournalLoad { kLoadNone, kLoadLink, kLoadUnverified, kLoadVerified };
// Reads and checks the journal in directory's folder. Anything but
// kLoadVerified leaves nothing to free; reason (may be null) says why it
// is not trusted.
JournalLoad LoadJournal(const char* directory, LoadedJournal* journal, const char** reason);
void FreeJournal(LoadedJournal* journal);
// Appends one sealed record to a loaded journal (a cut-short last line is
// cut off first) and hands it to the disk.
bool AppendToJournal(LoadedJournal* journal, const char* kind, const char* detail);

// Removes the folder (path with its final backslash) with everything in
// it, the journal last. A link inside is removed as a link and never
// entered; one that cannot be removed is left and logged. True when the
// folder is gone.
bool RemoveJournalFolder(const char* path);
// Removes the folder of a journal whose result stands, then its secret.
void FinishJournalRemoval(LoadedJournal* journal);
