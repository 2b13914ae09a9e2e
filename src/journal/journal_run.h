// The undo journal's life, from the program's side: an unfinished journal
// found when an installation starts, this run's journal (made before the
// first action, flushed at the end of each section), and its end: removed
// once the run's result stands, or undone.
#pragma once
#include <cstddef>

// "<directory>\Setup-rollback\" (the current directory when directory is
// empty) into path (MAX_PATH bytes).
bool JournalFolderOf(const char* directory, char* path);

// What the journal's folder of an installation holds.
enum JournalFound {
  kFoundNothing,     // no journal
  kFoundLink,        // the folder is a link: never entered
  kFoundFinished,    // a journal whose run's result stands: only to be removed
  kFoundUnfinished,  // a journal of this account's run that did not finish
  kFoundUnverified   // a journal that cannot be verified: never acted on
};
// reason (may be null) receives why a journal is not verified.
JournalFound JournalExamine(const char* directory, const char** reason);

enum JournalStart {
  kJournalMade,
  kJournalFailed,      // errorCode says why
  kJournalNotVerified, // the folder holds a journal that cannot be verified
  kJournalFolderLink   // the folder is a link
};
// Makes the folder anew and this run's journal.
JournalStart JournalBegin(const char* directory, unsigned long* errorCode);
// Hands the journal to the disk (not only to the system).
void JournalFlush();
// Closes the journal, keeping it on the disk as it is.
void JournalClose();
// The run's result stands: recorded and handed to the disk, so that from
// now on the journal is only ever removed, never undone.
void JournalResultStands();
// Records that the result stands (if not yet), then the journal and its
// backups go.
void JournalEnd();
// Removes an unfinished journal without undoing it (the user keeps the
// installation as it is).
void JournalDiscard(const char* directory);
// Undoes every record of the journal in directory, newest first; a journal
// whose run's result stands is only removed. True when nothing is left to
// undo (the folder is gone). Otherwise the journal keeps what is left, and
// `remaining` (size bytes) names it, one item a line.
bool JournalUndo(const char* directory, char* remaining, size_t size);
