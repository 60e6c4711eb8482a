// Time-based animation of one duration: WhenStep(elapsed, duration) every
// tick (30 ms by default) with the wall-clock time since Start, linear or
// eased out, then WhenEnd on the tick after the step that reported the full
// duration. A late timer shortens nothing and queues nothing: the next step
// simply reports more elapsed time.
//
// IMPORTANT: Thread-safety. User-interface thread only. The timer is killed
// when the object dies; callbacks bound to dead objects do nothing.
#pragma once

#include <cstdint>

#include "upp/callback.h"
#include "upp/ptr.h"

namespace ctrls {

class AnimateTimer : public Upp::Pte<AnimateTimer> {
 public:
  enum Mode { kLinear = 0, kEaseOut = 1 };

  AnimateTimer() = default;
  virtual ~AnimateTimer();
  AnimateTimer(const AnimateTimer&) = delete;
  AnimateTimer& operator=(const AnimateTimer&) = delete;

  Upp::Callback WhenStart;
  Upp::Callback WhenEnd;
  Upp::Callback2<int, int> WhenStep;  // (elapsed ms, duration ms)

  AnimateTimer& SetDuration(int ms) { duration_ = ms < 0 ? 0 : ms; return *this; }
  AnimateTimer& SetMode(Mode mode) { mode_ = mode; return *this; }
  AnimateTimer& SetTick(int ms) { tick_ = ms < 1 ? 1 : ms; return *this; }
  int GetDuration() const { return duration_; }
  int GetTick() const { return tick_; }
  bool IsRunning() const { return running_; }

  void Start();
  // With `call_end` the end callback runs as if the animation had finished.
  void Stop(bool call_end = false);

  // One timer tick (the timer calls it; tests call it directly).
  void Tick();

  // Ease-out progress: e x (2d - e) / d, rounded; d at and past the end.
  static int EaseOut(int elapsed, int duration);

 private:
  int duration_ = 0;
  uint64_t start_ = 0;
  Mode mode_ = kLinear;
  int tick_ = 30;
  bool finished_ = false;
  bool running_ = false;
};

}  // namespace ctrls
