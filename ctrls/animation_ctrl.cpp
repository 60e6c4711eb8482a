#include "ctrls/animation_ctrl.h"

#include "upp/draw.h"
#include "upp/timer_queue.h"
#include "upp/toolkit.h"

namespace ctrls {

AnimationCtrl::~AnimationCtrl() { Upp::KillTimeCallback(this); }

AnimationCtrl& AnimationCtrl::AddFrame(const Upp::Image& image, int duration_ms) {
  AddFrame(image, Upp::Rect(Upp::Point(), image.GetSize()), duration_ms);
  return *this;
}

void AnimationCtrl::AddFrame(const Upp::Image& image, const Upp::Rect& source, int duration_ms) {
  frames_.push_back(Frame{image, source, duration_ms < 1 ? 1 : duration_ms});
}

void AnimationCtrl::ClearFrames() {
  Stop();
  frames_.clear();
  current_ = 0;
  Refresh();
}

void AnimationCtrl::Play() {
  UPP_CHECK_UI_THREAD();
  playing_ = true;
  Upp::Ptr<Upp::Ctrl> alive(this);
  WhenRunning(true);
  if (!alive) return;
  current_ = 0;
  Refresh();
  Schedule();
  Show();
}

void AnimationCtrl::Stop() {
  Upp::KillTimeCallback(this);
  if (!playing_) return;
  playing_ = false;
  WhenRunning(false);
}

void AnimationCtrl::Schedule() {
  Upp::KillTimeCallback(this);
  if (!playing_ || frames_.empty()) return;
  Upp::SetTimeCallback(frames_[current_].duration_ms, Upp::Bind(this, &AnimationCtrl::NextFrame), this);
}

void AnimationCtrl::NextFrame() {
  if (frames_.empty()) return;
  current_ = (current_ + 1) % static_cast<int>(frames_.size());
  Refresh();
  Schedule();
}

void AnimationCtrl::Paint(Upp::Draw& w) {
  if (frames_.empty()) return;
  const Frame& f = frames_[current_];
  w.DrawImage(GetView(), f.image, f.source);
}

}  // namespace ctrls
