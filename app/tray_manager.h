// The program's notification-area icon and its popup menu. Closing the
// main window only hides it, so the icon is how the user gets the window
// back (left click, or "打开下载器") or ends the program ("关闭").
//
// A right click opens a fresh 150 x 60 layered menu whose bottom-right
// corner is at the cursor; a right click while a menu is remembered closes
// that one and opens a new one on the next timer pass, so exactly one menu
// shows, at the latest click.
//
// Ownership: owns the icon and the open menu. RemoveTray removes the icon
// once (the shell call is slow under some hosts; it is never repeated).
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <memory>

#include "base/logic_object.h"
#include "ctrls/tray_icon.h"

namespace ctrls {
class LayeredMenu;
}

namespace korvan {

class TrayManager : public base::LogicObject {
 public:
  static constexpr int kMenuWidth = 150, kMenuHeight = 60;
  static constexpr int kMenuItemHeight = 25;

  TrayManager();
  ~TrayManager() override;

  // Creates the icon with the skin image "tray" and the tip "Korvan下载器".
  void ShowTray();
  // Removes the icon from the notification area (and any open menu).
  void RemoveTray();

  // Right button released on the icon.
  void ShowMenu();
  // 0: bring the windows back; 1: stop the program.
  void OnMenuSelect(int index);

  // For tests: the shell call of icons made from now on.
  void SetNotifyForTesting(ctrls::TrayIcon::NotifyFn notify);
  ctrls::TrayIcon* tray_icon() const;
  ctrls::LayeredMenu* open_menu() const;

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
