// The clock every animation of the control library reads: the toolkit's
// monotonic milliseconds, replaceable so tests can step time by hand and
// call the animations' Tick() directly.
//
// Thread-safety: user-interface thread, like the animations.
#pragma once

#include <cstdint>

namespace ctrls {

uint64_t AnimationNow();

// Replaces the clock; null puts the monotonic clock back. For tests.
void SetAnimationClock(uint64_t (*clock)());

}  // namespace ctrls
