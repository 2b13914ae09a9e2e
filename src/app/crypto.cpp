#include "app/crypto.h"

void DigestText(const unsigned char* digest, char* text) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < kSha256Size; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 15];
  }
  text[2 * kSha256Size] = '\0';
}
