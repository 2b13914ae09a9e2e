// ParseDate on random text: a failure leaves the value untouched; a success
// yields a real calendar date that the day number maps back to.
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
  char* text = static_cast<char*>(std::malloc(size + 1));
  std::memcpy(text, data, size);
  text[size] = '\0';

  DateValue date;
  std::memset(&date, 0x5C, sizeof date);
  date.valid = true;
  DateValue before = date;
  bool parsed = ParseDate(text, &date);
  if (!parsed) {
    Check(std::memcmp(&date, &before, sizeof date) == 0);
  } else if (text[0] == '\0') {
    Check(!date.valid);
  } else {
    Check(date.valid);
    Check(date.year >= 1 && date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31);
    uint32_t y = 0, m = 0, d = 0;
    Check(DayNumberToDate(date.dayNumber, &y, &m, &d));
    Check(static_cast<int32_t>(y) == date.year && static_cast<int32_t>(m) == date.month &&
          static_cast<int32_t>(d) == date.day);
    if (date.year <= 9999) {
      int32_t number = 0;
      Check(DateToDayNumber(y, m, d, &number));
      Check(number == date.dayNumber);
    }
  }
  std::free(text);
  return 0;
}
