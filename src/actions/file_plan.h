// What a rehearsal (/plan) reports for the file actions instead of carrying
// them out. Each routine judges the state the line would find: the system's
// present state, with what earlier lines would change (log/plan_changes.h)
// laid over it; it changes nothing on the disk, logs its PLAN events, and
// carries its own changes on to later lines. Plain declarations: the INI
// and registry lines and the version reader use them too.
#pragma once
#include <cstddef>

// How a run would answer a failure: with /noboxes automatically (Abort to a
// failed copy or start, Yes to a missing source), without it the answers
// that let the run go on (Ignore, Yes). With rollback on an Abort undoes.
void SetPlanAnswers(bool automatic, bool rollback);

enum PlanOutcome {
  kPlanDone,    // nothing would fail
  kPlanFailed,  // something would fail, and the run would go on
  kPlanStops    // something would fail, and the run would stop there
};

// A [Copy] line: the search path (sourceDir + pattern), the directory whose
// names the exclusion list (or null) is matched in, the target, and the
// source text as written (its wildcards tell a pattern from a named file).
PlanOutcome PlanCopyLine(const char* searchPath, const char* sourceDir, const char* targetSpec,
                         const char* exclusions, const char* sourceText);
PlanOutcome PlanRunLine(const char* program, const char* parameters);
// A [Delete] line whose extension (from the last dot) is `extension`.
void PlanDeleteLine(const char* line, const char* extension);
void PlanMoveLine(const char* oldName, const char* newName);
void PlanChangeDirLine(const char* directory);

// Why a change of the INI file would fail (into reason, size bytes), or null
// when it would not; a file a write would make counts as there from then on.
const char* PlanIniChange(const char* file, bool write, char* reason, size_t size);

// The file whose bytes `path` would hold at this point of a rehearsal (""
// when it would be gone), for its version; path itself otherwise.
const char* PlanContentOf(const char* path);

// The end of a run: forgets the rehearsal's state.
void PlanFinish();
