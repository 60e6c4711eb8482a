// The disk check before a new download: with injected answers for the
// boundaries and the order of the steps, then on the real file system.
#include "app/disk_check.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_util.h"
#include "common/test_util.h"

using korvan::CheckDownloadDisk;

namespace {

constexpr int64_t kReserve = 10485760;

class ScriptedProbe : public korvan::DiskProbe {
 public:
  bool FreeBytesForUser(const std::wstring& root, uint64_t* bytes) const override {
    asked_root = root;
    *bytes = free_bytes;
    return readable;
  }
  bool FolderExists(const std::wstring&) const override { return existed; }
  bool IsFolderWritable(const std::wstring&) const override { return writable; }
  bool IsNetworkPath(const std::wstring&) const override { return network; }
  void RemoveFolderTree(const std::wstring& path) const override { removed.push_back(path); }

  uint64_t free_bytes = 1ULL << 40;
  bool readable = true, existed = false, writable = true, network = false;
  mutable std::wstring asked_root;
  mutable std::vector<std::wstring> removed;
};

TEST(DiskCheckTest, FreeSpaceOfExactlyTotalPlusReservePasses) {
  ScriptedProbe probe;
  probe.free_bytes = 123456789 + kReserve;
  EXPECT_TRUE(CheckDownloadDisk(L"D:\\Games\\korvan", 123456789, probe).passed);
  EXPECT_EQ(probe.asked_root, L"D:\\");
  probe.free_bytes -= 1;
  const korvan::DiskCheckResult result = CheckDownloadDisk(L"D:\\Games\\korvan", 123456789, probe);
  EXPECT_FALSE(result.passed);
  EXPECT_EQ(result.message, L"下载盘剩余空间不足");
  EXPECT_TRUE(probe.removed.empty());
}

TEST(DiskCheckTest, EachFailureHasItsMessageAndRemovesOnlyAFolderItCreated) {
  const struct {
    bool readable, existed, writable, network;
    const wchar_t* message;
    bool removed;
  } cases[] = {
      {false, false, true, false, L"获取磁盘信息失败", false},
      {true, false, false, false, L"下载盘无读写权限", true},
      {true, true, false, false, L"下载盘无读写权限", false},
      {true, false, true, true, L"下载盘不能为网络路径", true},
      {true, true, true, true, L"下载盘不能为网络路径", false},
  };
  for (const auto& c : cases) {
    ScriptedProbe probe;
    probe.readable = c.readable;
    probe.existed = c.existed;
    probe.writable = c.writable;
    probe.network = c.network;
    const korvan::DiskCheckResult result = CheckDownloadDisk(L"E:\\k", 10, probe);
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(probe.removed, c.removed ? std::vector<std::wstring>{L"E:\\k"} : std::vector<std::wstring>{})
        << result.message.size();
  }
}

const korvan::DiskProbe kRealDisk;

// Under Wine as root neither the read-only attribute nor Unix rights keep
// a folder from being written; a folder below a file cannot even be made.
TEST(DiskCheckRealTest, FolderUnderAFileIsRefusedAndNothingIsLeft) {
  testutil::ScopedTempDir dir;
  ASSERT_TRUE(testutil::WriteFileBytes(dir.Join(L"file"), "x"));
  EXPECT_EQ(CheckDownloadDisk(dir.Join(L"file\\games"), 1000, kRealDisk).message, L"下载盘无读写权限");
  EXPECT_EQ(testutil::ReadFileBytes(dir.Join(L"file")), "x");
}

TEST(DiskCheckRealTest, MoreThanTheDiskHoldsIsRefusedBeforeAnyFolderIsMade) {
  testutil::ScopedTempDir dir;
  const std::wstring root = dir.Join(L"huge");
  EXPECT_EQ(CheckDownloadDisk(root, 1LL << 60, kRealDisk).message, L"下载盘剩余空间不足");
  EXPECT_FALSE(testutil::FolderExists(root));
}

// scripts/test maps a private 16 MiB tmpfs to a drive letter that no other
// test writes to: its free space holds still, so the boundary can be tried
// on a real drive.
TEST(DiskCheckRealTest, SmallDriveBoundaryAndFullDrive) {
  wchar_t drive[8] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"KV_TEST_QUIET_DRIVE", drive, 8), 0u)
      << "KV_TEST_QUIET_DRIVE not set: run the tests through scripts/test (as root)";
  const std::wstring root = std::wstring(drive) + L"dm" + std::to_wstring(GetCurrentProcessId());
  ULARGE_INTEGER free_bytes = {};
  ASSERT_TRUE(GetDiskFreeSpaceExW(drive, &free_bytes, nullptr, nullptr));
  const int64_t fits = static_cast<int64_t>(free_bytes.QuadPart) - kReserve;
  ASSERT_GT(fits, 0);
  EXPECT_EQ(CheckDownloadDisk(root, fits + 1, kRealDisk).message, L"下载盘剩余空间不足");
  EXPECT_FALSE(testutil::FolderExists(root));
  EXPECT_TRUE(CheckDownloadDisk(root, fits, kRealDisk).passed);
  EXPECT_TRUE(testutil::FolderExists(root));
  RemoveDirectoryW(root.c_str());
}

TEST(DiskCheckRealTest, DriveThatIsNotThereCannotBeMeasured) {
  const DWORD drives = GetLogicalDrives();
  wchar_t letter = L'Y';
  while (letter > L'D' && (drives & (1u << (letter - L'A')))) --letter;
  ASSERT_GT(letter, L'D') << "every drive letter is taken";
  const std::wstring root = std::wstring(1, letter) + L":\\Games";
  EXPECT_EQ(CheckDownloadDisk(root, 1000, kRealDisk).message, L"获取磁盘信息失败");
}

// Wine serves "\\server\share" from the prefix's dosdevices\unc folder, so a
// writable UNC path exists here: it passes the write test and must still be
// refused, with the folder the test created removed again.
TEST(DiskCheckRealTest, UncPathIsRefusedAndTheFolderItMadeIsRemoved) {
  wchar_t prefix[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH), 0u) << "not under Wine";
  std::wstring share = L"Z:" + std::wstring(prefix) + L"/dosdevices/unc/kvtest/share";
  for (wchar_t& c : share) c = (c == L'/') ? L'\\' : c;
  ASSERT_TRUE(base::CreateFolderTree(share)) << "cannot create the share folder";
  const std::wstring name = L"dm" + std::to_wstring(GetCurrentProcessId());
  const std::wstring unc = L"\\\\kvtest\\share\\" + name;
  EXPECT_EQ(CheckDownloadDisk(unc, 1000, kRealDisk).message, L"下载盘不能为网络路径");
  EXPECT_FALSE(testutil::FolderExists(share + L"\\" + name));
  EXPECT_FALSE(testutil::FolderExists(unc));
}

}  // namespace
