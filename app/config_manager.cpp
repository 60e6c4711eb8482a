#include "app/config_manager.h"

#include <windows.h>
#include <shlobj.h>

#include <mutex>
#include <vector>

#include "log/log_file.h"
#include "upp/ptr.h"

namespace korvan {

namespace {

constexpr wchar_t kAppDataName[] = L"\\korvan";
constexpr wchar_t kInstallFolderName[] = L"\\KorvanInstall";
constexpr wchar_t kInstallerName[] = L"\\KorvanInstall\\KorvanInstall.exe";
constexpr wchar_t kChannelFileName[] = L"\\KV_DATA0.bin";
constexpr wchar_t k7zaName[] = L"\\7za.exe";
constexpr wchar_t kLogIniName[] = L"\\log.ini";

constexpr wchar_t kChannelSection[] = L"KV_DOWNLOADER";
struct ChannelKey {
  const wchar_t* key;
  const wchar_t* value;
};
// The installer reads these to credit the download to our channel.
constexpr ChannelKey kChannelKeys[] = {
    {L"UserChannel", L"617340001"},
    {L"UserFrom", L"253200010098"},
    {L"UserSubsite", L"173401"},
};

}  // namespace

class ConfigManager::Pimpl : public Upp::Pte<Pimpl> {
 public:
  explicit Pimpl(const base::DriveInfo& drives) : drives_(drives) {}

  std::wstring InstallRoot() {
    std::lock_guard<std::mutex> guard(lock_);
    if (install_root_.empty()) {
      const std::wstring drive = base::PickInstallDrive(drives_);
      // Without a drive, the folder is taken from the current folder now,
      // once: a relative root would show as a bare "korvan" on the panel
      // and could point elsewhere by the time the engine uses it.
      install_root_ = drive.empty() ? base::GetFullPath(base::kInstallRootFolder)
                                    : drive + base::kInstallRootFolder;
    }
    return install_root_;
  }

  void SetInstallRoot(const std::wstring& path) {
    std::lock_guard<std::mutex> guard(lock_);
    install_root_ = path;
  }

  int log_level_ = kvlog::kDefaultLevel;
  int retain_days_ = kvlog::kDefaultRetainDays;

 private:
  const base::DriveInfo& drives_;
  // Workers read the root through GetInstallDir while the UI thread may set
  // it, and the first reader computes the default.
  std::mutex lock_;
  std::wstring install_root_;
};

ConfigManager::ConfigManager() : ConfigManager(base::RealDrives(), DefaultLogIniPath()) {}

ConfigManager::ConfigManager(const base::DriveInfo& drives, const std::wstring& log_ini_path)
    : pimpl_(std::make_unique<Pimpl>(drives)) {
  const kvlog::LogSettings settings = kvlog::ReadLogSettings(log_ini_path);
  pimpl_->log_level_ = settings.level;
  pimpl_->retain_days_ = settings.retain_days;
  kvlog::CleanupOldLogs(GetAppDataDir(), settings.level, settings.retain_days,
                        kvlog::LocalToday());
}

ConfigManager::~ConfigManager() = default;

std::wstring ConfigManager::DefaultLogIniPath() { return base::GetExeFolder() + kLogIniName; }

std::wstring ConfigManager::GetAppDataDir() {
  static const std::wstring folder = [] {
    wchar_t app_data[MAX_PATH] = {};
    std::wstring parent;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                   SHGFP_TYPE_CURRENT, app_data))) {
      parent = app_data;
    } else {
      // Without a profile folder, "\korvan" would land in the root of
      // whatever drive is current; the temporary folder is the user's own.
      wchar_t temp[MAX_PATH + 1] = {};
      DWORD length = GetTempPathW(MAX_PATH + 1, temp);
      if (length > 0 && length <= MAX_PATH) parent.assign(temp, length);
      if (!parent.empty() && parent.back() == L'\\') parent.pop_back();
    }
    std::wstring path = parent + kAppDataName;
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
  }();
  return folder;
}

std::wstring ConfigManager::GetTempDir() const {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length > buffer.size()) {
    buffer.resize(length + 1);
    length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (length == 0 || length > buffer.size()) return std::wstring();
  return std::wstring(buffer.data(), length);
}

std::wstring ConfigManager::Get7zaPath() const { return GetTempDir() + k7zaName; }

std::wstring ConfigManager::GetInstallRoot() const { return pimpl_->InstallRoot(); }

void ConfigManager::SetInstallRoot(const std::wstring& path, bool notify) {
  pimpl_->SetInstallRoot(path);
  // Outside the lock: observers read the root back.
  if (notify) InstallRootChanged.emit();
}

std::wstring ConfigManager::GetInstallDir() const { return GetInstallRoot() + kInstallFolderName; }

std::wstring ConfigManager::GetInstallerPath() const { return GetInstallRoot() + kInstallerName; }

std::wstring ConfigManager::GetChannelFilePath() const {
  return GetInstallDir() + kChannelFileName;
}

void ConfigManager::WriteChannelFile() const {
  // The profile writer looks for a name without a full path in the Windows
  // folder; the relative default root must mean the current folder here, as
  // it does for the download.
  const std::wstring path = base::GetFullPath(GetChannelFilePath());
  for (const ChannelKey& entry : kChannelKeys) {
    WritePrivateProfileStringW(kChannelSection, entry.key, entry.value, path.c_str());
  }
}

bool ConfigManager::IsLogEnabled() const { return pimpl_->log_level_ > 0; }

int ConfigManager::LogLevel() const { return pimpl_->log_level_; }

int ConfigManager::RetainDays() const { return pimpl_->retain_days_; }

}  // namespace korvan
