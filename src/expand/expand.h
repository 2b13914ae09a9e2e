// Placeholders ({src}, {des}, {ini=...}, {desktop}, ...) and dollar variables
// ($EXEDIR$, $VELMORA$, $TEMP$) in script lines and option texts.
#pragma once
#include <cstddef>

#include "version/version.h"

// A definition table entry is a heap text name=value. An entry of the name
// alone, without '=', stands for a value too long to be read whole: a
// placeholder that names it makes the expansion fail, never falls back.
const int kDefinitionCapacity = 10;                 // entries of a definition table
const int kDefinitionSlots = kDefinitionCapacity + 1;  // and the null that ends it

// Rewrites text (a buffer of `capacity` bytes) in place: first the brace
// placeholders, then the dollar variables. Never writes past capacity.
// Returns false when the result did not fit; text then holds the result cut
// to capacity - 1 characters. The tables end at their first null entry; date
// may be null.
bool ExpandPlaceholders(char* text, size_t capacity, const char* sourceDirectory,
                        const char* destinationDirectory, const char* programDirectory,
                        const char* iniFileName, char* const* iniDefinitions,
                        char* const* regDefinitions, const DateValue* packageDate);

// The second pass alone; same capacity rule.
bool ExpandVariables(char* text, size_t capacity, const char* programDirectory);

// What a brace group names, in the order the forms are tried.
enum PlaceholderKind {
  kPlaceholderNone,  // any other group: removed with its braces
  kPlaceholderSource,
  kPlaceholderDestination,
  kPlaceholderProgram,
  kPlaceholderIniFileName,
  kPlaceholderLineFeed,
  kPlaceholderReturn,
  kPlaceholderTab,
  kPlaceholderDateText,
  kPlaceholderDayNumber,
  kPlaceholderDateDigits,
  kPlaceholderFileVersion,  // {fver=path}
  kPlaceholderIniValue,     // {ini=names}
  kPlaceholderRegValue,     // {reg=names}
  kPlaceholderFolder        // {desktop}, ... (lower case only)
};

struct BraceGroup {
  size_t end;  // just after the '}' that closes the group, or the text's end
  bool closed;
  PlaceholderKind kind;
  int folder;  // the shell folder number of a kPlaceholderFolder
};

// The group whose '{' stands at text[at]: braces are counted, so the group
// ends at the '}' that closes its first level.
BraceGroup ScanBraceGroup(const char* text, size_t at);

// Dollar variables, in list order: INIFILE, EXEDIR, DBDIR, SHDDIR, VELMORA,
// TEMP, then a null. Only EXEDIR, VELMORA and TEMP have values.
extern const char* const kVariableNames[];
enum { kVariableIniFile, kVariableExeDir, kVariableDbDir, kVariableShdDir, kVariableVelmora,
       kVariableTemp };

struct DollarGroup {
  size_t next;        // where the scan goes on
  size_t nameLength;  // characters read after the '$' (at most 25)
  bool closed;        // a '$' ended the name (it is consumed)
  int variable;       // index in kVariableNames when closed and listed, else -1
};

// The '$' at text[at] and the name that follows it.
DollarGroup ScanDollarGroup(const char* text, size_t at);

// Index of name in the null-ended list, ASCII letters folded; -1 when absent.
int FindName(const char* name, const char* const* names);

// Full path of the sibling module's program, or nothing written (path is a
// buffer of 261 bytes).
void FindSiblingModule(const char* programDirectory, char* path);

// System services the expander needs; Win32 implementations in
// expand_system_win32.cpp.
// The file-system path of shell folder `csidl` into path (261 bytes).
bool GetSpecialFolderPath(int csidl, char* path);
// The temporary directory, ending in a backslash, into path (261 bytes).
bool GetTempDirectory(char* path);
