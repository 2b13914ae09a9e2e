// What a rehearsal (/plan) reports for the file actions instead of carrying
// them out: each routine looks at the present state, changes nothing, and
// logs its PLAN event. Those returning bool give false for a change that
// would fail.
#pragma once

// The directories of path up to its last backslash that would be made;
// false when one of them cannot be (a file of that name, a missing drive).
bool PlanDirectoryPath(const char* path);
// One file of a [Copy] line; pathsFit and directoriesMade as the line found.
bool PlanCopyFile(const char* source, const char* target, bool pathsFit, bool directoriesMade);
bool PlanRun(const char* program, const char* parameters);
void PlanDelete(const char* path);
void PlanMove(const char* oldName, const char* newName);
// True when an earlier line of the rehearsal would make or change path.
bool PlanMadeEarlier(const char* path);
// "" for an absolute path; otherwise the remark naming the current directory
// the path is resolved against (valid until the next call).
const char* CurrentDirectoryRemark(const char* path);
