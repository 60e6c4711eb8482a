// The press guard of the state buttons: a press less than 1001 ms after the
// last accepted one is ignored, so a double click or an impatient second
// press does not run an operation twice. The clock is the system tick count
// (milliseconds, wrapping every 49.7 days; the difference is unsigned, so
// the wrap is harmless), replaceable for tests.
//
// Thread-safety: user-interface thread only (plain fields).
#pragma once

#include <windows.h>

#include <cstdint>

namespace korvan {

class PressGuard {
 public:
  static constexpr uint32_t kMinGapMs = 1001;
  using Clock = uint32_t (*)();

  PressGuard() = default;
  explicit PressGuard(Clock clock) : clock_(clock) {}

  void SetClock(Clock clock) { clock_ = clock ? clock : &SystemTicks; }

  // True when the press counts; it then becomes the last accepted press.
  bool Accept() {
    const uint32_t now = clock_();
    if (now - last_ < kMinGapMs) return false;
    last_ = now;
    return true;
  }

  uint32_t last_accepted() const { return last_; }

 private:
  static uint32_t SystemTicks() { return GetTickCount(); }

  Clock clock_ = &SystemTicks;
  uint32_t last_ = 0;  // no press yet
};

}  // namespace korvan
