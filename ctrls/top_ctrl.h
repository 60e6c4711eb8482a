// The root control of a top-level window's tree: a panel the window sizes
// to its client area. The window owns it; children are owned elsewhere.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/panel.h"
#include "upp/callback.h"
#include "upp/ctrl.h"

namespace ctrls {

class TopCtrl : public Panel<Upp::Ctrl> {
 public:
  // A press on the bare root must not count as the tree's: the window
  // decides about the drag strip there.
  void LeftDown(Upp::Point, uint32_t) override {}

  // Runs after every resize (layered windows size their content here).
  Upp::Callback WhenLayout;
  void Layout() override { WhenLayout(); }
};

}  // namespace ctrls
