#include "ctrls/animate_timer.h"

#include <algorithm>

#include "ctrls/animation_clock.h"
#include "upp/timer_queue.h"
#include "upp/toolkit.h"

namespace ctrls {

AnimateTimer::~AnimateTimer() { Upp::KillTimeCallback(this); }

int AnimateTimer::EaseOut(int elapsed, int duration) {
  if (duration <= 0 || elapsed >= duration) return duration;
  if (elapsed <= 0) return 0;
  const int64_t num = static_cast<int64_t>(elapsed) * (2LL * duration - elapsed);
  return static_cast<int>((num + duration / 2) / duration);
}

void AnimateTimer::Start() {
  UPP_CHECK_UI_THREAD();
  Upp::KillTimeCallback(this);
  start_ = AnimationNow();
  finished_ = false;
  running_ = true;
  Upp::Ptr<AnimateTimer> alive(this);
  WhenStart();
  if (!alive || !running_) return;
  Upp::SetTimeCallback(tick_, Upp::Bind(this, &AnimateTimer::Tick), this);
}

void AnimateTimer::Stop(bool call_end) {
  Upp::KillTimeCallback(this);
  const bool was_running = running_;
  start_ = 0;
  finished_ = false;
  running_ = false;
  if (call_end && was_running) WhenEnd();
}

void AnimateTimer::Tick() {
  if (!running_) return;
  const uint64_t now = AnimationNow();
  if (now < start_) return;
  if (!finished_) {
    int e = static_cast<int>(std::min<uint64_t>(now - start_, 0x7FFFFFFF));
    if (e < duration_) {
      if (mode_ == kEaseOut) e = EaseOut(e, duration_);
    } else {
      finished_ = true;
      e = duration_;
    }
    Upp::SetTimeCallback(tick_, Upp::Bind(this, &AnimateTimer::Tick), this);
    WhenStep(std::min(e, duration_), duration_);
    return;
  }
  // The tick after the last step.
  Upp::KillTimeCallback(this);
  start_ = 0;
  finished_ = false;
  running_ = false;
  WhenEnd();
}

}  // namespace ctrls
