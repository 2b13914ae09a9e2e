// Action line splitting on random lines and base directories: every field
// stays within its capacity and terminated, and the small line parsers keep
// inside the line.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "actions/file_lines.h"
#include "script/line_split.h"
#include "script/script_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Next piece of the input up to a NUL byte, at most `limit` characters.
char* TakePiece(const uint8_t** data, size_t* size, size_t limit) {
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(*data, 0, *size));
  size_t length = end ? static_cast<size_t>(end - *data) : *size;
  size_t kept = length < limit ? length : limit;
  char* piece = static_cast<char*>(std::malloc(kept + 1));
  std::memcpy(piece, *data, kept);
  piece[kept] = '\0';
  size_t used = end ? length + 1 : length;
  *data += used;
  *size -= used;
  return piece;
}

bool Within(const char* field, size_t capacity) { return strnlen(field, capacity) < capacity; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int action = data[0] % kActionCount;
  ++data;
  --size;
  char* packageDir = TakePiece(&data, &size, 260);
  char* installDir = TakePiece(&data, &size, 260);
  char* text = TakePiece(&data, &size, 1300);
  size_t textLength = std::strlen(text);

  char* line = static_cast<char*>(std::malloc(kLongPathSize));
  std::memcpy(line, text, textLength + 1);
  char* scratchPath = static_cast<char*>(std::malloc(kLongPathSize));
  char* targetSpec = static_cast<char*>(std::malloc(kPathFieldSize));
  char* sourceDir = static_cast<char*>(std::malloc(kPathFieldSize));
  char* copyFilter = reinterpret_cast<char*>(1);
  bool ok = SplitActionLine(line, action, packageDir, installDir, scratchPath, targetSpec,
                            sourceDir, &copyFilter);
  Check(Within(scratchPath, kLongPathSize));
  Check(Within(targetSpec, kPathFieldSize));
  Check(Within(sourceDir, kPathFieldSize));
  Check(std::strlen(line) <= textLength);
  if (copyFilter) {
    Check(action == kActionCopy);
    Check(copyFilter > line && copyFilter <= line + textLength);
  }
  if (ok) {
    size_t sourceLength = std::strlen(line);
    size_t pathLength = std::strlen(scratchPath);
    Check(pathLength >= sourceLength);
    Check(std::strcmp(scratchPath + pathLength - sourceLength, line) == 0);
    if (!IsAbsolutePath(line)) {
      Check(std::strncmp(scratchPath, packageDir, std::strlen(packageDir)) == 0);
    }
  }

  // The [Run], [Delete], [Move] and [VersionCopy] helpers on the raw line.
  std::memcpy(line, text, textLength + 1);
  char* arguments = nullptr;
  SplitRunLine(line, &arguments);
  if (arguments) Check(arguments > line && arguments <= line + textLength);

  const char* extension = DeleteLineExtension(text);
  if (extension) Check(*extension == '.' && DeleteNameMatches(extension, extension));
  DeleteNameMatches(installDir, extension);

  std::memcpy(line, text, textLength + 1);
  char *oldName = nullptr, *newName = nullptr;
  if (SplitMoveLine(line, &oldName, &newName)) {
    Check(oldName == line && *oldName != '\0' && *newName != '\0');
    Check(std::strlen(oldName) + 1 + std::strlen(newName) == textLength);
    Check(!std::strpbrk(text, "*?"));
  }
  int setting = VersionCopySetting(text);
  Check(setting >= 0 && setting <= 3);

  std::free(sourceDir);
  std::free(targetSpec);
  std::free(scratchPath);
  std::free(line);
  std::free(text);
  std::free(installDir);
  std::free(packageDir);
  return 0;
}
