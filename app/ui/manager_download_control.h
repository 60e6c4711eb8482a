// The progress panel's link to the real program: the download manager, the
// client flow, the configuration, the folder chooser owned by the main
// window, the file explorer and the toolkit's timer queue.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "app/ui/download_control.h"

namespace korvan {

class ManagerDownloadControl : public DownloadControl {
 public:
  void Connect(ProgressPanel& panel) override;
  int32_t CurrentState() override;
  void StartDownload() override;
  bool PauseDownload() override;
  bool ResumeDownload() override;
  void RetryDownload() override;
  void Restart() override;
  void InstallExe() override;
  std::wstring GetInstallRoot() override;
  void SetInstallRoot(const std::wstring& path) override;
  bool ChooseFolder(const std::wstring& initial, std::wstring* chosen) override;
  void OpenInstallFolder() override;
  void Schedule(int delay_ms, Upp::Callback action, const void* owner) override;
};

}  // namespace korvan
