// The configuration manager on real folders and files; only the drive list
// behind the default install root is faked.
//
// Every manager deletes old log files in the shared per-user data folder when
// it is created, so these tests hold a named mutex (ctest runs test cases in
// parallel processes).
#include "app/config_manager.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "common/test_util.h"
#include "log/log_file.h"

namespace {

using testutil::ScopedTempDir;

struct FakeDrive {
  std::wstring root;
  bool external;
  uint64_t free_bytes;
};

// Fixed, writable drives; counts how often the drive list is read.
class FakeDrives : public base::DriveInfo {
 public:
  explicit FakeDrives(std::vector<FakeDrive> drives) : drives_(std::move(drives)) {}

  std::vector<std::wstring> ListRoots() const override {
    ++list_calls_;
    std::vector<std::wstring> roots;
    for (const FakeDrive& d : drives_) roots.push_back(d.root);
    return roots;
  }
  UINT DriveType(const std::wstring&) const override { return DRIVE_FIXED; }
  bool IsExternal(const std::wstring& root) const override { return Find(root).external; }
  bool FreeBytesForCaller(const std::wstring& root, uint64_t* bytes) const override {
    *bytes = Find(root).free_bytes;
    return true;
  }
  bool IsWritable(const std::wstring&) const override { return true; }

  int list_calls() const { return list_calls_; }

 private:
  const FakeDrive& Find(const std::wstring& root) const {
    for (const FakeDrive& d : drives_) {
      if (d.root == root) return d;
    }
    ADD_FAILURE() << "asked about a drive that was not listed";
    return drives_.front();
  }

  std::vector<FakeDrive> drives_;
  mutable int list_calls_ = 0;
};

class RootObserver : public sigslot::has_slots<> {
 public:
  explicit RootObserver(korvan::ConfigManager* config) : config_(config) {
    config_->InstallRootChanged.connect(this, &RootObserver::OnChanged);
  }
  void OnChanged() {
    ++calls;
    // Reading back from inside the slot must see the new root (and must
    // not dead-lock).
    seen = config_->GetInstallRoot();
  }

  int calls = 0;
  std::wstring seen;

 private:
  korvan::ConfigManager* config_;
};

class ConfigManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    lock_.Reset(CreateMutexW(nullptr, FALSE, L"KVDownloaderTests.AppDataLogs"));
    ASSERT_TRUE(lock_.IsValid());
    const DWORD wait = WaitForSingleObject(lock_.Get(), 60000);
    ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) << wait;
    locked_ = true;
  }
  void TearDown() override {
    if (locked_) ReleaseMutex(lock_.Get());
  }

  std::wstring IniPath() const { return ini_dir_.Join(L"log.ini"); }
  void WriteIni(const std::string& text) {
    ASSERT_TRUE(testutil::WriteFileBytes(IniPath(), text));
  }

  ScopedTempDir ini_dir_;
  FakeDrives two_equal_{{{L"C:\\", false, 4096}, {L"D:\\", false, 4096}}};
  FakeDrives usb_only_{{{L"E:\\", true, 1ull << 40}}};

 private:
  base::ScopedHandle lock_;
  bool locked_ = false;
};

TEST_F(ConfigManagerTest, DefaultRootIsTheLaterOfTwoEqualDrivesPlusKorvan) {
  korvan::ConfigManager config(two_equal_, IniPath());
  EXPECT_EQ(config.GetInstallRoot(), L"D:\\korvan");
  EXPECT_EQ(config.GetInstallDir(), L"D:\\korvan\\KorvanInstall");
  EXPECT_EQ(config.GetInstallerPath(), L"D:\\korvan\\KorvanInstall\\KorvanInstall.exe");
}

// No drive qualifies: "korvan" in the current folder, made absolute when it
// is first asked for, so the panel and the engine see one full path even
// after the current folder changes.
TEST_F(ConfigManagerTest, DefaultRootOnAUsbOnlyMachineIsKorvanInTheCurrentFolderOnce) {
  ScopedTempDir first, second;
  wchar_t saved[MAX_PATH] = {};
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(first.path().c_str()));
  korvan::ConfigManager config(usb_only_, IniPath());
  const std::wstring root = config.GetInstallRoot();
  ASSERT_TRUE(SetCurrentDirectoryW(second.path().c_str()));
  const std::wstring later = config.GetInstallDir();
  SetCurrentDirectoryW(saved);
  EXPECT_EQ(root, first.Join(L"korvan"));
  EXPECT_EQ(later, first.Join(L"korvan\\KorvanInstall"));
}

TEST_F(ConfigManagerTest, DefaultRootIsWorkedOutOnceAndOnlyWhenAsked) {
  korvan::ConfigManager config(two_equal_, IniPath());
  EXPECT_EQ(two_equal_.list_calls(), 0);
  config.GetInstallRoot();
  config.GetInstallerPath();
  EXPECT_EQ(two_equal_.list_calls(), 1);
}

