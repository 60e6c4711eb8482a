#include "app/tray_manager.h"

#include <vector>

#include "app/client_manager.h"
#include "app/main_wnd_manager.h"
#include "base/controller.h"
#include "ctrls/layered_menu.h"
#include "log/log.h"
#include "skin/skin_loader.h"
#include "upp/callback.h"
#include "upp/timer_queue.h"

namespace korvan {
namespace {

const wchar_t kTip[] = L"Korvan下载器";
const wchar_t kOpenItem[] = L"打开下载器";
const wchar_t kCloseItem[] = L"关闭";
constexpr Upp::Color kItemInk(0x33, 0x33, 0x33);

}  // namespace

class TrayManager::Pimpl : public Upp::Pte<Pimpl> {
 public:
  ~Pimpl() {
    Upp::KillTimeCallback(this);
    Upp::KillTimeCallback(&dying_);
  }

  void ShowTray() {
    if (icon_) return;
    icon_ = notify_ ? std::make_unique<ctrls::TrayIcon>(notify_) : std::make_unique<ctrls::TrayIcon>();
    icon_->Icon(skin::SkinLoader::Instance().Get<Upp::Image>("tray").value);
    icon_->Tip(kTip);
    icon_->Show(true);
    // The icon's own hidden window comes forward before the menu, so the
    // menu is dismissed like any popup of the foreground program.
    icon_->SetOwner(icon_->GetNotifyHWND());
    icon_->WhenBar = Upp::Bind(this, &Pimpl::ShowMenu);
    icon_->WhenLeftUp = [] { GetLogicObject<MainWndManager>()->Activate(); };
  }

  void RemoveTray() {
    CloseMenu();
    icon_.reset();  // the icon's destructor removes it, once
  }

  void ShowMenu() {
    if (!icon_ || !icon_->IsIconShown()) return;
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    if (!menu_) {
      menu_ = std::make_unique<ctrls::LayeredMenu>();
      menu_->NoActivate();
      menu_->WhenSelect = Upp::Bind<int>(this, &Pimpl::OnMenuSelect);
      menu_->SetItemHeight(kMenuItemHeight);
      menu_->AddItem(kOpenItem, kItemInk);
      menu_->AddItem(kCloseItem, kItemInk);
      const RECT r = {cursor.x - kMenuWidth, cursor.y - kMenuHeight, cursor.x, cursor.y};
      menu_->Popup(icon_->GetNotifyHWND(), r);
      return;
    }
    CloseMenu();
    Upp::SetTimeCallback(1, Upp::Bind(this, &Pimpl::ShowMenu), this);
  }

  void CloseMenu() {
    if (!menu_) return;
    if (menu_->IsOpen()) menu_->Close();
    // Deleted on a later pass: a menu's own message may still be on the stack.
    dying_.push_back(std::move(menu_));
    Upp::SetTimeCallback(1, Upp::Bind(this, &Pimpl::DeleteDying), &dying_);
  }

  void DeleteDying() { dying_.clear(); }

  void OnMenuSelect(int index) {
    if (index == 0) {
      GetLogicObject<MainWndManager>()->Activate();
    } else if (index == 1) {
      KV_LOG_MESSAGE << "korvan::TrayManager 托盘菜单退出";
      GetLogicObject<ClientManager>()->Stop();
    }
  }

  std::unique_ptr<ctrls::TrayIcon> icon_;
  std::unique_ptr<ctrls::LayeredMenu> menu_;
  SIZE menu_size_ = {kMenuWidth, kMenuHeight};
  std::vector<std::unique_ptr<ctrls::LayeredMenu>> dying_;
  ctrls::TrayIcon::NotifyFn notify_ = nullptr;
};

TrayManager::TrayManager() : pimpl_(std::make_unique<Pimpl>()) {}

TrayManager::~TrayManager() = default;

void TrayManager::ShowTray() { pimpl_->ShowTray(); }
void TrayManager::RemoveTray() { pimpl_->RemoveTray(); }
void TrayManager::ShowMenu() { pimpl_->ShowMenu(); }
void TrayManager::OnMenuSelect(int index) { pimpl_->OnMenuSelect(index); }
void TrayManager::SetNotifyForTesting(ctrls::TrayIcon::NotifyFn notify) { pimpl_->notify_ = notify; }
ctrls::TrayIcon* TrayManager::tray_icon() const { return pimpl_->icon_.get(); }
ctrls::LayeredMenu* TrayManager::open_menu() const { return pimpl_->menu_.get(); }

}  // namespace korvan
