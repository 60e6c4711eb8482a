#include "app/main_wnd_manager.h"

#include "app/download_manager.h"
#include "app/skin_manager.h"
#include "app/ui/main_wnd.h"
#include "app/ui/middle_wnd.h"
#include "base/controller.h"
#include "log/log.h"
#include "upp/callback.h"
#include "upp/timer_queue.h"

namespace korvan {
namespace {

// Raises `hwnd` above other programs: shown, restored, its last active
// popup in the foreground, then topmost and at once not topmost again.
void BringForward(HWND hwnd) {
  if (!IsWindowVisible(hwnd)) ShowWindow(hwnd, SW_SHOW);
  if (IsIconic(hwnd)) SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  SetForegroundWindow(GetLastActivePopup(hwnd));
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

}  // namespace

class MainWndManager::Pimpl : public Upp::Pte<Pimpl> {
 public:
  void HideNow() {
    if (HWND main = Handle<MainWnd>()) ShowWindow(main, SW_HIDE);
    if (HWND middle = Handle<MiddleWnd>()) ShowWindow(middle, SW_HIDE);
  }

  template <class W>
  static HWND Handle() {
    if (!base::GetController() || !HasUIObject(base::TypeKey<W>())) return nullptr;
    HWND hwnd = GetUIObject<W>()->GetHWND();
    return hwnd && IsWindow(hwnd) ? hwnd : nullptr;
  }

  int reserved_ = 0;
  HWND middle_ = nullptr;
  POINT middle_offset_ = {kMiddleOffsetX, kMiddleOffsetY};
  SIZE middle_size_ = {kMiddleWidth, kMiddleHeight};
  uint8_t flags_ = 0;
};

MainWndManager::MainWndManager() : pimpl_(std::make_unique<Pimpl>()) {}

MainWndManager::~MainWndManager() { Upp::KillTimeCallback(this); }

void MainWndManager::ShowMainWindow() {
  if (!CreateWindows()) {
    KV_LOG_ERROR << "korvan::MainWndManager::ShowMainWindow 创建主窗口失败";
    return;
  }
  Activate();
  Upp::SetTimeCallback(0, [] { GetLogicObject<DownloadManager>()->Initialize(); }, this);
}

bool MainWndManager::CreateWindows() {
  MainWnd* main = GetUIObject<MainWnd>();
  if (!main->Create(nullptr)) return false;
  ShowWindow(main->GetHWND(), SW_SHOW);
  HWND main_hwnd = main->GetHWND();
  if (!main_hwnd) return false;
  // The first frame now rather than at the next coalesced refresh: players
  // judge the program by how soon its window appears.
  main->UpdateScreenNow();
  MiddleWnd* middle = GetUIObject<MiddleWnd>();
  if (!middle->Create(main_hwnd)) return false;
  pimpl_->middle_ = middle->GetHWND();
  RECT r;
  GetWindowRect(main_hwnd, &r);
  const int left = r.left + pimpl_->middle_offset_.x;
  const int top = r.top + pimpl_->middle_offset_.y;
  middle->SetRect(left, top, left + pimpl_->middle_size_.cx, top + pimpl_->middle_size_.cy);
  ShowWindow(pimpl_->middle_, SW_SHOW);
  return true;
}

void MainWndManager::Activate() {
  ++activation_count_;
  KV_LOG_MESSAGE << "korvan::MainWndManager::Activate";
  HWND main = GetMainWindowHandle();
  if (!main) return;
  BringForward(main);
  if (HWND middle = GetMiddleWindowHandle()) ShowWindow(middle, SW_SHOW);
}

void MainWndManager::HideWindows() {
  Upp::SetTimeCallback(1, Upp::Bind(pimpl_.get(), &Pimpl::HideNow), this);
}

void MainWndManager::FollowMainWindow() {
  HWND middle = GetMiddleWindowHandle();
  HWND main = GetMainWindowHandle();
  if (!middle || !main) return;
  RECT r;
  if (!GetWindowRect(main, &r)) return;
  SetWindowPos(middle, nullptr, r.left + pimpl_->middle_offset_.x, r.top + pimpl_->middle_offset_.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND MainWndManager::GetMainWindowHandle() const { return Pimpl::Handle<MainWnd>(); }

HWND MainWndManager::GetMiddleWindowHandle() const { return Pimpl::Handle<MiddleWnd>(); }

void MainWndManager::ShowMessage(const std::wstring& text, const std::wstring& caption) {
  if (message_sink_) {
    message_sink_(text, caption);
    return;
  }
  const std::wstring title = caption.empty() ? GetLogicObject<SkinManager>()->GetWindowCaption() : caption;
  MessageBoxW(GetMainWindowHandle(), text.c_str(), title.c_str(), MB_OK);
}

}  // namespace korvan
