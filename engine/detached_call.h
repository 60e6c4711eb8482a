// Runs a blocking platform call that has no cancel of its own (a name
// lookup, a proxy script) on a thread of its own, so that the caller can
// stop waiting for it: on a cancel or when the bound runs out the caller
// goes on at once and the call finishes alone, later, unseen.
//
// The abandoned thread owns everything it touches (the work and its
// results are held through a shared pointer) and holds a reference on the
// module that contains its code, so even an engine unloaded meanwhile is
// not pulled from under it.
//
// Thread-safety: any thread may call; `work` runs on the new thread and
// must reach only what it owns. `abort` is polled on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace fetch {

enum class DetachedResult { kDone, kAborted, kTimedOut, kNoThread };

// Waits for `work` while `abort` stays false, at most `bound_ms`.
DetachedResult RunDetached(std::function<void()> work, const std::function<bool()>& abort, uint32_t bound_ms);

}  // namespace fetch
