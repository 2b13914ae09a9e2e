// Random registry action lines: the fields are exactly the texts between the
// first four semicolons, absent where their semicolon is missing, and
// applying a line to the in-memory registry is safe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "actions/registry.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "log/value_text.h"
#include "native/support/run_log_fake.h"
#include "native/support/system_fakes.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckField(const char* field, bool present, const std::string& expected) {
  Check((field != nullptr) == present);
  if (field) Check(expected == field);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool deleteFlag = (data[0] & 1) != 0;
  std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
  line = line.c_str();  // a text ends at its first NUL

  size_t cut[5];
  int count = 0;
  for (size_t i = 0; i < line.size() && count < 5; ++i) {
    if (line[i] == ';') cut[count++] = i;
  }
  RegistryLineFields fields;
  bool split = SplitRegistryLine(line.c_str(), &fields);
  Check(split == (count >= 1));
  if (split) {
    CheckField(fields.rootName, true, line.substr(0, cut[0]));
    CheckField(fields.subkey, count >= 2, count >= 2 ? line.substr(cut[0] + 1, cut[1] - cut[0] - 1) : "");
    CheckField(fields.valueName, count >= 3,
               count >= 3 ? line.substr(cut[1] + 1, cut[2] - cut[1] - 1) : "");
    size_t dataEnd = count >= 4 ? cut[3] : line.size();
    CheckField(fields.data, count >= 3, count >= 3 ? line.substr(cut[2] + 1, dataEnd - cut[2] - 1) : "");
    FreeRegistryLine(&fields);
    Check(!fields.rootName && !fields.subkey && !fields.valueName && !fields.data);
  }

  FakeSystemReset();
  FakeRegistrySetValue(kRootCurrentUser, "Software\\A", "Name", "x");
  FakeRegistryCreateKey(kRootCurrentUser, "Software\\A\\B");
  ApplyRegistryLine(line.c_str(), deleteFlag);
  ApplyRegistryLine(line.c_str(), !deleteFlag);
  Check(RegistryRootFromName(line.c_str()) <= kRootCurrentConfig);

  // Rehearsed and logged, twice: the second time from the first's state.
  FakeLogStart();
  SetRunRehearsal(true);
  for (int pass = 0; pass < 2; ++pass) {
    PlanNextLine();
    ApplyRegistryLine(line.c_str(), deleteFlag != (pass == 1));
  }
  SetRunRehearsal(false);
  FakeLogReset();
  PlanForgetChanges();

  // The bytes as a value of the type the first byte names, in little room.
  char text[64];
  size_t capacity = 4 + data[0] % 60;
  DescribeRegistryValue(data[0] % 12, data + 1, static_cast<unsigned long>(size - 1), text, capacity);
  Check(std::strlen(text) < capacity);
  return 0;
}
