#include "base/post_to_ui.h"

#include <utility>

#include "upp/timer_queue.h"

namespace base {

void PostToUI(Upp::Callback cb) {
  // The queue's lock makes this safe off the user-interface thread.
  Upp::SetTimeCallback(1, std::move(cb));
}

}  // namespace base
