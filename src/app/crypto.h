// SHA-256, HMAC-SHA-256 and random bytes from the platform's cryptography:
// CryptoAPI's AES provider on Windows (advapi32, Windows XP SP3 on), OpenSSL's
// libcrypto in the native build of setupcheck. Nothing here computes a hash
// itself.
#pragma once
#include <cstddef>
#include <cstdint>

const size_t kSha256Size = 32;
// A digest as lower-case hex, with its NUL.
const size_t kSha256TextSize = 2 * kSha256Size + 1;

// Whether the platform offers the algorithms at all (a native build without
// libcrypto does not).
bool CryptoAvailable();

// A SHA-256 over data given in pieces. Begin, then Add as often as needed,
// then Finish, which always releases the run (also after a failure).
struct Sha256Run {
  std::uintptr_t handle;
};
bool Sha256Begin(Sha256Run* run);
bool Sha256Add(Sha256Run* run, const void* data, size_t size);
// digest receives kSha256Size bytes; null only releases the run.
bool Sha256Finish(Sha256Run* run, unsigned char* digest);

// The SHA-256 of a whole file, read in large pieces; size (may be null)
// receives the number of bytes hashed. False when the file cannot be read.
bool Sha256OfFile(const char* path, unsigned char* digest, unsigned long long* size);

// HMAC-SHA-256 of data under key (keySize up to 64 bytes); mac receives
// kSha256Size bytes.
bool HmacSha256(const unsigned char* key, size_t keySize, const void* data, size_t size,
                unsigned char* mac);

// size bytes from the platform's random generator.
bool RandomBytes(unsigned char* buffer, size_t size);

// A digest as lower-case hex into text (kSha256TextSize bytes).
void DigestText(const unsigned char* digest, char* text);
