#include "engine/file_check.h"

#include <windows.h>

#include <vector>

#include "base/scoped_handle.h"
#include "engine/sha256.h"

namespace fetch {

bool Sha256OfFile(const std::wstring& path, const std::atomic<bool>* cancel, std::string* hex) {
  // Shared for writing: the job checks the partial file while it still
  // holds it open, so no other engine can slip in between.
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  Sha256 sha;
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    if (cancel && cancel->load()) return false;
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    if (read == 0) break;
    sha.Update(buffer.data(), read);
  }
  *hex = sha.FinishHex();
  return !hex->empty();
}

}  // namespace fetch
