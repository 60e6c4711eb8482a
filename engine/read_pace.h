// Watches the body reads of one connection for two things:
//
// - the lowest-speed rule: a connection that stays under a floor for a
//   whole window gives up (a source that drips a byte now and then is never
//   silent long enough for the stall timer, and would hold its span for
//   ever);
// - the gathering wait: when reads come back small (a packet or two, on a
//   slow or far link), a short sleep before the next read lets the socket
//   buffer fill, so one call takes what would have cost many, each a trip
//   to the wine server. The receive window is large, so the sender does
//   not slow down meanwhile. A read that came back big asks no wait.
//
// Thread-safety: the connection's thread only. Plain arithmetic on the
// times it is given, so unit tests need no clock.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace fetch {

class ReadPace {
 public:
  static constexpr uint32_t kFloorBytesPerSecond = 1024;
  static constexpr size_t kSmallRead = 32 * 1024;
  static constexpr size_t kGatherTarget = 64 * 1024;
  // Far below what the 4 MiB receive window holds at any rate this wait
  // applies to, so the sender never stalls on it.
  static constexpr uint32_t kMaxGatherMs = 100;

  // The window follows the stall time-out: half of it, 1-8 s.
  explicit ReadPace(uint32_t stall_ms)
      : window_ms_(std::min<uint32_t>(8000, std::max<uint32_t>(1000, stall_ms / 2))) {}

  void Restart(uint64_t now_ms) {
    window_start_ = now_ms;
    window_bytes_ = 0;
    short_read_ = false;
  }

  // Records a read of `bytes` where up to `asked` would have fitted; false
  // when the window ended under the floor.
  bool Note(size_t bytes, size_t asked, uint64_t now_ms) {
    window_bytes_ += bytes;
    // A read cut short by what was asked for says nothing about the link.
    short_read_ = bytes < kSmallRead && bytes < asked;
    const uint64_t elapsed = now_ms - window_start_;
    if (elapsed >= 250) rate_ = window_bytes_ * 1000 / elapsed;
    if (elapsed < window_ms_) return true;
    const bool slow = window_bytes_ * 1000 < static_cast<uint64_t>(kFloorBytesPerSecond) * elapsed;
    window_start_ = now_ms;
    window_bytes_ = 0;
    return !slow;
  }

  // The wait before the next read: long enough for kGatherTarget to arrive
  // at the rate seen, never more than kMaxGatherMs.
  uint32_t GatherMs() const {
    if (!short_read_) return 0;
    if (rate_ == 0) return 1;
    return static_cast<uint32_t>(std::min<uint64_t>(kMaxGatherMs, std::max<uint64_t>(1, kGatherTarget * 1000 / rate_)));
  }

  uint32_t window_ms() const { return window_ms_; }

 private:
  uint32_t window_ms_;
  uint64_t window_start_ = 0;
  uint64_t window_bytes_ = 0;
  uint64_t rate_ = 0;  // bytes per second, once a quarter second was seen
  bool short_read_ = false;
};

}  // namespace fetch
