#include "base/multi_sec_animate2.h"

#include "upp/timer_queue.h"
#include "upp/toolkit.h"

namespace base {

MultiSecAnimate2::MultiSecAnimate2() {
  first_.SetTick(30);
  second_.SetTick(30);
  first_.WhenStep = [this](int e, int d) { WhenStep1(e, d); };
  second_.WhenStep = [this](int e, int d) { WhenStep2(e, d); };
  first_.WhenEnd = Upp::Bind(this, &MultiSecAnimate2::OnEnd1);
  second_.WhenEnd = Upp::Bind(this, &MultiSecAnimate2::OnEnd2);
}

MultiSecAnimate2::~MultiSecAnimate2() { Upp::KillTimeCallback(this); }

MultiSecAnimate2& MultiSecAnimate2::SetDurations(int phase1_ms, int phase2_ms) {
  first_.SetDuration(phase1_ms);
  second_.SetDuration(phase2_ms);
  return *this;
}

MultiSecAnimate2& MultiSecAnimate2::SetTick(int ms) {
  first_.SetTick(ms);
  second_.SetTick(ms);
  return *this;
}

void MultiSecAnimate2::Start() {
  UPP_CHECK_UI_THREAD();
  Stop();
  phase_ = 1;
  first_.Start();
}

void MultiSecAnimate2::Stop() {
  Upp::KillTimeCallback(this);
  first_.Stop();
  second_.Stop();
  phase_ = 0;
}

void MultiSecAnimate2::OnEnd1() {
  phase_ = 2;
  Upp::Ptr<MultiSecAnimate2> alive(this);
  WhenEnd1();
  if (!alive || phase_ != 2) return;
  Upp::SetTimeCallback(0, Upp::Bind(this, &MultiSecAnimate2::StartSecond), this);
}

void MultiSecAnimate2::StartSecond() {
  if (phase_ == 2) second_.Start();
}

void MultiSecAnimate2::OnEnd2() {
  phase_ = 0;
  WhenEnd2();
}

}  // namespace base
