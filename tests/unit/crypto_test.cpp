// The platform's SHA-256 and HMAC-SHA-256 against published test vectors.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/crypto.h"
#include "unit/unit_support.h"

namespace {

std::string Text(const unsigned char* digest) {
  char text[kSha256TextSize];
  DigestText(digest, text);
  return text;
}

TEST(Crypto, Sha256MatchesPublishedVectorsWholeAndInPieces) {
  struct {
    std::string data;
    const char* digest;
  } const cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    Sha256Run run;
    unsigned char digest[kSha256Size];
    ASSERT_TRUE(Sha256Begin(&run));
    size_t half = c.data.size() / 2;
    ASSERT_TRUE(Sha256Add(&run, c.data.data(), half));
    ASSERT_TRUE(Sha256Add(&run, c.data.data() + half, c.data.size() - half));
    ASSERT_TRUE(Sha256Finish(&run, digest));
    EXPECT_EQ(Text(digest), c.digest) << c.data.size() << " bytes";

    unit::TempDir dir;
    dir.Write("vector.bin", c.data);
    unsigned long long size = 99;
    ASSERT_TRUE(Sha256OfFile(dir.File("vector.bin").c_str(), digest, &size));
    EXPECT_EQ(Text(digest), c.digest);
    EXPECT_EQ(size, c.data.size());
    EXPECT_FALSE(Sha256OfFile(dir.File("missing.bin").c_str(), digest, nullptr));
  }
}

// RFC 4231, test cases 1, 2 and 6 (a key longer than the block is refused:
// the callers use 32-byte keys).
TEST(Crypto, HmacSha256MatchesRfc4231) {
  std::string key1(20, '\x0b');
  unsigned char mac[kSha256Size];
  ASSERT_TRUE(HmacSha256(reinterpret_cast<const unsigned char*>(key1.data()), key1.size(),
                         "Hi There", 8, mac));
  EXPECT_EQ(Text(mac), "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
  const char* data2 = "what do ya want for nothing?";
  ASSERT_TRUE(HmacSha256(reinterpret_cast<const unsigned char*>("Jefe"), 4, data2, 28, mac));
  EXPECT_EQ(Text(mac), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  std::string key32(32, '\x01');
  unsigned char other[kSha256Size];
  ASSERT_TRUE(HmacSha256(reinterpret_cast<const unsigned char*>(key32.data()), 32, "x", 1, mac));
  key32[31] = '\x02';
  ASSERT_TRUE(HmacSha256(reinterpret_cast<const unsigned char*>(key32.data()), 32, "x", 1, other));
  EXPECT_NE(Text(mac), Text(other));
  EXPECT_FALSE(HmacSha256(reinterpret_cast<const unsigned char*>(std::string(65, 'k').data()), 65,
                          "x", 1, mac));
}

TEST(Crypto, RandomBytesDifferBetweenCalls) {
  unsigned char a[32] = {};
  unsigned char b[32] = {};
  ASSERT_TRUE(RandomBytes(a, sizeof a));
  ASSERT_TRUE(RandomBytes(b, sizeof b));
  EXPECT_NE(std::string(reinterpret_cast<char*>(a), 32), std::string(reinterpret_cast<char*>(b), 32));
}

}  // namespace
