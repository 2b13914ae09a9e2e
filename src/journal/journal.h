// The undo journal of a run with rollback on (Rollback=1, /rollback). Before
// an action changes anything, it writes here how to undo that change; the
// record reaches the system before the change is made, so the journal of a
// run that is killed still matches the installation. Plain functions, so
// that the text-processing actions can record as well.
//
// Each Journal* routine returns false when the record (or the backup it
// needs) could not be made: the change must then not be made.
#pragma once
#include <cstddef>

#include "actions/registry.h"

// Whether changes are recorded at all.
bool JournalActive();

// --- files (paths as the action uses them; recorded as full paths)
// A file that does not exist yet is about to be made as a copy of source:
// the undo removes it only while it still has the source's size and time.
bool JournalNewFile(const char* path, const char* source);
// A directory that does not exist yet is about to be made.
bool JournalNewDirectory(const char* path);
// target is about to be replaced by a complete copy of source waiting in
// temporary (not made yet). backup (kBackupPathSize) receives where the old
// target is kept: JournalSetAside puts it there. canLink tells whether the
// old target may get a second name there: no other program holds it.
const size_t kBackupPathSize = 300;
bool JournalReplace(const char* target, const char* temporary, const char* source, char* backup,
                    bool* canLink);
// How the old file reached its backup.
enum JournalAside {
  kAsideFailed,  // not at all: the change must not be made
  kAsideLinked,  // a second name of the same file: the target still stands
  kAsideMoved,   // moved: the target's name is free
  kAsideCopied   // a copy: the target still stands
};
// Gives the old target a second name in the backup (mayLink), or moves it
// there, or copies it, where it cannot be moved (another volume, a file
// that cannot be renamed) or may not (mayMove false).
JournalAside JournalSetAside(const char* target, const char* backup, bool mayLink, bool mayMove);
// target, whose old content is kept (JournalReplace), is about to be
// copied over in place: until a later record follows, what stands there is
// the run's own fragment.
bool JournalInPlace(const char* target);
// A program file is about to be renamed aside.
bool JournalRenamed(const char* from, const char* to);
// Removes a file by moving it into the backup (a copy, then the file is
// deleted, across volumes): the way files are deleted while recording.
// False, with the system's error, when the file stays.
bool JournalKeepAndRemove(const char* path);
// A file's attributes are about to change.
bool JournalAttributes(const char* path);
// old is about to be moved to new.
bool JournalMoved(const char* oldName, const char* newName);
// A program is about to start: no rollback can undo what it does.
bool JournalProgram(const char* program, const char* parameters);

// --- INI files: before the first change to a file in the run, a copy of
// the whole file (or that it does not exist); after each change, what the
// file holds then, so an undo never puts back a file changed since.
bool JournalIniFile(const char* file);
void JournalIniWritten(const char* file);

// --- registry
// The value's present type and data (or its absence) before it is set to
// the text newData (null: deleted).
bool JournalRegistryValue(RegistryRoot root, const char* subkey, const char* valueName,
                          const char* newData);
// A key that does not exist yet is about to be made.
bool JournalRegistryKey(RegistryRoot root, const char* subkey);
// A key is about to be deleted with the one value it may hold.
bool JournalRegistryKeyDeletion(RegistryRoot root, const char* subkey);
