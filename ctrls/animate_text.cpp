#include "ctrls/animate_text.h"

#include "upp/timer_queue.h"

namespace ctrls {

AnimateText::~AnimateText() { Upp::KillTimeCallback(this); }

void AnimateText::SetText(const std::wstring& prefix, bool animate) {
  if (!animate) {
    Upp::KillTimeCallback(this);
    animating_ = false;
    prefix_ = prefix;
    StaticText::SetText(prefix);
    return;
  }
  if (prefix.empty() || (animating_ && prefix == prefix_)) return;
  prefix_ = prefix;
  counter_ = 0;
  animating_ = true;
  ShowCurrent();
  Upp::KillTimeCallback(this);
  Upp::SetTimeCallback(kPeriodMs, Upp::Bind(this, &AnimateText::Step), this);
}

void AnimateText::ShowCurrent() { StaticText::SetText(prefix_ + std::wstring(counter_ % 4, L'.')); }

void AnimateText::Step() {
  if (!animating_) return;
  ++counter_;
  ShowCurrent();
  Refresh();
  Upp::SetTimeCallback(kPeriodMs, Upp::Bind(this, &AnimateText::Step), this);
}

}  // namespace ctrls
