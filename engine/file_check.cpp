#include "engine/file_check.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "base/scoped_handle.h"

namespace fetch {

namespace {

struct AlgTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { BCryptDestroyHash(h); }
};

}  // namespace

bool Sha256OfFile(const std::wstring& path, const std::atomic<bool>* cancel, std::string* hex) {
  base::ScopedGeneric<AlgTraits> alg;
  if (BCryptOpenAlgorithmProvider(alg.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return false;
  base::ScopedGeneric<HashTraits> hash;
  if (BCryptCreateHash(alg.Get(), hash.Receive(), nullptr, 0, nullptr, 0, 0) != 0) return false;
  // Shared for writing: the job checks the partial file while it still
  // holds it open, so no other engine can slip in between.
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    if (cancel && cancel->load()) return false;
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    if (read == 0) break;
    if (BCryptHashData(hash.Get(), buffer.data(), read, 0) != 0) return false;
  }
  unsigned char digest[32];
  if (BCryptFinishHash(hash.Get(), digest, sizeof(digest), 0) != 0) return false;
  static const char kHex[] = "0123456789abcdef";
  hex->clear();
  for (unsigned char b : digest) {
    hex->push_back(kHex[b >> 4]);
    hex->push_back(kHex[b & 15]);
  }
  return true;
}

}  // namespace fetch
