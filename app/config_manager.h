// Where things live: the per-user data folder, the temporary folder of the
// unpacking tools, the install root the user may change, the install folder,
// the installer's path and the channel data file left for the installer.
// Also holds the log settings read from log.ini beside the executable.
//
// The first manager created at start-up; lives until the process ends. Its
// constructor reads log.ini and deletes old log files.
//
// IMPORTANT: Thread-safety. Everything is called on the user-interface
// thread, except GetTempDir, Get7zaPath and GetInstallDir, which download
// workers call too. The install root is kept under a lock so such a read
// never sees it half written. InstallRootChanged is emitted and received on
// the user-interface thread only.
//
// Ownership: every path comes back as a new string.
#pragma once

#include <memory>
#include <string>

#include "base/file_util.h"
#include "base/logic_object.h"
#include "upp/signal.h"

namespace korvan {

class ConfigManager : public base::LogicObject {
 public:
  // The machine's drives and log.ini beside the executable.
  ConfigManager();
  // For tests: `drives` decides the default install root and must outlive
  // the manager; the log settings are read from `log_ini_path`.
  ConfigManager(const base::DriveInfo& drives, const std::wstring& log_ini_path);
  ~ConfigManager() override;
  ConfigManager(const ConfigManager&) = delete;
  ConfigManager& operator=(const ConfigManager&) = delete;

  // The exe's folder + "\log.ini".
  static std::wstring DefaultLogIniPath();

  // The roaming application data folder + "\korvan", created on the first
  // call (a failure is ignored) and then cached for the process.
  static std::wstring GetAppDataDir();

  // The platform's temporary folder, ending with a backslash.
  std::wstring GetTempDir() const;
  // GetTempDir() + "\7za.exe" (the doubled backslash is harmless).
  std::wstring Get7zaPath() const;

  // The root set last; on first use the best drive's root + "korvan", or
  // the relative "korvan" when no drive qualifies.
  std::wstring GetInstallRoot() const;
  // Replaces the root with `path` as given; emits InstallRootChanged when
  // `notify`. Only for this run: nothing is saved.
  void SetInstallRoot(const std::wstring& path, bool notify);
  // GetInstallRoot() + "\KorvanInstall".
  std::wstring GetInstallDir() const;
  // GetInstallRoot() + "\KorvanInstall\KorvanInstall.exe".
  std::wstring GetInstallerPath() const;
  // GetInstallDir() + "\KV_DATA0.bin".
  std::wstring GetChannelFilePath() const;

  // Writes section "KV_DOWNLOADER" with UserChannel, UserFrom and
  // UserSubsite into the channel data file. The install folder must exist;
  // failures are ignored (the installer copes without the file).
  void WriteChannelFile() const;

  // log.ini's "level" is above 0.
  bool IsLogEnabled() const;
  int LogLevel() const;
  int RetainDays() const;

  // The install root was set with notification.
  sigslot::signal0<> InstallRootChanged;

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
