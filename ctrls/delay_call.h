// A one-shot deferred call with one integer argument, bound weakly to its
// owner: when it fires it clears its pending state first, then calls the
// owner's method if the owner still exists. Posting again replaces the
// pending call; the call dies with the DelayCall.
//
//   ctrls::DelayCall track_;
//   track_.Set(this, &TopWindow::OnTrack);   // TopWindow derives Upp::Pte<>
//   track_.Post(10, 0);
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "upp/callback.h"
#include "upp/ptr.h"
#include "upp/timer_queue.h"

namespace ctrls {

class DelayCall : public Upp::Pte<DelayCall> {
 public:
  DelayCall() = default;
  ~DelayCall() { Upp::KillTimeCallback(this); }
  DelayCall(const DelayCall&) = delete;
  DelayCall& operator=(const DelayCall&) = delete;

  template <class T>
  void Set(T* owner, void (T::*method)(int)) {
    call_ = Upp::Bind<int>(owner, method);
  }
  void Set(Upp::Callback1<int> call) { call_ = std::move(call); }

  void Post(int delay_ms, int value) {
    Upp::KillTimeCallback(this);
    value_ = value;
    pending_ = true;
    Upp::SetTimeCallback(delay_ms, Upp::Bind(this, &DelayCall::Fire), this);
  }
  void Cancel() {
    Upp::KillTimeCallback(this);
    pending_ = false;
  }
  bool IsPending() const { return pending_; }

  // The timer's entry (tests may call it).
  void Fire() {
    Upp::KillTimeCallback(this);
    if (!pending_) return;
    pending_ = false;
    Upp::Callback1<int> call = call_;  // the call may reset us
    call(value_);
  }

 private:
  Upp::Callback1<int> call_;
  int value_ = 0;
  bool pending_ = false;
};

}  // namespace ctrls
