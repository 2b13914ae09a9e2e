// Random text in a buffer of random capacity: the expansion never writes past
// the buffer, always terminates it, and a result reported as fitting is the
// one a roomy buffer gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expand/expand.h"
#include "native/support/system_fakes.h"

namespace {

char iniA[] = "A=ini-value\\";
char iniB[] = "BinDir=$TEMP$bin{des}";
char iniC[] = "C=";
char regA[] = "A=reg$$value";
char regD[] = "D=x=y";
char* iniTable[kDefinitionSlots] = {iniA, iniB, iniC, nullptr};
char* regTable[kDefinitionSlots] = {regA, regD, nullptr};
DateValue date = {true, 41275, 2013, 1, 1};

void SetUpFakes() {
  FakeSystemReset();
  FakeSetTempDirectory("C:\\Temp\\");
  FakeSetSpecialFolder(16, "C:\\Users\\u\\Desktop");
  FakeSetSpecialFolder(25, "C:\\Users\\Public\\Desktop\\");
  FakeSetSpecialFolder(2, "");
  FakeSetSpecialFolder(38, std::string(260, 'F').c_str());
  FakeSetFileVersion("D:\\Apps\\Quillon\\bin\\quillon.exe", FileVersion{2, 0, 14, 3});
  FakeSetFileVersion("2.0.14.3", FileVersion{65535, 1, 2, 3});
  FakeRegistrySetValue(kRootLocalMachine, "Software\\Valtor CZ\\Quillon\\2.0\\Path", "Velmora",
                       "\"/nonexistent/velmora.exe\"");
}

bool Run(char* text, size_t capacity) {
  return ExpandPlaceholders(text, capacity, "P:\\pkg\\", "D:\\Apps\\Quillon\\",
                            "D:\\Apps\\Quillon\\bin\\", "Quillon.ini", iniTable, regTable, &date);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (SetUpFakes(), true);
  (void)ready;
  if (size < 2) return 0;
  size_t capacity = 1 + ((static_cast<size_t>(data[0]) << 8 | data[1]) % 2048);
  const char* input = reinterpret_cast<const char*>(data + 2);
  size_t length = strnlen(input, size - 2);
  if (length > capacity - 1) length = capacity - 1;

  // Exactly capacity bytes: AddressSanitizer catches any write past them.
  char* text = static_cast<char*>(std::malloc(capacity));
  std::memcpy(text, input, length);
  text[length] = '\0';
  bool fits = Run(text, capacity);
  if (strnlen(text, capacity) >= capacity) std::abort();

  const size_t kRoomy = 1 << 16;
  char* roomy = static_cast<char*>(std::malloc(kRoomy));
  std::memcpy(roomy, input, length);
  roomy[length] = '\0';
  bool roomyFits = Run(roomy, kRoomy);
  if (fits && (!roomyFits || std::strcmp(text, roomy) != 0)) std::abort();

  // The second pass alone, on the same text.
  std::memcpy(text, input, length);
  text[length] = '\0';
  ExpandVariables(text, capacity, "D:\\Apps\\Quillon\\bin\\");
  if (strnlen(text, capacity) >= capacity) std::abort();

  std::free(roomy);
  std::free(text);
  return 0;
}
