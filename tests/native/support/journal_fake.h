// The native tests run without an undo journal, unless a test starts this
// stand-in: then the registry records asked for are kept as texts
// ("value HKCU\Software\X Name", "key HKCU\...", "key deletion HKCU\..."),
// in order, and each is granted or, when refused, reported as failed.
#pragma once
#include <string>
#include <vector>

void FakeJournalStart(bool refuseRecords);
// Back to no journal; the records are forgotten.
void FakeJournalStop();
const std::vector<std::string>& FakeJournalRecords();
