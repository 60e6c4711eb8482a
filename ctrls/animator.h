// Frame animator: `count` frames `interval` ms apart, bound to one target
// control. Driven by wall-clock time: a tick that comes late skips the frames
// that were due meanwhile, so an animation never lasts longer than
// count x interval. Buttons keep one for their cross-fade.
//
// Lifetime: with delete-when-done set (the default), an animator made by
// Animator::New() deletes itself at its end or when its target dies; any
// other animator just stops then, so members and locals are safe with the
// default. The target is held weakly.
//
// Callbacks: WhenStart on frame 0, WhenStep(target, frame, count) for each
// shown frame, WhenEnd once the last frame's time has passed.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <cstdint>

#include "upp/callback.h"
#include "upp/ctrl.h"
#include "upp/ptr.h"

namespace ctrls {

class Animator : public Upp::Pte<Animator> {
 public:
  explicit Animator(Upp::Ctrl* target = nullptr);
  virtual ~Animator();
  Animator(const Animator&) = delete;
  Animator& operator=(const Animator&) = delete;

  // A heap animator that may delete itself (see Lifetime).
  static Animator* New(Upp::Ctrl* target);

  Upp::Callback WhenStart;
  Upp::Callback WhenEnd;
  Upp::Callback3<Upp::Ctrl*, int, int> WhenStep;

  Animator& SetTarget(Upp::Ctrl* target);
  Animator& SetCount(int count);
  Animator& SetInterval(int ms);
  Animator& DeleteWhenDone(bool on) { delete_when_done_ = on; return *this; }

  int GetCount() const { return count_; }
  int GetInterval() const { return interval_; }
  int GetFrame() const { return frame_; }
  bool IsRunning() const { return frame_ >= 0 || running_; }

  // Restarts from frame 0: the first frame runs at once.
  void Start();
  void Stop();

  // One timer tick (the repeating timer calls it; tests call it directly).
  void Tick();

 protected:
  virtual void DestroySelf();
  virtual bool IsTargetValid() const;
  virtual void OnStep(int frame) {}

 private:
  Upp::Ptr<Upp::Ctrl> target_;
  bool has_target_ = false;
  int count_ = 1;
  int frame_ = -1;
  uint64_t start_ = 0;
  int interval_ = 100;
  bool delete_when_done_ = true;
  bool on_heap_ = false;
  bool running_ = false;
};

}  // namespace ctrls
