// Two timed phases run one after the other (the pop-in and pop-out of
// animated windows): phase 1 for its duration with WhenStep1/WhenEnd1, then,
// on the next pass of the message loop, phase 2 with WhenStep2/WhenEnd2.
// Each phase is a ctrls::AnimateTimer with a 30 ms tick, so its last step
// always reports the full duration.
//
// IMPORTANT: Thread-safety. User-interface thread only. Stopping (or
// destroying) cancels both phases and the pending hand-over.
#pragma once

#include "ctrls/animate_timer.h"
#include "upp/callback.h"
#include "upp/ptr.h"

namespace base {

class MultiSecAnimate2 : public Upp::Pte<MultiSecAnimate2> {
 public:
  MultiSecAnimate2();
  ~MultiSecAnimate2();
  MultiSecAnimate2(const MultiSecAnimate2&) = delete;
  MultiSecAnimate2& operator=(const MultiSecAnimate2&) = delete;

  Upp::Callback2<int, int> WhenStep1, WhenStep2;  // (elapsed, duration)
  Upp::Callback WhenEnd1, WhenEnd2;

  MultiSecAnimate2& SetDurations(int phase1_ms, int phase2_ms);
  MultiSecAnimate2& SetTick(int ms);

  void Start();
  void Stop();
  bool IsRunning() const { return phase_ != 0; }
  // 0 idle, 1 or 2 while that phase runs (2 also while it waits to start).
  int GetPhase() const { return phase_; }
  ctrls::AnimateTimer& Phase(int index) { return index == 1 ? first_ : second_; }

 private:
  void OnEnd1();
  void OnEnd2();
  void StartSecond();

  ctrls::AnimateTimer first_;
  ctrls::AnimateTimer second_;
  int phase_ = 0;
};

}  // namespace base
