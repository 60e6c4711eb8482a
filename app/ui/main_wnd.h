// The main window: a 685 x 494 per-pixel-alpha window (skin style
// "mainwnd") that carries the whole skinned interface, the top links
// (TopPanel at (205, 50)) over the content (MainPanel, the full window).
//
// It is never destroyed by the application: closing it (close button, Esc,
// the system's close) only hides the window set, and the program stays in
// the tray. Every move takes the middle window along
// (MainWndManager::FollowMainWindow).
//
// Ownership: owns its panels. Lives in the UI-object registry.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <memory>

#include "app/ui/main_panel.h"
#include "app/ui/object_window_impl.h"
#include "app/ui/top_panel.h"

namespace korvan {

class MainWnd : public AnimateLayeredWindowImpl {
 public:
  static constexpr int kTopPanelX = 205, kTopPanelY = 50;
  // The executable's icon resource.
  static constexpr int kIconResource = 128;

  // With the real managers (the registry's way).
  MainWnd();
  // With `main_panel` as the content (tests).
  explicit MainWnd(std::unique_ptr<MainPanel> main_panel);
  ~MainWnd() override;

  TopPanel& top_panel() { return *top_panel_; }
  MainPanel& main_panel() { return *main_panel_; }

  // Hooks of the window.
  void OnInit() override;
  void OnLeftPress(Upp::Point p) override;
  // The move hook: keeps the middle window glued.
  void OnBridgeHook() override;
  // Hides the window set instead of destroying the window.
  void Close() override;
  bool ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

 private:
  std::unique_ptr<TopPanel> top_panel_;
  std::unique_ptr<MainPanel> main_panel_;
  HICON big_icon_ = nullptr;
};

}  // namespace korvan
