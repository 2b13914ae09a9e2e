// The undo journal's life, from the program's side: made when the
// installation starts, flushed at the end of each section, removed when the
// run ends and its result stands, or undone.
#pragma once
#include <cstddef>

// "<directory>\Setup-rollback\" (the current directory when directory is
// empty) into path (MAX_PATH bytes).
bool JournalFolderOf(const char* directory, char* path);
// An unfinished journal of an earlier run lies in directory.
bool JournalPending(const char* directory);
// Makes the folder and a new journal; false with the system's error code.
bool JournalBegin(const char* directory, unsigned long* errorCode);
// Hands the journal to the disk (not only to the system).
void JournalFlush();
// Closes the journal, keeping it on the disk as it is.
void JournalClose();
// The run's result stands: the journal and its backups go.
void JournalEnd();
// Removes a journal without undoing it.
void JournalDiscard(const char* directory);
// Undoes every record of the journal in directory, newest first. True when
// everything was undone (the folder is gone). Otherwise the journal keeps
// what is left, and `remaining` (size bytes) names it, one item a line.
bool JournalUndo(const char* directory, char* remaining, size_t size);
