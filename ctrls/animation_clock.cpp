#include "ctrls/animation_clock.h"

#include "upp/timer_queue.h"

namespace ctrls {

namespace {
uint64_t (*g_clock)() = nullptr;
}  // namespace

uint64_t AnimationNow() { return g_clock ? g_clock() : Upp::MonotonicMs(); }

void SetAnimationClock(uint64_t (*clock)()) { g_clock = clock; }

}  // namespace ctrls
