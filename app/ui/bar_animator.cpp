#include "app/ui/bar_animator.h"

namespace korvan {

BarAnimator::BarAnimator() {
  timer_.SetDuration(kDurationMs).SetTick(kTickMs).SetMode(ctrls::AnimateTimer::kLinear);
  timer_.WhenStep = Upp::Bind<int, int>(this, &BarAnimator::OnStep);
  timer_.WhenEnd = Upp::Bind(this, &BarAnimator::OnEnd);
}

bool BarAnimator::Start(uint32_t from, uint32_t to, uint32_t total) {
  if (from >= to) return false;
  if (timer_.IsRunning() && to == to_ && total == total_) return true;
  from_ = from;
  to_ = to;
  total_ = total;
  timer_.Start();
  return true;
}

void BarAnimator::Stop() { timer_.Stop(false); }

uint32_t BarAnimator::ValueAt(uint32_t from, uint32_t to, int elapsed, int duration) {
  if (duration <= 0 || elapsed >= duration) return to;
  if (elapsed <= 0) return from;
  const uint64_t span = static_cast<uint64_t>(to - from);
  return from + static_cast<uint32_t>(span * static_cast<uint64_t>(elapsed) / static_cast<uint64_t>(duration));
}

void BarAnimator::OnStep(int elapsed, int duration) {
  WhenValue(ValueAt(from_, to_, elapsed, duration), total_);
}

void BarAnimator::OnEnd() { WhenValue(to_, total_); }

}  // namespace korvan
