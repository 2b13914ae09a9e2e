// The platform's cryptography through CryptoAPI: one verify-only context of
// the AES provider (the provider type that has SHA-256), acquired on first
// use and kept for the process.
#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <cstring>

#include "app/crypto.h"

// The AES provider has SHA-256 from Windows XP SP3 on; the headers offer the
// name only to builds that target a later system.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif

namespace {

HCRYPTPROV provider = 0;

HCRYPTPROV Provider() {
  if (!provider &&
      !CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    provider = 0;
  }
  return provider;
}

// Big pieces keep the per-call cost small against the hashing itself.
const DWORD kFilePiece = 1024 * 1024;

}  // namespace

bool CryptoAvailable() { return Provider() != 0; }

bool Sha256Begin(Sha256Run* run) {
  HCRYPTHASH hash = 0;
  run->handle = 0;
  if (!Provider() || !CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) return false;
  run->handle = hash;
  return true;
}

bool Sha256Add(Sha256Run* run, const void* data, size_t size) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    DWORD piece = size > kFilePiece ? kFilePiece : static_cast<DWORD>(size);
    if (!run->handle || !CryptHashData(run->handle, bytes, piece, 0)) return false;
    bytes += piece;
    size -= piece;
  }
  return run->handle != 0;
}

bool Sha256Finish(Sha256Run* run, unsigned char* digest) {
  if (!run->handle) return false;
  DWORD length = kSha256Size;
  bool done = !digest || (CryptGetHashParam(run->handle, HP_HASHVAL, digest, &length, 0) &&
                          length == kSha256Size);
  CryptDestroyHash(run->handle);
  run->handle = 0;
  return done;
}

bool Sha256OfFile(const char* path, unsigned char* digest, unsigned long long* size) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BYTE* buffer = static_cast<BYTE*>(std::malloc(kFilePiece));
  Sha256Run run;
  bool ok = buffer && Sha256Begin(&run);
  unsigned long long total = 0;
  while (ok) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, kFilePiece, &read, nullptr)) {
      ok = false;
    } else if (read == 0) {
      break;
    } else {
      ok = Sha256Add(&run, buffer, read);
      total += read;
    }
  }
  DWORD code = ok ? 0 : GetLastError();
  if (buffer && run.handle) ok = Sha256Finish(&run, ok ? digest : nullptr) && ok;
  std::free(buffer);
  CloseHandle(file);
  if (size) *size = total;
  if (code) SetLastError(code);
  return ok;
}

bool HmacSha256(const unsigned char* key, size_t keySize, const void* data, size_t size,
                unsigned char* mac) {
  if (keySize > 64 || !Provider()) return false;
  // The key travels as a plain-text blob; CRYPT_IPSEC_HMAC_KEY lets an RC2
  // blob carry an HMAC key of any length.
  struct {
    BLOBHEADER header;
    DWORD length;
    BYTE key[64];
  } blob;
  std::memset(&blob, 0, sizeof blob);
  blob.header.bType = PLAINTEXTKEYBLOB;
  blob.header.bVersion = CUR_BLOB_VERSION;
  blob.header.aiKeyAlg = CALG_RC2;
  blob.length = static_cast<DWORD>(keySize);
  std::memcpy(blob.key, key, keySize);
  HCRYPTKEY handle = 0;
  bool imported = CryptImportKey(provider, reinterpret_cast<BYTE*>(&blob),
                                 sizeof blob.header + sizeof blob.length + blob.length, 0,
                                 CRYPT_IPSEC_HMAC_KEY, &handle) != 0;
  SecureZeroMemory(&blob, sizeof blob);
  if (!imported) return false;
  HCRYPTHASH hash = 0;
  bool done = false;
  if (CryptCreateHash(provider, CALG_HMAC, handle, 0, &hash)) {
    HMAC_INFO info;
    std::memset(&info, 0, sizeof info);
    info.HashAlgid = CALG_SHA_256;
    DWORD length = kSha256Size;
    done = CryptSetHashParam(hash, HP_HMAC_INFO, reinterpret_cast<BYTE*>(&info), 0) &&
           CryptHashData(hash, static_cast<const BYTE*>(data), static_cast<DWORD>(size), 0) &&
           CryptGetHashParam(hash, HP_HASHVAL, mac, &length, 0) && length == kSha256Size;
    CryptDestroyHash(hash);
  }
  CryptDestroyKey(handle);
  return done;
}

bool RandomBytes(unsigned char* buffer, size_t size) {
  return Provider() && CryptGenRandom(provider, static_cast<DWORD>(size), buffer);
}
