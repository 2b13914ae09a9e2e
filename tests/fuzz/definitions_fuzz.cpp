// Random definition lines against random INI files: an entry is name=value
// with a value no longer than an INI line holds (and its backslash), or the
// name alone for a value too long to read; the section readers keep their
// table bounds on random scripts.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expand/definitions.h"
#include "expand/expand.h"
#include "native/support/system_fakes.h"
#include "script/script_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

const std::string& IniPath() {
  static const std::string path = "/tmp/definitions_fuzz_" + std::to_string(getpid()) + ".ini";
  return path;
}

// A value read from an INI line: at most the line's 1300 characters after
// "k=", and a backslash.
const size_t kLongestIniValue = 1300 - 2 + 1;

void CheckEntry(char* entry, const std::string& name) {
  if (!entry) return;
  const char* equals = std::strchr(entry, '=');
  if (equals) {
    Check(std::strlen(equals + 1) <= kLongestIniValue);
    Check(name.empty() ||
          (std::strncmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == '='));
  } else {
    Check(name.empty() || name == entry);  // too long to read: the name alone
  }
  std::free(entry);
}

void CheckTable(char** table) {
  int count = 0;
  while (count < kDefinitionSlots && table[count]) {
    const char* equals = std::strchr(table[count], '=');
    if (equals) Check(std::strlen(equals + 1) <= kLongestIniValue);
    ++count;
  }
  Check(count <= kDefinitionCapacity);
  Check(table[kDefinitionCapacity] == nullptr);
  FreeDefinitions(table, kDefinitionCapacity);
}

// Text up to the next byte 0xFF of data, or to its end.
std::string NextPart(const uint8_t*& data, size_t& size) {
  size_t i = 0;
  while (i < size && data[i] != 0xFF) ++i;
  std::string part(reinterpret_cast<const char*>(data), i);
  size_t used = i < size ? i + 1 : i;
  data += used;
  size -= used;
  return part.c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line = NextPart(data, size);
  std::string section = NextPart(data, size);
  std::string key = NextPart(data, size);
  std::string content(reinterpret_cast<const char*>(data), size);

  FILE* file = std::fopen(IniPath().c_str(), "wb");
  if (!file) return 0;
  std::fwrite(content.data(), 1, content.size(), file);
  std::fclose(file);

  FakeSystemReset();
  FakeSetTempDirectory("/tmp/");
  FakeRegistrySetValue(kRootCurrentUser, "K", "V", "value");
  FakeRegistrySetValue(kRootLocalMachine, "K", nullptr, "\"quoted\"");

  // The lookup itself.
  CheckEntry(FindIniValue(IniPath().c_str(), ("[" + section + "]").c_str(), key.c_str(), "Name"),
             "Name");

  // A random line as written, and one that names the file.
  char buffer[kLineBufferSize];
  const std::string named = "Def=" + line.substr(0, 2) + IniPath() + ";" + section + ";" + key;
  for (const std::string& text : {line, named}) {
    std::snprintf(buffer, sizeof(buffer), "%s", text.c_str());
    std::string name = buffer;
    name = name.substr(0, name.find('='));
    char* entry = ParseIniDefinition(buffer, "P:\\", "/tmp/", "/tmp/bin/", "Quillon.ini", nullptr,
                                     (line.size() & 1) != 0);
    // The name may change only through expansion; check it when it cannot.
    bool plainName = name.find_first_of("{$") == std::string::npos;
    CheckEntry(entry, plainName ? name : "");
  }

  // The section readers on the file read as a script.
  FILE* script = std::fopen(IniPath().c_str(), "rb");
  if (script) {
    char* table[kDefinitionSlots] = {nullptr};
    ReadIniDefinitions(script, table, kDefinitionCapacity, "P:\\", "/tmp/", "/tmp/bin/",
                       "Quillon.ini", nullptr, true);
    Check(std::ftell(script) == 0);
    CheckTable(table);
    ReadRegDefinitions(script, table, kDefinitionCapacity, "P:\\", "/tmp/", "/tmp/bin/",
                       "Quillon.ini", nullptr, false);
    Check(std::ftell(script) == 0);
    CheckTable(table);
    std::fclose(script);
  }
  std::remove(IniPath().c_str());
  return 0;
}
