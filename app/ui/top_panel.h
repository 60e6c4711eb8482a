// The three image links across the top of the main window (410 x 118, at
// (205, 50)): each opens a page of the game site through the launcher link
// page, with link numbers 1, 8 and 9.
//
// The panel itself is transparent to the mouse, so a press between or
// below its buttons still drags the window.
//
// Ownership: owns its buttons; styles belong to the skin reader.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/button.h"
#include "ctrls/cursor_ctrl.h"
#include "ctrls/panel.h"
#include "upp/callback.h"

namespace korvan {

class TopPanel : public ctrls::Panel<Upp::Ctrl> {
 public:
  static constexpr int kWidth = 410;
  static constexpr int kHeight = 118;
  static constexpr int kButtonWidth = 140;
  static constexpr int kButtonHeight = 38;
  static constexpr int kLinks[3] = {1, 8, 9};

  TopPanel();

  // Opens launcher link n; base::OpenLauncherLink unless replaced (tests).
  Upp::Callback1<int> WhenOpenLink;

  ctrls::CursorCtrl<ctrls::Button>& button(int i) { return buttons_[i]; }

  bool IsMouseTransparent() const override { return true; }

 private:
  void OnLink(int link) { WhenOpenLink(link); }

  ctrls::CursorCtrl<ctrls::Button> buttons_[3];
};

}  // namespace korvan
