// The native tests run without an undo journal: nothing is recorded, and
// every change may go ahead; FakeJournalStart makes the registry records
// visible to a test.
#include "native/support/journal_fake.h"

#include "actions/registry.h"
#include "journal/journal.h"

namespace {

bool active = false;
bool refuse = false;
std::vector<std::string> records;

bool Record(const char* kind, RegistryRoot root, const char* subkey, const char* valueName) {
  std::string text = std::string(kind) + " " + RegistryRootName(root) + "\\" + (subkey ? subkey : "");
  if (valueName) text += std::string(" ") + valueName;
  records.push_back(text);
  return !refuse;
}

}  // namespace

void FakeJournalStart(bool refuseRecords) {
  active = true;
  refuse = refuseRecords;
  records.clear();
}

void FakeJournalStop() {
  active = false;
  refuse = false;
  records.clear();
}

const std::vector<std::string>& FakeJournalRecords() { return records; }

bool JournalActive() { return active; }
bool JournalNewFile(const char*, const char*) { return true; }
bool JournalNewDirectory(const char*) { return true; }
bool JournalReplace(const char*, const char*, const char*, char*, bool*) { return true; }
JournalAside JournalSetAside(const char*, const char*, bool, bool) { return kAsideCopied; }
bool JournalInPlace(const char*) { return true; }
bool JournalRenamed(const char*, const char*) { return true; }
bool JournalKeepAndRemove(const char*) { return true; }
bool JournalAttributes(const char*) { return true; }
bool JournalMoved(const char*, const char*) { return true; }
bool JournalProgram(const char*, const char*) { return true; }
bool JournalIniFile(const char*) { return true; }
void JournalIniWritten(const char*) {}
bool JournalRegistryValue(RegistryRoot root, const char* subkey, const char* valueName,
                          const char*) {
  return !active || Record("value", root, subkey, valueName);
}
bool JournalRegistryKey(RegistryRoot root, const char* subkey) {
  return !active || Record("key", root, subkey, nullptr);
}
bool JournalRegistryKeyDeletion(RegistryRoot root, const char* subkey) {
  return !active || Record("key deletion", root, subkey, nullptr);
}
