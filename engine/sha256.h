// Incremental SHA-256 through the platform's cryptography provider (BCrypt),
// so the transfer can hash the finished prefix of the file while the rest
// still arrives, and the final check uses the same code.
//
// Thread-safety: a Sha256 object belongs to one thread at a time; distinct
// objects are independent.
#pragma once

#include <cstddef>
#include <string>

namespace fetch {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False when the provider could not be opened; every digest is then "".
  bool ok() const { return hash_ != nullptr; }

  void Update(const void* data, size_t size);
  // Lower-case hex digest, "" on a provider failure; the object is then
  // spent (Reset() to reuse).
  std::string FinishHex();
  void Reset();

 private:
  void Open();
  void Close();

  void* algorithm_ = nullptr;  // BCRYPT_ALG_HANDLE
  void* hash_ = nullptr;       // BCRYPT_HASH_HANDLE
  bool failed_ = false;
};

}  // namespace fetch
