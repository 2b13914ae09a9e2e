// FindSwitchIn on random command lines: the value stays within its capacity
// and terminated, the command line is never changed, and the answer does not
// depend on whether a big enough buffer is given. CommandTail points into the
// line and starts with no blank.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "config/command_line.h"

namespace {
void Check(bool condition) {
  if (!condition) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int capacity = data[0] % 40;
  ++data;
  --size;
  // name NUL command line
  const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  size_t nameLength = split ? static_cast<size_t>(split - data) : 0;
  if (nameLength > 64) nameLength = 64;
  char* name = static_cast<char*>(std::malloc(nameLength + 1));
  std::memcpy(name, data, nameLength);
  name[nameLength] = '\0';
  size_t lineStart = split ? static_cast<size_t>(split - data) + 1 : 0;
  size_t lineLength = size - lineStart;
  char* line = static_cast<char*>(std::malloc(lineLength + 1));
  std::memcpy(line, data + lineStart, lineLength);
  line[lineLength] = '\0';
  char* saved = static_cast<char*>(std::malloc(lineLength + 1));
  std::memcpy(saved, line, lineLength + 1);

  bool present = FindSwitchIn(line, name, nullptr, -1);
  Check(std::memcmp(line, saved, lineLength + 1) == 0);

  char* value = static_cast<char*>(std::malloc(capacity ? capacity : 1));
  bool withValue = FindSwitchIn(line, name, value, capacity);
  Check(std::memcmp(line, saved, lineLength + 1) == 0);
  if (capacity > 0 && present) Check(strnlen(value, capacity) < static_cast<size_t>(capacity));
  if (withValue) Check(present);

  // A value can never be longer than the command line.
  char* big = static_cast<char*>(std::malloc(lineLength + 1));
  bool complete = FindSwitchIn(line, name, big, static_cast<int>(lineLength + 1));
  Check(complete == present);
  if (complete) {
    Check(std::strlen(big) <= lineLength);
    Check(std::strstr(saved, big) != nullptr);
    if (capacity > 0) {
      // The small buffer holds the start of the same value.
      Check(std::strncmp(value, big, std::strlen(value)) == 0);
      Check(withValue == (std::strlen(big) < static_cast<size_t>(capacity)));
    }
  }
  const char* tail = CommandTail(line);
  Check(tail >= line && tail <= line + lineLength);
  Check(*tail == '\0' || static_cast<unsigned char>(*tail) > ' ');

  std::free(big);
  std::free(value);
  std::free(saved);
  std::free(line);
  std::free(name);
  return 0;
}
