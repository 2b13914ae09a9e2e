#include "log/value_text.h"

#include <cstring>

#include "app/text.h"

namespace {

// The registry's type numbers (winnt.h), without the system header.
enum : unsigned long { kTypeString = 1, kTypeExpandString = 2, kTypeBinary = 3, kTypeDword = 4,
                       kTypeMultiString = 7 };

// Appends a quoted text of at most `length` characters (up to a NUL).
void AppendQuoted(char* text, size_t capacity, const unsigned char* data, size_t length) {
  AppendText(text, capacity, "\"");
  AppendTextN(text, capacity, reinterpret_cast<const char*>(data), length);
  AppendText(text, capacity, "\"");
}

}  // namespace

void DescribeRegistryValue(unsigned long type, const unsigned char* data, unsigned long size,
                           char* text, size_t capacity) {
  if (!text || capacity < 4) return;
  text[0] = '\0';
  if (!data) size = 0;
  // Room is kept for "..." after a value too long to show.
  size_t room = capacity - 3;
  char part[64];
  if (type == kTypeString || type == kTypeExpandString) {
    AppendText(text, room, type == kTypeString ? "REG_SZ " : "REG_EXPAND_SZ ");
    AppendQuoted(text, room, data, size);
  } else if (type == kTypeMultiString) {
    AppendText(text, room, "REG_MULTI_SZ");
    // Each string ends at its NUL; an empty one ends the list.
    for (unsigned long at = 0; at < size && data[at] != 0;) {
      const void* end = std::memchr(data + at, 0, size - at);
      unsigned long length = end ? static_cast<unsigned long>(
                                       static_cast<const unsigned char*>(end) - (data + at))
                                 : size - at;
      AppendText(text, room, " ");
      AppendQuoted(text, room, data + at, length);
      at += length + 1;
    }
  } else if (type == kTypeDword && size == 4) {
    unsigned long value =
        data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned long>(data[3]) << 24;
    FormatText(text, room, "REG_DWORD %lu (0x%08lx)", value, value);
  } else {
    // Binary data, another type, or a DWORD of another size: the bytes.
    if (type == kTypeBinary) {
      CopyText(text, room, "REG_BINARY");
    } else {
      FormatText(text, room, "type %lu", type);
    }
    for (unsigned long i = 0; i < size; ++i) {
      FormatText(part, sizeof part, " %02x", data[i]);
      AppendText(text, room, part);
    }
  }
  if (std::strlen(text) + 1 >= room) AppendText(text, capacity, "...");
}
