// The process-wide timer queue: deferred and repeating calls that run on the
// user-interface thread.
//
// Any thread may add or kill entries (one lock guards the queue). Due
// callbacks run on the user-interface thread in due-time order (ties in the
// order they were added), from a 10 ms platform timer on the toolkit's
// hidden window (toolkit.h), so only while that thread pumps messages. A
// callback runs outside the lock and may add or kill entries, itself
// included.
//
// Owners are opaque keys (usually the object's address, or a member's) for
// KillTimeCallback; a null owner cannot be killed.
#pragma once

#include <cstdint>

#include "upp/callback.h"

namespace Upp {

// Runs `cb` once, `delay_ms` from now (0 and 1 mean "at the next pass").
// A negative delay repeats every -delay_ms until killed.
void SetTimeCallback(int delay_ms, Callback cb, const void* owner = nullptr);

// Removes every entry of `owner`; a running callback is not interrupted.
void KillTimeCallback(const void* owner);

bool ExistsTimeCallback(const void* owner);

// Runs what is due now. Called by the toolkit's 10 ms timer; tests call it
// directly. User-interface thread only.
void ProcessTimeCallbacks();

// Entries waiting (for tests and diagnostics).
size_t PendingTimeCallbacks();

// Milliseconds of a monotonic clock, the queue's time base.
uint64_t MonotonicMs();

}  // namespace Upp
