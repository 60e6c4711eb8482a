// korvan::IELoading: what the web page panel shows while the page is not
// there: the skin's 12-frame spinner "loading.png" (50 ms a frame, 104 x
// 104, centred horizontally, its centre 40 pixels above the panel's
// vertical centre) and the text image "loading_web_txt.png" at its natural
// size, centred horizontally, its centre 40 pixels below the vertical
// centre. Missing skin images draw nothing.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/crop_animation_ctrl.h"
#include "ctrls/image_ctrl.h"
#include "ctrls/panel.h"

namespace korvan {

class IELoading : public ctrls::Panel<Upp::Ctrl> {
 public:
  static constexpr int kFrames = 12;
  static constexpr int kFrameMs = 50;
  static constexpr int kSpinnerSize = 104;
  static constexpr int kOffsetFromCentre = 40;

  IELoading();

  void Play() { spinner_.Play(); }
  void Stop() { spinner_.Stop(); }
  bool IsPlaying() const { return spinner_.IsPlaying(); }
  const ctrls::CropAnimationCtrl& Spinner() const { return spinner_; }
  const ctrls::ImageCtrl& Text() const { return text_; }

  void Layout() override;

 private:
  ctrls::CropAnimationCtrl spinner_;
  ctrls::ImageCtrl text_;
  Upp::Size text_size_;
};

}  // namespace korvan
