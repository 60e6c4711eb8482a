// The client's life from the controller's start to the end of the process:
// the single-instance test, the clean-up of stale copies, the start
// sequence, the package preparation, and the stop and restart paths.
//
// Start order (deliberate): single-instance test, stale copies ended, skin
// loaded, guard window, main window shown (which builds the panels, creates
// DownloadManager and schedules the download set-up); then, from the first
// turn of the message loop, the launch report (status 7: ReportManager,
// HttpAsk, ThreadManager, the machine identifier) and the tray icon. The
// player's first frame thus waits for neither the machine identifier nor
// the shell; the manager creation order differs from a report-first start
// accordingly (MainWndManager and DownloadManager before ReportManager and
// TrayManager). The log shows the order: "korvan::ClientManager::Start
// 主窗口已显示" comes before "korvan::ClientManager::Start 上报启动并显示托盘".
//
// Thread-safety: user-interface thread only, except PreparePackages (a
// download-pool worker).
#pragma once

#include <memory>
#include <string>

#include "base/logic_object.h"

namespace korvan {

// Name of the single-instance mutex and of the hidden instance window class.
constexpr wchar_t kInstanceName[] = L"KVDOWNLOADER_INSWND";
// Posted to a running instance's hidden window to bring it forward.
constexpr unsigned kWakeUpMessage = 37889;
constexpr wchar_t kProcessImageName[] = L"KVDownloader.exe";

class ClientManager : public base::LogicObject {
 public:
  ClientManager();
  ~ClientManager() override;

  // False when another instance runs: it was told to come forward and this
  // one has posted its quit message.
  bool Start(const std::wstring& command_line);

  // Ends the program: refuses new work, releases what it holds, and posts
  // the quit message one second later. Safe to call more than once.
  void Stop();

  // Releases what the program holds, starts a fresh copy of it and quits at
  // once; the new copy finds the mutex free.
  void Restart();

  // Starts the downloaded installer and stops the program, but only the file
  // the engine verified in this run (state 9, still held unchanged, see
  // DownloadManager::CheckHandOff); in any other state it does nothing at
  // all. When the verified file cannot be started, tells the user and opens
  // the install folder instead.
  void InstallExe();

  // Unpacks the unpacking tool and the download engine into the temporary
  // folder. Download-pool worker only: it waits for the tool to finish.
  bool PreparePackages();

  bool IsAnotherInstance() const;

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
