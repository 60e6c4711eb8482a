#include "ctrls/fade_window.h"

#include "upp/timer_queue.h"
#include "upp/toolkit.h"

namespace ctrls {

FadeWindow::FadeWindow() { ex_style_ = WS_EX_LAYERED | WS_EX_TOOLWINDOW; }

FadeWindow::~FadeWindow() { Upp::KillTimeCallback(&step_); }

void FadeWindow::FadeIn() {
  UPP_CHECK_UI_THREAD();
  step_ = 0;
  SetAlpha(0);
  GetContent().Refresh();
  Show();
  fading_ = true;
  Upp::KillTimeCallback(&step_);
  Upp::SetTimeCallback(interval_, Upp::Bind(this, &FadeWindow::FadeTick), &step_);
}

void FadeWindow::FadeTick() {
  if (!fading_) return;
  Upp::KillTimeCallback(&step_);
  ++step_;
  if (step_ > steps_) {
    StopFade();
    return;
  }
  SetAlpha(step_ * max_alpha_ / steps_);
  GetContent().Refresh();
  if (step_ == steps_ && stay_) {
    StopFade();
    return;
  }
  Upp::SetTimeCallback(interval_, Upp::Bind(this, &FadeWindow::FadeTick), &step_);
}

void FadeWindow::StopFade() {
  Upp::KillTimeCallback(&step_);
  fading_ = false;
}

void FadeWindow::Close() {
  StopFade();
  WhenFadeClose();
  TopWindow::Close();
}

}  // namespace ctrls
