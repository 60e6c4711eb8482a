#include "app/download_manager.h"

#include "app/client_manager.h"
#include "app/main_wnd_manager.h"
#include "app/thread_manager.h"
#include "base/controller.h"
#include "base/message_loop.h"
#include "base/post_to_ui.h"
#include "base/thread_pool.h"
#include "log/log.h"
#include "upp/callback.h"

namespace korvan {

class DownloadManager::Pimpl : public Upp::Pte<Pimpl> {
 public:
  explicit Pimpl(DownloadManager* owner) : owner_(owner) {}

  void Initialize() {
    KV_LOG_MESSAGE << "初始化下载模块";
    if (preparing_ || prepared_ || base::IsExiting()) return;
    preparing_ = true;
    Upp::Ptr<Pimpl> self(this);
    GetLogicObject<ThreadManager>()->DownloadPool()->Post([self] {
      // Worker: files and processes only; managers that exist are only read.
      const bool ok = GetLogicObject<ClientManager>()->PreparePackages();
      if (!ok) KV_LOG_ERROR << "释放模块组失败";
      base::PostToUI([self, ok] {
        if (Pimpl* p = self.Get()) p->OnPackagesPrepared(ok);
      });
    });
  }

 private:
  void OnPackagesPrepared(bool ok) {
    preparing_ = false;
    prepared_ = ok;
    if (!ok) {
      KV_LOG_ERROR << "下载模块加载失败";
      GetLogicObject<MainWndManager>()->ShowMessage(L"下载模块加载失败", L"");
    }
    owner_->PackagesPrepared.emit(ok);
  }

  DownloadManager* owner_;
  bool preparing_ = false;
  bool prepared_ = false;
};

DownloadManager::DownloadManager() : pimpl_(std::make_unique<Pimpl>(this)) {}
DownloadManager::~DownloadManager() = default;

void DownloadManager::Initialize() { pimpl_->Initialize(); }

void DownloadManager::ReleaseEngine() {}

}  // namespace korvan
