// The [readini] and [readreg] definition sections.
#pragma once
#include <cstdio>

#include "version/version.h"

// Fill `table` (capacity entries and a null) from every [readini] section of
// the script; the script is rewound before and after.
void ReadIniDefinitions(FILE* script, char** table, int capacity, const char* sourceDirectory,
                        const char* destinationDirectory, const char* programDirectory,
                        const char* iniFileName, const DateValue* packageDate,
                        bool defaultBackslash);
void ReadRegDefinitions(FILE* script, char** table, int capacity, const char* sourceDirectory,
                        const char* destinationDirectory, const char* programDirectory,
                        const char* iniFileName, const DateValue* packageDate,
                        bool defaultBackslash);

// One [readini] line (a buffer of 1301 bytes, rewritten in place): a new heap
// entry name=value, or null.
char* ParseIniDefinition(char* line, const char* sourceDirectory, const char* destinationDirectory,
                         const char* programDirectory, const char* iniFileName,
                         const DateValue* packageDate, bool defaultBackslash);

// Reads key of sectionInBrackets from the INI file itself, line by line: a
// new heap entry name=value, or null.
char* FindIniValue(const char* path, const char* sectionInBrackets, const char* key,
                   const char* name);

// Releases the entries of a table, at most `capacity`, up to its first null.
void FreeDefinitions(char** table, int capacity);
