#include "app/client_manager.h"

#include <windows.h>

#include "app/config_manager.h"
#include "app/download_manager.h"
#include "app/instance_wnd_manager.h"
#include "app/main_wnd_manager.h"
#include "app/package_extraction.h"
#include "app/report_manager.h"
#include "app/skin_manager.h"
#include "app/tray_manager.h"
#include "base/controller.h"
#include "base/file_util.h"
#include "base/message_loop.h"
#include "base/process_util.h"
#include "base/scoped_handle.h"
#include "log/log.h"
#include "upp/timer_queue.h"

namespace korvan {
namespace {

constexpr int kQuitDelayMs = 1000;

std::wstring OwnExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// Owns the named mutex; closing the handle (never an explicit release) lets
// the next copy of the program run.
struct SingleInstanceGuard {
  bool another_instance = false;
  base::ScopedHandle mutex;
};

}  // namespace

class ClientManager::Pimpl : public Upp::Pte<Pimpl> {
 public:
  bool Start(const std::wstring& command_line);
  void Stop();
  void Restart();
  void InstallExe();
  bool another_instance() const { return another_instance_; }

 private:
  void TestSingleInstance();
  void TerminateStaleCopies();
  // The stop path without the delayed quit; false when it already ran.
  bool ReleaseAll();

  std::unique_ptr<SingleInstanceGuard> guard_;
  std::wstring command_line_;
  bool another_instance_ = false;  // outlives the guard, which goes at once
  bool stopping_ = false;
};

bool ClientManager::Pimpl::Start(const std::wstring& command_line) {
  command_line_ = command_line;
  TestSingleInstance();
  another_instance_ = guard_->another_instance;
  if (another_instance_) {
    base::SetExiting();
    guard_.reset();
    PostQuitMessage(0);
    return false;
  }
  TerminateStaleCopies();
  GetLogicObject<SkinManager>()->LoadSkin();
  GetLogicObject<InstanceWndManager>()->CreateGuardWindow();
  GetLogicObject<MainWndManager>()->ShowMainWindow();
  KV_LOG_MESSAGE << "korvan::ClientManager::Start 主窗口已显示";
  // The window's first frame is on screen by now; what the player does not
  // see (the launch report builds a machine identifier, the tray talks to
  // the shell) waits for the message loop instead of delaying it.
  Upp::SetTimeCallback(0, [] {
    if (base::IsExiting() || !base::GetController()) return;
    KV_LOG_MESSAGE << "korvan::ClientManager::Start 上报启动并显示托盘";
    GetLogicObject<ReportManager>()->ReportLaunch();
    GetLogicObject<TrayManager>()->ShowTray();
  }, this);
  return true;
}

void ClientManager::Pimpl::TestSingleInstance() {
  guard_ = std::make_unique<SingleInstanceGuard>();
  guard_->mutex.Reset(CreateMutexW(nullptr, TRUE, kInstanceName));
  if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  guard_->another_instance = true;
  if (HWND running = FindWindowW(kInstanceName, nullptr)) {
    PostMessageW(running, kWakeUpMessage, 0, 0);
  }
}

void ClientManager::Pimpl::TerminateStaleCopies() {
  // Copies that hold no mutex are hung leftovers (for example after a crash).
  const DWORD self = GetCurrentProcessId();
  for (DWORD pid : base::FindProcessesByName(kProcessImageName)) {
    if (pid != self) base::TerminateProcessById(pid);
  }
}

bool ClientManager::Pimpl::ReleaseAll() {
  if (stopping_) return false;
  stopping_ = true;
  base::SetExiting();
  GetLogicObject<InstanceWndManager>()->DestroyGuardWindow();
  GetLogicObject<DownloadManager>()->ReleaseEngine();
  GetLogicObject<TrayManager>()->RemoveTray();
  guard_.reset();
  return true;
}

void ClientManager::Pimpl::Stop() {
  if (!ReleaseAll()) return;
  Upp::SetTimeCallback(kQuitDelayMs, [] { PostQuitMessage(0); }, this);
}

void ClientManager::Pimpl::InstallExe() {
  // Once the installer runs (or the program ends otherwise), the second
  // before the quit must not start it again: the install button is still
  // on screen and the finished download calls here by itself too.
  if (stopping_) return;
  const std::wstring installer = GetLogicObject<ConfigManager>()->GetInstallerPath();
  // Only the file the engine verified in this run is started, and only
  // while it is still held as it was then: after a failed transfer or check
  // whatever lies at that path (an older installer, a part) is unchecked,
  // and the panel keeps its error and retry button.
  DownloadManager* download = GetLogicObject<DownloadManager>();
  switch (download->CheckHandOff(installer)) {
    case DownloadManager::HandOff::kVerified:
      break;
    case DownloadManager::HandOff::kNotVerified:
      KV_LOG_MESSAGE << "InstallExe未启动，安装包未在本次校验通过，current_state_:" << download->CurrentState();
      return;
    case DownloadManager::HandOff::kUnavailable:
      KV_LOG_ERROR << "InstallExe未启动，校验过的安装包已不可用 cmd_line:" << installer;
      GetLogicObject<MainWndManager>()->ShowMessage(L"安装包已被移动或占用，请重新运行下载器",
                                                    L"安装包启动失败");
      return;
  }
  GetLogicObject<ReportManager>()->ReportInstallStep();
  // Quoted: an unquoted path with spaces lets CreateProcess try, and run,
  // a planted "D:\My.exe" before "D:\My Games\...".
  const std::wstring command_line = L"\"" + installer + L"\"";
  if (base::RunCommand(command_line, SW_SHOWNORMAL, 0)) {
    KV_LOG_MESSAGE << "InstallExe启动成功 cmd_line:" << installer;
    Stop();
    return;
  }
  const DWORD error = GetLastError();
  KV_LOG_ERROR << "InstallExe启动失败, error_code:" << error << " cmd_line:" << installer;
  GetLogicObject<MainWndManager>()->ShowMessage(L"请尝试手动运行游戏安装程序KorvanInstall.exe",
                                                L"安装包启动失败");
  base::OpenInstallFolder();
}

void ClientManager::Pimpl::Restart() {
  ReleaseAll();
  if (base::SyncCreateProcess(OwnExecutablePath(), L"", false, L"")) {
    KV_LOG_MESSAGE << "重启下载器成功";
  } else {
    KV_LOG_ERROR << "重启下载器失败";
  }
  base::SetExiting();
  PostQuitMessage(0);
}

ClientManager::ClientManager() : pimpl_(std::make_unique<Pimpl>()) {}
ClientManager::~ClientManager() = default;

bool ClientManager::Start(const std::wstring& command_line) { return pimpl_->Start(command_line); }
void ClientManager::Stop() { pimpl_->Stop(); }
void ClientManager::Restart() { pimpl_->Restart(); }
void ClientManager::InstallExe() { pimpl_->InstallExe(); }

bool ClientManager::PreparePackages() {
  // Touches no state of this manager: files and processes only.
  return korvan::PreparePackages();
}
bool ClientManager::IsAnotherInstance() const { return pimpl_->another_instance(); }

}  // namespace korvan
