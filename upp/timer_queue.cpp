#include "upp/timer_queue.h"

#include "log/log.h"

#include <windows.h>

#include <exception>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace Upp {
namespace {

struct Entry {
  uint64_t id;
  int interval_ms;  // > 0 for repeating entries
  const void* owner;
  Callback cb;
};

// Keyed by (due time, sequence) so equal due times keep insertion order.
using Queue = std::map<std::pair<uint64_t, uint64_t>, Entry>;

struct TimerState {
  std::mutex lock;
  Queue queue;
  uint64_t next_id = 1;
};

TimerState& State() {
  static TimerState* state = new TimerState;  // never destroyed: used until exit
  return *state;
}

void Insert(TimerState& s, uint64_t due, Entry entry) {
  uint64_t seq = entry.id;
  s.queue.emplace(std::make_pair(due, seq), std::move(entry));
}

}  // namespace

uint64_t MonotonicMs() { return GetTickCount64(); }

void SetTimeCallback(int delay_ms, Callback cb, const void* owner) {
  TimerState& s = State();
  int interval = delay_ms < 0 ? -delay_ms : 0;
  if (delay_ms < 0 && interval < 1) interval = 1;
  uint64_t due = MonotonicMs() + static_cast<uint64_t>(delay_ms < 0 ? interval : delay_ms);
  std::lock_guard<std::mutex> guard(s.lock);
  Insert(s, due, Entry{s.next_id++, interval, owner, std::move(cb)});
}

void KillTimeCallback(const void* owner) {
  if (!owner) return;
  TimerState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  for (auto it = s.queue.begin(); it != s.queue.end();) {
    it = it->second.owner == owner ? s.queue.erase(it) : std::next(it);
  }
}

bool ExistsTimeCallback(const void* owner) {
  if (!owner) return false;
  TimerState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  for (const auto& item : s.queue) {
    if (item.second.owner == owner) return true;
  }
  return false;
}

size_t PendingTimeCallbacks() {
  TimerState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.queue.size();
}

void ProcessTimeCallbacks() {
  TimerState& s = State();
  const uint64_t now = MonotonicMs();
  // Take one due entry at a time, so that a callback that kills a later
  // entry (or adds one) is respected within the same pass. Entries added
  // during the pass with a due time in the past are left to the next pass,
  // so a callback that re-adds itself at 0 ms cannot starve the loop.
  uint64_t pass_limit;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    pass_limit = s.next_id;
  }
  for (;;) {
    Entry entry;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      auto it = s.queue.begin();
      while (it != s.queue.end() && it->first.first <= now && it->second.id >= pass_limit) ++it;
      if (it == s.queue.end() || it->first.first > now) break;
      entry = std::move(it->second);
      s.queue.erase(it);
      if (entry.interval_ms > 0) {
        // Repeating: next due from now, skipping intervals we were late for.
        Entry again{s.next_id++, entry.interval_ms, entry.owner, entry.cb};
        Insert(s, now + entry.interval_ms, std::move(again));
      }
    }
    // Called from a window procedure: nothing may escape.
    try {
      entry.cb();
    } catch (const std::exception& e) {
      KV_LOG_ERROR << "Upp::ProcessTimeCallbacks callback threw: " << e.what();
    } catch (...) {
      KV_LOG_ERROR << "Upp::ProcessTimeCallbacks callback threw";
    }
  }
}

}  // namespace Upp
