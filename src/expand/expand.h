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
