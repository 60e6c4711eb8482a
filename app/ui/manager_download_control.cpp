#include "app/ui/manager_download_control.h"

#include "app/client_manager.h"
#include "app/config_manager.h"
#include "app/download_manager.h"
#include "app/main_wnd_manager.h"
#include "app/ui/folder_chooser.h"
#include "app/ui/progress_panel.h"
#include "base/controller.h"
#include "base/file_util.h"
#include "upp/timer_queue.h"

namespace korvan {

void ManagerDownloadControl::Connect(ProgressPanel& panel) {
  DownloadManager* dm = GetLogicObject<DownloadManager>();
  dm->StateChanged.connect(&panel, &ProgressPanel::OnStateChanged);
  dm->Progress.connect(&panel, &ProgressPanel::OnProgress);
  dm->Finished.connect(&panel, &ProgressPanel::OnFinished);
  dm->Error.connect(&panel, &ProgressPanel::OnError);
  dm->Status.connect(&panel, &ProgressPanel::SetStatus);
  GetLogicObject<ConfigManager>()->InstallRootChanged.connect(&panel, &ProgressPanel::OnFolderChanged);
}

int32_t ManagerDownloadControl::CurrentState() { return GetLogicObject<DownloadManager>()->CurrentState(); }
void ManagerDownloadControl::StartDownload() { GetLogicObject<DownloadManager>()->StartDownload(); }
bool ManagerDownloadControl::PauseDownload() { return GetLogicObject<DownloadManager>()->PauseDownload(); }
bool ManagerDownloadControl::ResumeDownload() { return GetLogicObject<DownloadManager>()->ResumeDownload(); }
void ManagerDownloadControl::RetryDownload() { GetLogicObject<DownloadManager>()->RetryDownload(); }
void ManagerDownloadControl::Restart() { GetLogicObject<ClientManager>()->Restart(); }
void ManagerDownloadControl::InstallExe() { GetLogicObject<ClientManager>()->InstallExe(); }

std::wstring ManagerDownloadControl::GetInstallRoot() {
  return GetLogicObject<ConfigManager>()->GetInstallRoot();
}

void ManagerDownloadControl::SetInstallRoot(const std::wstring& path) {
  GetLogicObject<ConfigManager>()->SetInstallRoot(path, false);
}

bool ManagerDownloadControl::ChooseFolder(const std::wstring& initial, std::wstring* chosen) {
  return korvan::ChooseFolder(GetLogicObject<MainWndManager>()->GetMainWindowHandle(), initial, chosen);
}

void ManagerDownloadControl::OpenInstallFolder() { base::OpenInstallFolder(); }

void ManagerDownloadControl::Schedule(int delay_ms, Upp::Callback action, const void* owner) {
  Upp::SetTimeCallback(delay_ms, std::move(action), owner);
}

}  // namespace korvan
