#include "app/ui/main_wnd.h"

#include "app/main_wnd_manager.h"
#include "app/skin_manager.h"
#include "base/controller.h"

namespace korvan {

MainWnd::MainWnd() : MainWnd(std::make_unique<MainPanel>()) {}

MainWnd::MainWnd(std::unique_ptr<MainPanel> main_panel) {
  SetRegistryKey(base::TypeKey<MainWnd>());
  top_panel_ = std::make_unique<TopPanel>();
  main_panel_ = std::move(main_panel);
  // The task-bar button minimises and restores the window.
  MinimizeBox();
  SetStyle("mainwnd");
  const SIZE size = GetSize();
  main_panel_->SetRect(0, 0, size.cx > 0 ? size.cx : MainPanel::kWidth,
                       size.cy > 0 ? size.cy : MainPanel::kHeight);
  Add(*main_panel_);
  top_panel_->SetRect(kTopPanelX, kTopPanelY, TopPanel::kWidth, TopPanel::kHeight);
  Add(*top_panel_);
}

MainWnd::~MainWnd() {
  if (big_icon_) DestroyIcon(big_icon_);
}

void MainWnd::OnInit() {
  AnimateLayeredWindowImpl::OnInit();
  SetWindowTextW(GetHWND(), GetLogicObject<SkinManager>()->GetWindowCaption().c_str());
  if (!big_icon_) {
    big_icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                              GetSystemMetrics(SM_CYICON), 0));
  }
  if (big_icon_) SendMessageW(GetHWND(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
}

void MainWnd::OnLeftPress(Upp::Point) { ::SetFocus(GetHWND()); }

void MainWnd::OnBridgeHook() { GetLogicObject<MainWndManager>()->FollowMainWindow(); }

void MainWnd::Close() { GetLogicObject<MainWndManager>()->HideWindows(); }

bool MainWnd::ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  const bool handled = AnimateLayeredWindowImpl::ProcessMessage(msg, wparam, lparam, result);
  if (msg == WM_MOVE) OnBridgeHook();
  return handled;
}

}  // namespace korvan