TEST_F(ConfigManagerTest, SetInstallRootIsUsedAsGivenAndSignalsOnlyWhenAsked) {
  korvan::ConfigManager config(two_equal_, IniPath());
  RootObserver observer(&config);

  config.SetInstallRoot(L"E:\\Games", false);
  EXPECT_EQ(observer.calls, 0);
  EXPECT_EQ(config.GetInstallDir(), L"E:\\Games\\KorvanInstall");
  EXPECT_EQ(config.GetInstallerPath(), L"E:\\Games\\KorvanInstall\\KorvanInstall.exe");
  EXPECT_EQ(two_equal_.list_calls(), 0);  // a set root needs no drive scan

  config.SetInstallRoot(L"F:\\Other", true);
  EXPECT_EQ(observer.calls, 1);
  EXPECT_EQ(observer.seen, L"F:\\Other");
}

// The channel file as text, whatever encoding the profile writer chose.
std::vector<std::wstring> ReadLines(const std::wstring& path) {
  std::string bytes = testutil::ReadFileBytes(path);
  std::wstring text;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    text = testutil::ReadUtf16File(path);
  } else {
    for (char c : bytes) text.push_back(static_cast<unsigned char>(c));
  }
  std::vector<std::wstring> lines;
  std::wstringstream in(text);
  std::wstring line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TEST_F(ConfigManagerTest, WriteChannelFileTwiceLeavesOneSectionWithThreeKeysInOrder) {
  ScopedTempDir root;
  korvan::ConfigManager config(two_equal_, IniPath());
  config.SetInstallRoot(root.path(), false);
  ASSERT_TRUE(CreateDirectoryW(config.GetInstallDir().c_str(), nullptr));

  config.WriteChannelFile();
  config.WriteChannelFile();

  const std::wstring file = root.Join(L"KorvanInstall\\KV_DATA0.bin");
  ASSERT_TRUE(testutil::FileExists(file));
  const std::vector<std::wstring> expected = {
      L"[KV_DOWNLOADER]",
      L"UserChannel=617340001",
      L"UserFrom=253200010098",
      L"UserSubsite=173401",
  };
  EXPECT_EQ(ReadLines(file), expected);
}

TEST_F(ConfigManagerTest, GetAppDataDirIsKorvanInTheRoamingDataFolder) {
  wchar_t app_data[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                         app_data)));
  const std::wstring folder = korvan::ConfigManager::GetAppDataDir();
  EXPECT_EQ(folder, std::wstring(app_data) + L"\\korvan");
  EXPECT_TRUE(testutil::FolderExists(folder));
  EXPECT_EQ(korvan::ConfigManager::GetAppDataDir(), folder);
}

TEST_F(ConfigManagerTest, TempPathsFollowThePlatformsTemporaryFolder) {
  korvan::ConfigManager config(two_equal_, IniPath());
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(config.GetTempDir(), std::wstring(temp, length));
  ASSERT_FALSE(config.GetTempDir().empty());
  EXPECT_EQ(config.GetTempDir().back(), L'\\');
  EXPECT_EQ(config.Get7zaPath(), std::wstring(temp, length) + L"\\7za.exe");
}

TEST_F(ConfigManagerTest, LogSettingsComeFromLogIniWithDefaultsWhenMissing) {
  {
    korvan::ConfigManager config(two_equal_, IniPath());
    EXPECT_FALSE(config.IsLogEnabled());
    EXPECT_EQ(config.LogLevel(), 0);
    EXPECT_EQ(config.RetainDays(), 3);
  }
  WriteIni("[log]\r\nlevel=2\r\nretain_days=5\r\n");
  korvan::ConfigManager config(two_equal_, IniPath());
  EXPECT_TRUE(config.IsLogEnabled());
  EXPECT_EQ(config.LogLevel(), 2);
  EXPECT_EQ(config.RetainDays(), 5);
}

TEST_F(ConfigManagerTest, CreatingTheManagerDeletesOldLogFilesOfTheDataFolder) {
  const std::wstring folder = korvan::ConfigManager::GetAppDataDir();
  const std::wstring old_log = folder + L"\\kv_downloader_log_2000-1-1.txt";
  const std::wstring today_log = kvlog::DailyLogFileName(folder, kvlog::LocalToday());
  ASSERT_TRUE(testutil::WriteFileBytes(old_log, "old"));
  const bool today_existed = testutil::FileExists(today_log);
  if (!today_existed) {
    ASSERT_TRUE(testutil::WriteFileBytes(today_log, "today"));
  }

  WriteIni("[log]\r\nlevel=2\r\nretain_days=1\r\n");
  { korvan::ConfigManager config(two_equal_, IniPath()); }

  EXPECT_FALSE(testutil::FileExists(old_log));
  EXPECT_TRUE(testutil::FileExists(today_log));
  DeleteFileW(old_log.c_str());
  if (!today_existed) DeleteFileW(today_log.c_str());
}

}  // namespace
