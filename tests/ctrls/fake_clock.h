// A hand-stepped animation clock for the tests of this folder.
#pragma once

#include <cstdint>

#include "ctrls/animation_clock.h"

namespace ctrls_test {

inline uint64_t& FakeNow() {
  static uint64_t now = 1000000;
  return now;
}

// Installs the fake clock for its scope.
class FakeClock {
 public:
  FakeClock() { ctrls::SetAnimationClock([] { return FakeNow(); }); }
  ~FakeClock() { ctrls::SetAnimationClock(nullptr); }
  void Advance(uint64_t ms) { FakeNow() += ms; }
  uint64_t Now() const { return FakeNow(); }
};

}  // namespace ctrls_test
