// What a rehearsal would already have changed when it reaches a later line:
// the files, INI files and registry keys that earlier lines would change.
// A later line that reads one of them is planned from the present state,
// and its event says so.
#pragma once

// Notes that an earlier line would change `name` (a full path, or a root
// and key such as HKCU\Software\X); names compare without regard to ASCII
// case.
void PlanNoteChange(const char* name);
// True when an earlier line would change `name`.
bool PlanChangedEarlier(const char* name);
// "" or the remark that the event was planned from the present state of a
// name that an earlier line would change.
const char* PlanRemark(const char* name);
// Forgets every noted name (the end of a run).
void PlanForgetChanges();
