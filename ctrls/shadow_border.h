// The mix-in that gives a top-level window its drop shadow: the window
// supplies the image, this part creates the shadow on the host's first
// size after the host exists and keeps it beside the host (size, move,
// show and hide).
//
// Ownership: owns the shadow window (created lazily, destroyed with this
// object). IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "ctrls/shadow_frame_wnd.h"
#include "upp/image.h"

namespace ctrls {

class ShadowBorder {
 public:
  ShadowBorder() = default;
  virtual ~ShadowBorder() = default;
  ShadowBorder(const ShadowBorder&) = delete;
  ShadowBorder& operator=(const ShadowBorder&) = delete;

  virtual Upp::Image GetShadowImage() = 0;

  void EnableShadow(bool on) { shadow_enabled_ = on; }
  bool IsShadowEnabled() const { return shadow_enabled_; }
  // The shadow's window, null until it exists.
  HWND GetShadowHWND() const { return shadow_ ? shadow_->GetHWND() : nullptr; }

 protected:
  void ShadowOnSize(HWND host);
  void ShadowOnMove();
  void ShadowOnShow(bool show);

 private:
  HWND shadow_host_ = nullptr;
  std::unique_ptr<ShadowFrameWnd> shadow_;
  bool shadow_enabled_ = true;
};

}  // namespace ctrls
