#include "app/disk_check.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/download_manager.h"
#include "base/file_util.h"
#include "log/log.h"

namespace korvan {

bool DiskProbe::FreeBytesForUser(const std::wstring& root, uint64_t* bytes) const {
  ULARGE_INTEGER available = {};
  // A relative install root lives on the current drive.
  if (!GetDiskFreeSpaceExW(root.empty() ? nullptr : root.c_str(), &available, nullptr, nullptr)) {
    return false;
  }
  *bytes = available.QuadPart;
  return true;
}

bool DiskProbe::FolderExists(const std::wstring& path) const {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DiskProbe::IsFolderWritable(const std::wstring& path) const {
  return base::IsFolderWritable(path);
}

bool DiskProbe::IsNetworkPath(const std::wstring& path) const {
  return PathIsUNCW(path.c_str()) || PathIsNetworkPathW(path.c_str());
}

void DiskProbe::RemoveFolderTree(const std::wstring& path) const { base::RemoveFolderTree(path); }

DiskCheckResult CheckDownloadDisk(const std::wstring& install_root, int64_t total_bytes,
                                  const DiskProbe& probe) {
  DiskCheckResult result;
  const std::wstring root = base::GetPathRoot(install_root);
  uint64_t free_bytes = 0;
  if (!probe.FreeBytesForUser(root, &free_bytes)) {
    KV_LOG_ERROR << "获取磁盘信息失败 root:" << root << " error_code:" << GetLastError();
    result.message = L"获取磁盘信息失败";
    return result;
  }
  const int64_t required = total_bytes + DownloadManager::kDiskReserveBytes;
  KV_LOG_MESSAGE << "下载盘剩余空间：" << free_bytes << "B";
  if (required > 0 && free_bytes < static_cast<uint64_t>(required)) {
    KV_LOG_ERROR << "下载盘剩余空间不足，需要空间:" << required << "B";
    result.message = L"下载盘剩余空间不足";
    return result;
  }

  // The write test creates the folder tree; a check that fails afterwards
  // must not leave a folder the user never asked for.
  const bool existed = probe.FolderExists(install_root);
  auto fail = [&](const wchar_t* message) {
    if (!existed) probe.RemoveFolderTree(install_root);
    result.message = message;
    return result;
  };
  if (!probe.IsFolderWritable(install_root)) {
    KV_LOG_ERROR << "下载盘无读写权限，install_path:" << install_root;
    return fail(L"下载盘无读写权限");
  }
  if (probe.IsNetworkPath(install_root)) {
    KV_LOG_ERROR << "下载盘为网络路径，install_path:" << install_root;
    return fail(L"下载盘不能为网络路径");
  }
  result.passed = true;
  return result;
}

}  // namespace korvan
