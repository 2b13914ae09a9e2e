// Random bytes as a setup script: every line stays within the bound and
// matches a plain model of the format, and FindScriptLine never moves the
// reader.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "script/script_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// CR ends a line, LF and NUL are dropped, leading blanks skipped, 1300 kept.
std::vector<std::string> ModelLines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    std::string& line = lines.back();
    if (c == '\r') {
      lines.emplace_back();
    } else if (c == '\n' || c == '\0') {
    } else if ((c == ' ' || c == '\t') && line.empty()) {
    } else if (line.size() < static_cast<size_t>(kMaxLineLength)) {
      line += c;
    }
  }
  return lines;
}

bool ModelFind(const std::vector<std::string>& lines, const char* header, const char* text) {
  size_t i = 0;
  while (i < lines.size() && (lines[i].empty() || !SameText(lines[i].c_str(), header))) ++i;
  for (++i; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    if (SameText(lines[i].c_str(), text)) return true;
    if (lines[i][0] == '[') return false;
  }
  return false;
}

FILE* Open(const uint8_t* data, size_t size) {
  // A memory stream is much faster than a file; it needs at least one byte.
  FILE* stream = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::tmpfile();
  Check(stream != nullptr);
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> expected = ModelLines(data, size);
  // Header and line to look for: the script's own first two lines, so that
  // hits happen as well as misses.
  std::string header = expected.size() > 0 ? expected[0] : "";
  std::string wanted = expected.size() > 1 ? expected[1] : "";

  FILE* stream = Open(data, size);
  char* buffer = static_cast<char*>(std::malloc(kLineBufferSize));  // exact size for ASan
  size_t index = 0;
  while (!ScriptEnded(stream)) {
    // Every search rereads the script; enough positions without going quadratic.
    if (index < 16 || index % 8 == 0) {
      bool found = FindScriptLine(stream, header.c_str(), wanted.c_str());
      Check(found == ModelFind(expected, header.c_str(), wanted.c_str()));
    }
    std::memset(buffer, 'Z', kLineBufferSize);
    int count = ReadScriptLine(stream, buffer, kMaxLineLength);
    Check(count >= 0 && count <= kMaxLineLength);
    Check(buffer[count] == '\0' && std::strlen(buffer) == static_cast<size_t>(count));
    Check(index < expected.size());
    Check(expected[index] == buffer);
    ++index;
  }
  Check(index == expected.size());
  std::free(buffer);
  std::fclose(stream);
  return 0;
}
