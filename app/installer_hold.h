// The installer file the engine reported complete and verified in this run,
// held open for reading only (no write or delete sharing) from that moment
// until the program lets it go. So the file handed off is the file that was
// checked: while it is held nobody can rewrite, replace, rename or delete
// it, and starting it (which only reads it) still works.
//
// Thread-safety: any thread; one lock guards the handle and its path. The
// download pool holds the file, the user-interface thread asks about it.
#pragma once

#include <mutex>
#include <string>

#include "base/scoped_handle.h"

namespace korvan {

class InstallerHold {
 public:
  // Lets go of what was held, then opens and holds `path`. False, with
  // nothing held and the error left in GetLastError, when the file is
  // missing or someone has it open for writing or deleting.
  bool Hold(const std::wstring& path);
  void Release();
  // True when `path` names the held file (compared without case).
  bool Holds(const std::wstring& path) const;

 private:
  mutable std::mutex lock_;
  base::ScopedHandle file_;
  std::wstring path_;
};

}  // namespace korvan
