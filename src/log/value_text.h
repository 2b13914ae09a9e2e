// Registry values as the log and the rehearsal show them: the type, then
// the data as that type reads, e.g. REG_SZ "text", REG_DWORD 1234
// (0x000004d2), REG_BINARY 41 42 43 00, REG_MULTI_SZ "a" "b".
#pragma once
#include <cstddef>

// Writes the value into text (capacity bytes, always terminated); a value
// too long for it ends in "...". Unknown types show their number and bytes.
void DescribeRegistryValue(unsigned long type, const unsigned char* data, unsigned long size,
                           char* text, size_t capacity);
