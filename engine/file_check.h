// SHA-256 of a file through the platform's cryptography (BCrypt), for the
// check of a finished download.
//
// Thread-safety: any thread; each call opens its own algorithm handle.
#pragma once

#include <atomic>
#include <string>

namespace fetch {

// Lower-case hex digest of the whole file. False when the file cannot be
// read, the platform refuses, or `cancel` becomes true meanwhile.
bool Sha256OfFile(const std::wstring& path, const std::atomic<bool>* cancel, std::string* hex);

}  // namespace fetch
