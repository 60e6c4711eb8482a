// An AnimationCtrl whose frames are equal parts of one horizontal strip
// image (the loading spinner: 12 frames of 50 ms). Frame width is the strip
// width / n, truncated; frame i is (i x width, 0) of that width and the
// strip's height.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/animation_ctrl.h"

namespace ctrls {

class CropAnimationCtrl : public AnimationCtrl {
 public:
  CropAnimationCtrl& SetFrames(const Upp::Image& strip, int count, int duration_ms) {
    ClearFrames();
    if (count < 1 || strip.IsEmpty()) return *this;
    const int width = strip.GetWidth() / count;
    for (int i = 0; i < count; ++i)
      AddFrame(strip, Upp::Rect(i * width, 0, (i + 1) * width, strip.GetHeight()), duration_ms);
    return *this;
  }
};

}  // namespace ctrls
