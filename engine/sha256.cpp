#include "engine/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <climits>

namespace fetch {

Sha256::Sha256() { Open(); }

Sha256::~Sha256() { Close(); }

void Sha256::Open() {
  failed_ = false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return;
  }
  algorithm_ = algorithm;
  hash_ = hash;
}

void Sha256::Close() {
  if (hash_) BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(hash_));
  if (algorithm_) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), 0);
  hash_ = nullptr;
  algorithm_ = nullptr;
}

void Sha256::Update(const void* data, size_t size) {
  if (!hash_ || failed_) return;
  auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG piece = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
    if (BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(hash_), bytes, piece, 0) != 0) {
      failed_ = true;
      return;
    }
    bytes += piece;
    size -= piece;
  }
}

std::string Sha256::FinishHex() {
  UCHAR digest[32];
  if (!hash_ || failed_ ||
      BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(hash_), digest, sizeof(digest), 0) != 0) {
    failed_ = true;
    return std::string();
  }
  failed_ = true;  // spent until Reset()
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(64);
  for (UCHAR b : digest) {
    hex.push_back(kHex[b >> 4]);
    hex.push_back(kHex[b & 15]);
  }
  return hex;
}

void Sha256::Reset() {
  Close();
  Open();
}

}  // namespace fetch
