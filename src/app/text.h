// Small text and file helpers shared by every subsystem.
#pragma once
#include <cstddef>

const int kPathFieldSize = 261;   // targetSpec, sourceDir, packageDir, ...
const int kLongPathSize = 1301;   // scratchPath, targetPath, lineBuffer

// True when path is not null and names a file that opens for binary reading.
bool FileExists(const char* path);

// Strips `c` from text, touching at most `limit` characters. Leading mode:
// drops leading `c`s, then cuts at the next `c` (unquotes "a b" -> a b).
// Trailing mode: drops final `c`s while the text is shorter than `limit`.
void TrimChar(char* text, int limit, char c, bool leading);

// Copies src into dest (capacity bytes, NUL included); always terminates.
// Returns false when src had to be cut.
bool CopyText(char* dest, size_t capacity, const char* src);

// Appends src to the text in dest (capacity bytes); always terminates.
// Returns false when src had to be cut.
bool AppendText(char* dest, size_t capacity, const char* src);

// Appends at most count characters of src; false when cut by capacity.
bool AppendTextN(char* dest, size_t capacity, const char* src, size_t count);

// Formats into dest like snprintf; false when the result had to be cut.
bool FormatText(char* dest, size_t capacity, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// A new heap copy of text (malloc), or null when out of memory.
char* DuplicateText(const char* text);

// value in decimal into buffer (kDecimalTextSize bytes); returns buffer. The
// system's formatter of old Windows versions knows no 64-bit "%llu".
const size_t kDecimalTextSize = 21;
const char* DecimalText(unsigned long long value, char* buffer);
