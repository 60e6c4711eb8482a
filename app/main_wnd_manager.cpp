#include "app/main_wnd_manager.h"

#include "log/log.h"

namespace korvan {

MainWndManager::~MainWndManager() = default;

void MainWndManager::Activate() {
  ++activation_count_;
  KV_LOG_MESSAGE << "korvan::MainWndManager::Activate";
}

}  // namespace korvan
