// The native tests run without an undo journal: nothing is recorded, and
// every change may go ahead.
#include "journal/journal.h"

bool JournalActive() { return false; }
bool JournalNewFile(const char*, const char*) { return true; }
bool JournalNewDirectory(const char*) { return true; }
bool JournalReplace(const char*, const char*, const char*, char*, bool*) { return true; }
JournalAside JournalSetAside(const char*, const char*, bool, bool) { return kAsideCopied; }
bool JournalRenamed(const char*, const char*) { return true; }
bool JournalKeepAndRemove(const char*) { return true; }
bool JournalAttributes(const char*) { return true; }
bool JournalMoved(const char*, const char*) { return true; }
bool JournalProgram(const char*, const char*) { return true; }
bool JournalIniFile(const char*) { return true; }
void JournalIniWritten(const char*) {}
bool JournalRegistryValue(RegistryRoot, const char*, const char*, const char*) { return true; }
bool JournalRegistryKey(RegistryRoot, const char*) { return true; }
bool JournalRegistryKeyDeletion(RegistryRoot, const char*) { return true; }
