// A timed scroll or slide: an AnimateTimer in linear mode at a 30 ms tick,
// plus the position helper its users interpolate with.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/animate_timer.h"

namespace ctrls {

class ScrollingAction : public AnimateTimer {
 public:
  ScrollingAction() { SetTick(30).SetMode(kLinear); }

  // from + (to - from) x elapsed / duration, truncated; `to` once done.
  static int Position(int from, int to, int elapsed, int duration) {
    if (duration <= 0 || elapsed >= duration) return to;
    if (elapsed <= 0) return from;
    return from + static_cast<int>(static_cast<long long>(to - from) * elapsed / duration);
  }
};

}  // namespace ctrls
