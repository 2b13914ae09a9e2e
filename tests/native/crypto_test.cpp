// The native builds' SHA-256 and HMAC-SHA-256 (OpenSSL) against published
// vectors; a build without libcrypto must refuse rather than answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/crypto.h"

namespace {

std::string Text(const unsigned char* digest) {
  char text[kSha256TextSize];
  DigestText(digest, text);
  return text;
}

TEST(NativeCrypto, VectorsOrRefusal) {
  unsigned char digest[kSha256Size];
  std::string path = testing::TempDir() + "crypto_abc.bin";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("abc", file);
  std::fclose(file);
  unsigned long long size = 0;
  bool hashed = Sha256OfFile(path.c_str(), digest, &size);
  std::remove(path.c_str());
  ASSERT_EQ(hashed, CryptoAvailable());
  if (!CryptoAvailable()) return;
  EXPECT_EQ(Text(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(size, 3u);
  ASSERT_TRUE(HmacSha256(reinterpret_cast<const unsigned char*>("Jefe"), 4,
                         "what do ya want for nothing?", 28, digest));
  EXPECT_EQ(Text(digest), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_FALSE(Sha256OfFile((path + ".missing").c_str(), digest, nullptr));
}

}  // namespace
