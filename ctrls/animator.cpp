#include "ctrls/animator.h"

#include <algorithm>

#include "ctrls/animation_clock.h"
#include "upp/timer_queue.h"
#include "upp/toolkit.h"

namespace ctrls {

Animator::Animator(Upp::Ctrl* target) { SetTarget(target); }

Animator::~Animator() { Upp::KillTimeCallback(this); }

Animator* Animator::New(Upp::Ctrl* target) {
  auto* a = new Animator(target);  // owns itself: deleted by DestroySelf
  a->on_heap_ = true;
  return a;
}

Animator& Animator::SetTarget(Upp::Ctrl* target) {
  target_ = target;
  has_target_ = target != nullptr;
  return *this;
}

Animator& Animator::SetCount(int count) {
  count_ = std::max(1, count);
  return *this;
}

Animator& Animator::SetInterval(int ms) {
  interval_ = std::max(1, ms);
  return *this;
}

void Animator::Start() {
  UPP_CHECK_UI_THREAD();
  Upp::KillTimeCallback(this);
  start_ = AnimationNow();
  frame_ = -1;
  running_ = true;
  Upp::SetTimeCallback(-interval_, Upp::Bind(this, &Animator::Tick), this);
  Tick();
}

void Animator::Stop() {
  Upp::KillTimeCallback(this);
  frame_ = -1;
  running_ = false;
}

bool Animator::IsTargetValid() const { return !has_target_ || target_.Get() != nullptr; }

void Animator::DestroySelf() {
  Stop();
  if (on_heap_) delete this;
}

void Animator::Tick() {
  if (!running_) return;
  const uint64_t now = AnimationNow();
  ++frame_;
  // Frames whose time has passed while the timer was late are skipped.
  while (static_cast<uint64_t>(frame_ + 1) * interval_ + start_ < now) ++frame_;
  frame_ = std::min(frame_, count_);
  if (!IsTargetValid()) {
    DestroySelf();
    return;
  }
  Upp::Ptr<Animator> alive(this);
  if (frame_ == 0) {
    WhenStart();
    if (!alive || !running_) return;
  }
  if (frame_ >= count_) {
    // Stop first: the end callback may start us again.
    Upp::KillTimeCallback(this);
    frame_ = -1;
    running_ = false;
    WhenEnd();
    if (alive && delete_when_done_ && !running_) DestroySelf();
    return;
  }
  WhenStep(target_.Get(), frame_, count_);
  if (alive && running_) OnStep(frame_);
}

}  // namespace ctrls
