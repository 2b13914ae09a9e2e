// Random bytes as setup.sum: the reader never reads past them, a seal it
// takes holds only names the seal can hold, none twice, and its text as the
// writer gives it reads back to the same files, byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "seal/seal_format.h"

namespace {
void Check(bool condition) {
  if (!condition) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact copy, so that AddressSanitizer sees every byte read past it.
  char* text = static_cast<char*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(text, data, size);
  SealList list;
  int line = -1;
  const char* fault = nullptr;
  bool parsed = ParseSeal(text, size, &list, &line, &fault);
  std::free(text);
  Check(parsed == (fault == nullptr));
  if (!parsed) {
    Check(list.count == 0 && line >= 0);
    return 0;
  }
  for (int i = 0; i < list.count; ++i) {
    const char* path = list.entries[i].path;
    Check(IsSealPath(path, std::strlen(path), nullptr));
    Check(SealListFind(&list, path) == i);
  }
  Check(SealListFindTwin(&list) == -1);

  size_t formattedSize = 0;
  char* formatted = FormatSeal(&list, &formattedSize);
  Check(formatted != nullptr);
  SealList back;
  Check(ParseSeal(formatted, formattedSize, &back, &line, &fault));
  Check(back.count == list.count);
  for (int i = 0; i < back.count; ++i) {
    // The writer sorted `list`: the same order, the same files.
    Check(std::strcmp(back.entries[i].path, list.entries[i].path) == 0);
    Check(back.entries[i].size == list.entries[i].size);
    Check(std::memcmp(back.entries[i].digest, list.entries[i].digest, kSha256Size) == 0);
    Check(i == 0 || std::strcmp(back.entries[i - 1].path, back.entries[i].path) < 0);
  }
  size_t againSize = 0;
  char* again = FormatSeal(&back, &againSize);
  Check(again && againSize == formattedSize && std::memcmp(again, formatted, againSize) == 0);
  std::free(again);
  std::free(formatted);
  SealListFree(&back);
  SealListFree(&list);
  return 0;
}
