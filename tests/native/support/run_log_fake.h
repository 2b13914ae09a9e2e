// The run's log in memory, for the native tests: every event as
// "KEYWORD fields", and the rehearsal switch.
#pragma once
#include <string>
#include <vector>

// Starts recording (as a run with a log would) and forgets earlier events.
void FakeLogStart();
// Stops recording and forgets the events; no rehearsal.
void FakeLogReset();
const std::vector<std::string>& FakeLogEvents();
