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

const int kDefinitionFieldSize = 260;  // source, place and key: 259 characters each

// The fields of a definition line, cut from the expanded line.
struct DefinitionLine {
  const char* name;  // into the line; nameLength characters
  size_t nameLength;
  bool backslash;
  char source[kDefinitionFieldSize];
  bool sourceEnded;  // the source field was closed by its ';'
  char place[kDefinitionFieldSize];
  char key[kDefinitionFieldSize];
};

enum ParseResult {
  kLineComplete,    // every field read: a lookup follows
  kLineSourceOnly,  // the source field ended, the rest did not
  kLineNothing      // no usable field
};

// Reads name, flag, source, place and key of an expanded definition line.
// In [readini] the source takes at least one character, even a ';'
// (sourceNeverEmpty); in [readreg] it may be empty. A field longer than 259
// characters makes the line unusable from that field on.
ParseResult ParseDefinitionLine(const char* line, bool sourceNeverEmpty, bool defaultBackslash,
                                DefinitionLine* fields);

// Releases the entries of a table, at most `capacity`, up to its first null.
void FreeDefinitions(char** table, int capacity);
