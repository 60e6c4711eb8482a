#include "ctrls/shadow_border.h"

namespace ctrls {

void ShadowBorder::ShadowOnSize(HWND host) {
  if (!host || !IsWindow(host)) return;
  shadow_host_ = host;
  if (!shadow_ && shadow_enabled_) {
    const Upp::Image image = GetShadowImage();
    auto shadow = std::make_unique<ShadowFrameWnd>();
    if (!shadow->Create(host, image)) return;
    shadow_ = std::move(shadow);
  }
  if (shadow_) shadow_->Place();
}

void ShadowBorder::ShadowOnMove() {
  if (shadow_) shadow_->Follow();
}

void ShadowBorder::ShadowOnShow(bool show) {
  if (shadow_ && shadow_->IsOpen())
    PostMessageW(shadow_->GetHWND(), ShadowFrameWnd::kShowMessage, show ? 1 : 0, 0);
}

}  // namespace ctrls
