// Hands a callback to the user-interface thread: the way workers deliver
// their results.
//
// Thread-safety: callable from any thread. The callback runs on the
// user-interface thread at the next pass of the toolkit's timer queue
// (about 10 ms), and only while that thread pumps messages. Bind it to a
// weak target (Upp::Bind on a Pimpl), never to a raw pointer: a target that
// is gone by then turns the call into a no-op.
//
// Ownership: the timer queue holds a shared reference to the callback until
// it has run.
#pragma once

#include "upp/callback.h"

namespace base {

void PostToUI(Upp::Callback cb);

}  // namespace base
