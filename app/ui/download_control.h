// Everything the progress panel drives or asks outside itself: the
// download manager's operations and state, the client flow's restart and
// installer hand-off, the install root, the folder chooser, the file
// explorer and its own deferred calls. The program uses ManagerDownloadControl
// (the real managers); unit tests give the panel a double.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "upp/callback.h"

namespace korvan {

class ProgressPanel;

class DownloadControl {
 public:
  virtual ~DownloadControl() = default;

  // Connects the panel's handlers to the notifications of the download
  // manager and the configuration. Called once, from the panel's constructor.
  virtual void Connect(ProgressPanel& panel) = 0;

  virtual int32_t CurrentState() = 0;
  virtual void StartDownload() = 0;
  virtual bool PauseDownload() = 0;
  virtual bool ResumeDownload() = 0;
  virtual void RetryDownload() = 0;
  // The client flow: a fresh copy of the program; the downloaded installer.
  virtual void Restart() = 0;
  virtual void InstallExe() = 0;

  virtual std::wstring GetInstallRoot() = 0;
  // Sets the root without notification (the panel refreshes itself).
  virtual void SetInstallRoot(const std::wstring& path) = 0;
  // The modal folder chooser starting at `initial`; true with the choice.
  virtual bool ChooseFolder(const std::wstring& initial, std::wstring* chosen) = 0;
  // The install root in the file explorer.
  virtual void OpenInstallFolder() = 0;

  // Runs `action` once, `delay_ms` from now, on the user-interface thread;
  // the panel cancels its calls with Upp::KillTimeCallback(owner).
  virtual void Schedule(int delay_ms, Upp::Callback action, const void* owner) = 0;
};

}  // namespace korvan
