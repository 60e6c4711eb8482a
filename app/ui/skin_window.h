// A plain (not layered) skinned top-level window that controls inside it
// can connect signals to: ctrls::TopWindow plus the single-threaded
// observer base. Base of the middle window, which hosts the web page.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/top_window.h"
#include "upp/signal.h"

namespace korvan {

class SkinWindow : public ctrls::TopWindow, public sigslot::has_slots<sigslot::single_threaded> {
 public:
  SkinWindow() = default;
  ~SkinWindow() override = default;
};

}  // namespace korvan
