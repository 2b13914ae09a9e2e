// Version bounds from random text: parsing never faults, the message is the
// text after the first colon, and the comparison is a consistent order.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "version/version.h"

namespace {
void Check(bool condition) {
  if (!condition) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  FileVersion version;
  version.major = static_cast<uint16_t>(data[0] | data[1] << 8);
  version.minor = static_cast<uint16_t>(data[2] | data[3] << 8);
  version.build = static_cast<uint16_t>(data[4] | data[5] << 8);
  version.revision = static_cast<uint16_t>(data[6] | data[7] << 8);
  data += 8;
  size -= 8;
  char* text = static_cast<char*>(std::malloc(size + 1));
  std::memcpy(text, data, size);
  text[size] = '\0';

  VersionBound bound;
  std::memset(&bound, 0xA5, sizeof bound);
  VersionBound before = bound;
  bool parsed = ParseVersionBound(text, &bound);
  const char* colon = std::strchr(text, ':');
  if (!parsed) {
    Check(std::memcmp(&bound, &before, sizeof bound) == 0);
  } else {
    Check(colon != nullptr && bound.message == colon + 1);
    for (int i = 0; i < 4; ++i) {
      if (!bound.partSet[i]) Check(bound.part[i] == 0);
    }
    bool atLeast = VersionMeetsBound(version, bound, false);
    bool atMost = VersionMeetsBound(version, bound, true);
    Check(atLeast || atMost);
    uint32_t parts[4] = {version.major, version.minor, version.build, version.revision};
    for (int i = 0; i < 4; ++i) {
      if (bound.partSet[i]) parts[i] = bound.part[i];
    }
    bool equal = ComposeVersion(parts[0], parts[1], parts[2], parts[3]) ==
                 ComposeVersion(version.major, version.minor, version.build, version.revision);
    Check((atLeast && atMost) == equal);
  }
  std::free(text);
  return 0;
}
