// How the [Run], [Delete] and [Move] actions read their lines. Plain text
// processing, no <windows.h>.
#pragma once
#include <cstddef>

// [Run]: program up to the first apostrophe, parameters to the next one.
// Cuts the line in place; *arguments is null without an apostrophe.
void SplitRunLine(char* line, char** arguments);

// [Delete]: the text from the last dot, or null for a line without a dot.
const char* DeleteLineExtension(const char* line);
// A found name qualifies when its own extension equals `extension` (the
// pattern's, from its last dot) without regard to case.
bool DeleteNameMatches(const char* name, const char* extension);

// [Move]: true with both sides when the line holds '=', no wildcard and two
// non-empty sides; cuts the line at its first '='.
bool SplitMoveLine(char* line, char** oldName, char** newName);

// A name Windows accepts for a file or directory (one part of a path,
// `length` characters): no control character, none of <>:"/\|?*, and not a
// device name such as CON, NUL, COM1 or LPT1 (with or without an extension).
bool IsValidFileName(const char* name, size_t length);
