#include "app/main_wnd_manager.h"

#include "app/download_manager.h"
#include "app/skin_manager.h"
#include "upp/timer_queue.h"
#include "base/controller.h"
#include "log/log.h"

namespace korvan {

MainWndManager::~MainWndManager() = default;

void MainWndManager::Activate() {
  ++activation_count_;
  KV_LOG_MESSAGE << "korvan::MainWndManager::Activate";
}

}  // namespace korvan

namespace korvan {

void MainWndManager::ShowMessage(const std::wstring& text, const std::wstring& caption) {
  const std::wstring title =
      caption.empty() ? GetLogicObject<SkinManager>()->GetWindowCaption() : caption;
  MessageBoxW(main_window(), text.c_str(), title.c_str(), MB_OK);
}

}  // namespace korvan

namespace korvan {

void MainWndManager::ShowMainWindow() {
  Upp::SetTimeCallback(0, [] { GetLogicObject<DownloadManager>()->Initialize(); }, this);
}

}  // namespace korvan
