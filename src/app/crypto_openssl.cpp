// The native builds' cryptography: OpenSSL's libcrypto where the build found
// it (SETUP_HAVE_OPENSSL); without it every routine refuses, and the callers
// say that SHA-256 is unavailable.
#include <cstdio>
#include <cstdlib>

#include "app/crypto.h"

#ifdef SETUP_HAVE_OPENSSL
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

bool CryptoAvailable() { return true; }

bool Sha256Begin(Sha256Run* run) {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  run->handle = reinterpret_cast<std::uintptr_t>(context);
  return context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
}

bool Sha256Add(Sha256Run* run, const void* data, size_t size) {
  EVP_MD_CTX* context = reinterpret_cast<EVP_MD_CTX*>(run->handle);
  return context && EVP_DigestUpdate(context, data, size) == 1;
}

bool Sha256Finish(Sha256Run* run, unsigned char* digest) {
  EVP_MD_CTX* context = reinterpret_cast<EVP_MD_CTX*>(run->handle);
  if (!context) return false;
  unsigned int length = 0;
  unsigned char ignored[EVP_MAX_MD_SIZE];
  bool done = EVP_DigestFinal_ex(context, digest ? digest : ignored, &length) == 1 &&
              length == kSha256Size;
  EVP_MD_CTX_free(context);
  run->handle = 0;
  return done;
}

bool HmacSha256(const unsigned char* key, size_t keySize, const void* data, size_t size,
                unsigned char* mac) {
  unsigned int length = 0;
  return keySize <= 64 &&
         HMAC(EVP_sha256(), key, static_cast<int>(keySize), static_cast<const unsigned char*>(data),
              size, mac, &length) != nullptr &&
         length == kSha256Size;
}

bool RandomBytes(unsigned char* buffer, size_t size) {
  return RAND_bytes(buffer, static_cast<int>(size)) == 1;
}

#else

bool CryptoAvailable() { return false; }
bool Sha256Begin(Sha256Run* run) {
  run->handle = 0;
  return false;
}
bool Sha256Add(Sha256Run*, const void*, size_t) { return false; }
bool Sha256Finish(Sha256Run* run, unsigned char*) {
  run->handle = 0;
  return false;
}
bool HmacSha256(const unsigned char*, size_t, const void*, size_t, unsigned char*) { return false; }
bool RandomBytes(unsigned char*, size_t) { return false; }

#endif

bool Sha256OfFile(const char* path, unsigned char* digest, unsigned long long* size) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  const size_t kPiece = 1024 * 1024;
  unsigned char* buffer = static_cast<unsigned char*>(std::malloc(kPiece));
  Sha256Run run;
  bool ok = buffer && Sha256Begin(&run);
  unsigned long long total = 0;
  while (ok) {
    size_t read = std::fread(buffer, 1, kPiece, file);
    if (read > 0) {
      ok = Sha256Add(&run, buffer, read);
      total += read;
    }
    if (read < kPiece) {
      ok = ok && !std::ferror(file);
      break;
    }
  }
  if (buffer) ok = Sha256Finish(&run, ok ? digest : nullptr) && ok;
  std::free(buffer);
  std::fclose(file);
  if (size) *size = total;
  return ok;
}
