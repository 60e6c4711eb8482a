// The content of the main window: fills the whole 685 x 494 window over its
// skinned background and carries the download area (ProgressPanel at
// (37, 328), 618 x 100) and the three logos along the bottom edge (portal
// at x 57, partner at x 173, social page 49 from the right; bottoms at
// y 471), each opening its page in the user's browser.
//
// The panel is transparent to the mouse where it has no control, so the
// window's drag strip and background stay reachable through it.
//
// Ownership: owns the progress panel and the logos.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <memory>
#include <string>

#include "app/ui/progress_panel.h"
#include "ctrls/cursor_ctrl.h"
#include "ctrls/image_ctrl.h"
#include "ctrls/panel.h"
#include "upp/callback.h"
#include "upp/signal.h"

namespace korvan {

class MainPanel : public ctrls::Panel<Upp::Ctrl>, public sigslot::has_slots<sigslot::single_threaded> {
 public:
  static constexpr int kWidth = 685;
  static constexpr int kHeight = 494;

  // With the real managers behind the progress panel.
  MainPanel();
  // With `progress` as the progress panel (tests).
  explicit MainPanel(std::unique_ptr<ProgressPanel> progress);
  ~MainPanel() override;

  // Opens a web page; base::OpenUrlInBrowser unless replaced (tests).
  Upp::Callback1<std::wstring> WhenOpenUrl;

  // The pages behind the logos.
  static std::wstring PortalUrl();
  static std::wstring GameSiteUrl();
  static std::wstring SocialUrl();

  ProgressPanel& progress() { return *progress_; }
  ctrls::CursorCtrl<ctrls::ImageCtrl>& portal_logo() { return portal_; }
  ctrls::CursorCtrl<ctrls::ImageCtrl>& partner_logo() { return partner_; }
  ctrls::CursorCtrl<ctrls::ImageCtrl>& social_logo() { return social_; }

  // Places the children for a panel of the given size (the window's).
  void Layout() override;
  bool IsMouseTransparent() const override { return true; }

 private:
  void Open(const std::wstring& url) { WhenOpenUrl(url); }

  std::unique_ptr<ProgressPanel> progress_;
  ctrls::CursorCtrl<ctrls::ImageCtrl> portal_;
  ctrls::CursorCtrl<ctrls::ImageCtrl> partner_;
  ctrls::CursorCtrl<ctrls::ImageCtrl> social_;
};

}  // namespace korvan
