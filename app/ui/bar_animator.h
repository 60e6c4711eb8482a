// Moves the progress bar smoothly from where it is to a new value: linear,
// 2000 ms, a step every 30 ms, driven by the wall clock (a late timer skips
// steps, it never stretches the move). It only ever moves forward: a start
// whose target is not above the current value does nothing, so a late or
// repeated progress report never runs the bar backwards. A start toward the
// target a running move already heads for keeps that move: progress reports
// arrive faster than 2000 ms, and restarting on each unchanged one (a paused
// download) would leave the bar creeping behind its figures for seconds.
//
// Each step reports (from + (to - from) x elapsed / 2000, total) in integer
// arithmetic, the last step exactly `to`, and the end reports (to, total)
// once more. Stop leaves the bar where the last step put it.
//
// IMPORTANT: Thread-safety. User-interface thread only. The timer dies with
// the object.
#pragma once

#include <cstdint>

#include "ctrls/animate_timer.h"
#include "upp/callback.h"
#include "upp/ptr.h"

namespace korvan {

class BarAnimator : public Upp::Pte<BarAnimator> {
 public:
  static constexpr int kDurationMs = 2000;
  static constexpr int kTickMs = 30;

  BarAnimator();
  BarAnimator(const BarAnimator&) = delete;
  BarAnimator& operator=(const BarAnimator&) = delete;

  // (value, total) for the bar.
  Upp::Callback2<uint32_t, uint32_t> WhenValue;

  // False (and nothing changes) when `from` is not below `to`; true and
  // nothing changes when a running move already heads for (to, total).
  bool Start(uint32_t from, uint32_t to, uint32_t total);
  void Stop();
  bool IsRunning() const { return timer_.IsRunning(); }

  // The animation's timer (tests step it with a fake animation clock).
  ctrls::AnimateTimer& timer() { return timer_; }

  // The value after `elapsed` of `duration` ms between from and to.
  static uint32_t ValueAt(uint32_t from, uint32_t to, int elapsed, int duration);

 private:
  void OnStep(int elapsed, int duration);
  void OnEnd();

  uint32_t from_ = 0;
  uint32_t to_ = 0;
  uint32_t total_ = 0;
  ctrls::AnimateTimer timer_;
};

}  // namespace korvan
