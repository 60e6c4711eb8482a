// The check made before a new download starts: enough free space for the
// installer plus a reserve, a folder the user can write to, and no network
// path. A folder the check created for its write test is removed again when
// the check fails after it.
//
// Thread-safety: any thread (the download manager calls it on the
// user-interface thread). The check logs as it goes; showing the message is
// the caller's business.
#pragma once

#include <cstdint>
#include <string>

namespace korvan {

// The facts the check rests on. The default answers come from the file
// system; tests override single answers (for example the free bytes).
class DiskProbe {
 public:
  virtual ~DiskProbe() = default;
  // Bytes the current user may still write on the drive of `root` (empty:
  // the current drive). False when the platform cannot tell.
  virtual bool FreeBytesForUser(const std::wstring& root, uint64_t* bytes) const;
  virtual bool FolderExists(const std::wstring& path) const;
  // Creates the folder tree and proves a file can be written there.
  virtual bool IsFolderWritable(const std::wstring& path) const;
  // A UNC path ("\\server\share\...") or a path on a network drive.
  virtual bool IsNetworkPath(const std::wstring& path) const;
  virtual void RemoveFolderTree(const std::wstring& path) const;
};

struct DiskCheckResult {
  bool passed = false;
  // The text for the user when the check failed.
  std::wstring message;
};

// Checks `install_root` for a download of `total_bytes` (plus
// DownloadManager::kDiskReserveBytes).
DiskCheckResult CheckDownloadDisk(const std::wstring& install_root, int64_t total_bytes,
                                  const DiskProbe& probe);

}  // namespace korvan
