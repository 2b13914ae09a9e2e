#include "app/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool FileExists(const char* path) {
  if (!path) return false;
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

void TrimChar(char* text, int limit, char c, bool leading) {
  if (!text || limit <= 0) return;
  if (leading) {
    while (text[0] == c) {
      // Shift positions 1..limit-1 one place forward; the rest is cut.
      int i = 0;
      for (; i < limit - 1 && text[i + 1] != '\0'; ++i) text[i] = text[i + 1];
      text[i] = '\0';
    }
    for (int i = 0; i < limit && text[i] != '\0'; ++i) {
      if (text[i] == c) {
        text[i] = '\0';
        break;
      }
    }
    return;
  }
  size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == c && length < static_cast<size_t>(limit)) {
    text[--length] = '\0';
  }
}

bool CopyText(char* dest, size_t capacity, const char* src) {
  if (capacity == 0) return false;
  dest[0] = '\0';
  return AppendText(dest, capacity, src);
}

bool AppendText(char* dest, size_t capacity, const char* src) {
  return AppendTextN(dest, capacity, src ? src : "", static_cast<size_t>(-1));
}

bool AppendTextN(char* dest, size_t capacity, const char* src, size_t count) {
  if (capacity == 0) return false;
  size_t used = strnlen(dest, capacity);
  if (used >= capacity) {  // unterminated: repair, never read past
    dest[capacity - 1] = '\0';
    return false;
  }
  size_t i = 0;
  while (i < count && src[i] != '\0') {
    if (used + 1 >= capacity) {
      dest[used] = '\0';
      return false;
    }
    dest[used++] = src[i++];
  }
  dest[used] = '\0';
  return true;
}

bool FormatText(char* dest, size_t capacity, const char* format, ...) {
  if (capacity == 0) return false;
  va_list args;
  va_start(args, format);
#if defined(_WIN32)
  // The system C runtime's formatter keeps the program small; it returns -1
  // and leaves the text unterminated when the result does not fit.
  int written = _vsnprintf(dest, capacity, format, args);
  va_end(args);
  dest[capacity - 1] = '\0';
  return written >= 0 && static_cast<size_t>(written) < capacity;
#else
  int written = std::vsnprintf(dest, capacity, format, args);
  va_end(args);
  if (written < 0) {
    dest[0] = '\0';
    return false;
  }
  return static_cast<size_t>(written) < capacity;
#endif
}

char* DuplicateText(const char* text) {
  if (!text) return nullptr;
  size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(size));
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

const char* DecimalText(unsigned long long value, char* buffer) {
  // Divided by ten in 16-bit pieces: a 32-bit program then needs no 64-bit
  // division routine.
  unsigned long pieces[4];
  for (int i = 0; i < 4; ++i) pieces[i] = static_cast<unsigned long>(value >> (48 - 16 * i)) & 0xFFFF;
  char digits[kDecimalTextSize];
  size_t count = 0;
  bool more;
  do {
    unsigned long remainder = 0;
    more = false;
    for (int i = 0; i < 4; ++i) {
      unsigned long part = (remainder << 16) | pieces[i];
      pieces[i] = part / 10;
      remainder = part % 10;
      more = more || pieces[i] != 0;
    }
    digits[count++] = static_cast<char>('0' + remainder);
  } while (more);
  for (size_t i = 0; i < count; ++i) buffer[i] = digits[count - 1 - i];
  buffer[count] = '\0';
  return buffer;
}
