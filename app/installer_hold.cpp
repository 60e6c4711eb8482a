#include "app/installer_hold.h"

#include <windows.h>

namespace korvan {

bool InstallerHold::Hold(const std::wstring& path) {
  // Read sharing only: CreateProcess opens the image for reading and
  // executing, which that allows; a writer, a delete or a rename over it
  // is refused for as long as the handle is open.
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::lock_guard<std::mutex> guard(lock_);
  file_ = std::move(file);
  path_ = file_.IsValid() ? path : std::wstring();
  return file_.IsValid();
}

void InstallerHold::Release() {
  std::lock_guard<std::mutex> guard(lock_);
  file_.Reset();
  path_.clear();
}

bool InstallerHold::Holds(const std::wstring& path) const {
  std::lock_guard<std::mutex> guard(lock_);
  return file_.IsValid() && !path.empty() && _wcsicmp(path_.c_str(), path.c_str()) == 0;
}

}  // namespace korvan
