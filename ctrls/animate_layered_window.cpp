#include "ctrls/animate_layered_window.h"

#include "upp/toolkit.h"

namespace ctrls {

AnimateLayeredWindow::AnimateLayeredWindow() { anim_.SetTick(30); }

void AnimateLayeredWindow::EnablePopAnimation() {
  start_zoom_ = 0.88;
  zoom_up_ = 0.15;
  zoom_down_ = 0.03;
  close_zoom_ = 1.05;
  start_alpha_ = 64;
  alpha_swing_ = 120;
  enabled_ = true;
  GetContent().SetZoom(start_zoom_);
  GetContent().SetAlpha(start_alpha_);
}

void AnimateLayeredWindow::SetFrame(int alpha, double zoom) {
  GetContent().SetAlpha(alpha);
  GetContent().SetZoom(zoom);
  GetContent().Refresh();
}

void AnimateLayeredWindow::OnInit() {
  if (enabled_) AnimateOpen();
}

void AnimateLayeredWindow::AnimateOpen() {
  UPP_CHECK_UI_THREAD();
  GetContent().MarkDirty();  // one fresh snapshot serves every zoom frame
  SetFrame(start_alpha_, start_zoom_);
  anim_.SetDurations(kOpenPhase1Ms, kOpenPhase2Ms);
  anim_.WhenStep1 = Upp::Bind<int, int>(this, &AnimateLayeredWindow::OpenStep1);
  anim_.WhenEnd1 = Upp::Bind(this, &AnimateLayeredWindow::OpenEnd1);
  anim_.WhenStep2 = Upp::Bind<int, int>(this, &AnimateLayeredWindow::OpenStep2);
  anim_.WhenEnd2 = Upp::Bind(this, &AnimateLayeredWindow::OpenEnd2);
  anim_.Start();
}

void AnimateLayeredWindow::AnimateClose(int code) {
  UPP_CHECK_UI_THREAD();
  if (!enabled_) {
    OnCloseFinished(code);
    return;
  }
  enabled_ = false;  // a second close request during the animation is ignored
  close_code_ = code;
  GetContent().MarkDirty();
  anim_.SetDurations(kClosePhase1Ms, kClosePhase2Ms);
  anim_.WhenStep1 = Upp::Bind<int, int>(this, &AnimateLayeredWindow::CloseStep1);
  anim_.WhenEnd1 = Upp::Bind(this, &AnimateLayeredWindow::CloseEnd1);
  anim_.WhenStep2 = Upp::Bind<int, int>(this, &AnimateLayeredWindow::CloseStep2);
  anim_.WhenEnd2 = Upp::Bind(this, &AnimateLayeredWindow::CloseEnd2);
  anim_.Start();
}

void AnimateLayeredWindow::OpenStep1(int a, int b) {
  if (b <= 0) return;
  SetFrame(start_alpha_ + alpha_swing_ * a / b, start_zoom_ + zoom_up_ * a / b);
}

void AnimateLayeredWindow::OpenStep2(int a, int b) {
  if (b <= 0) return;
  const int from = start_alpha_ + alpha_swing_;
  const double zoom_from = start_zoom_ + zoom_up_;
  SetFrame(from + (255 - from) * a / b, zoom_from - (zoom_from - 1.0) * a / b);
}

void AnimateLayeredWindow::CloseStep1(int a, int b) {
  if (b <= 0) return;
  SetFrame(255 - alpha_swing_ * a / b, 1.0 - zoom_down_ * a / b);
}

void AnimateLayeredWindow::CloseStep2(int a, int b) {
  if (b <= 0) return;
  const int from = 255 - alpha_swing_;
  const double zoom_from = 1.0 - zoom_down_;
  SetFrame(from - from * a / b, zoom_from + (close_zoom_ - zoom_from) * a / b);
}

void AnimateLayeredWindow::CloseEnd2() {
  SetFrame(0, close_zoom_);
  enabled_ = true;
  OnCloseFinished(close_code_);
}

}  // namespace ctrls
