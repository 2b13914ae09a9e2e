// What a rehearsal would already have changed when it reaches a later line:
// files and directories made, replaced or removed (each file with the file
// whose bytes it would hold), INI entries and sections, registry keys and
// values. A later line is planned from these items where they name what it
// looks at, and from the system's present state otherwise; an item that an
// earlier line set makes the event in hand depend on that line, and the
// event says so with one remark.
//
// Names compare without regard to ASCII case: a file is its full path; an
// INI entry "INI\n<file>\n<section>\n<key>" and its section without the
// key (PlanIniName); a registry key "HKCU\<subkey>", a value that key, '\n'
// and the value's name (empty for the default value).
#pragma once
#include <cstddef>

enum PlanState {
  kPlanUnknown,    // no earlier line changes it: the system's state counts
  kPlanPresent,    // a file, INI entry, registry key or value that would be there
  kPlanAbsent,     // one that would be gone (an INI section: every entry of it)
  kPlanDirectory   // a directory that would be made
};

struct PlanItem {
  PlanState state;
  // A file: the file whose bytes it would hold ("" for bytes made here, such
  // as an INI file); an INI entry: its value. Never null.
  const char* text;
  // A registry value: its type and data.
  unsigned long type;
  const unsigned char* data;
  unsigned long size;
  bool readOnly;  // a file
};

// The next script line starts: what it changes counts as an earlier line's
// change from the line after it on.
void PlanNextLine();
// Sets the item `name`; false when memory runs out (the item stays as it
// was, and the rehearsal plans that name from the system).
bool PlanSetItem(const char* name, const PlanItem& item);
// Shorthands: a file present with origin's bytes, a name gone, a directory.
void PlanSetFile(const char* path, const char* origin, bool readOnly);
void PlanSetState(const char* name, PlanState state);
// The item, or one whose state is kPlanUnknown. Copy what is needed before
// the next PlanSet*: the texts belong to the item. An item that an earlier
// line set marks the event in hand as depending on it.
PlanItem PlanGetItem(const char* name);
// Calls visit for each item directly below `parent`: its name begins with
// parent and the separator, and the rest holds neither '\\' nor '\n'.
void PlanForEachChild(const char* parent, char separator,
                      void (*visit)(const char* name, const PlanItem& item, void* context),
                      void* context);

// "INI\n<file>\n<section>" or, with a key, "...\n<key>", into name (size bytes).
const char* PlanIniName(const char* file, const char* section, const char* key, char* name,
                        size_t size);

// The event in hand starts: no dependence seen yet.
void PlanBeginEvent();
// The event in hand depends on what an earlier line would change.
void PlanMarkDependent();
bool PlanEventDepends();
// "; an earlier line would change it" for an event that depends on an
// earlier line, else "".
const char* PlanRemark();

// Forgets every item (the end of a run).
void PlanForgetChanges();

// The system's file search comparison of a mask with a name: '*' any run,
// '?' one character, letters without regard to ASCII case; mask characters
// left at the end of the name match when they are all '.' or '*'.
bool PlanNameMatches(const char* mask, const char* name);
