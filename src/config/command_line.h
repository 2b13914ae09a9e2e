// The command-line switch parser ("/exe", "/ini", "/silent", "/hidewin").
#pragma once

// Looks for switch `name` among the blank-separated (or quoted) tokens of
// commandLine. With a value buffer of `capacity` bytes the token after the
// switch is copied into it; the result is then false when the value had to
// be cut at capacity - 1 characters. Callers without a buffer pass null and
// -1. The command line itself is never changed.
bool FindSwitchIn(const char* commandLine, const char* name, char* value, int capacity);

// The arguments of a process's command line: what follows the program's
// name (quoted or not) and the blanks after it. Bytes above 0x7F (Czech
// letters in a path) belong to the name. Null for a null line.
const char* CommandTail(const char* commandLine);
