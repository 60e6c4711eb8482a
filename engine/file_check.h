// SHA-256 of a whole file, for the check of a finished download when the
// hash that runs alongside the transfer could not be used.
//
// Thread-safety: any thread; each call has its own state.
#pragma once

#include <atomic>
#include <string>

namespace fetch {

// Lower-case hex digest of the whole file. False when the file cannot be
// read or `cancel` becomes true meanwhile.
bool Sha256OfFile(const std::wstring& path, const std::atomic<bool>* cancel, std::string* hex);

}  // namespace fetch
