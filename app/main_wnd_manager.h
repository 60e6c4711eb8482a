// Owner of the main window set. So far it only answers the wake-up from a
// second copy of the program; the windows themselves come later.
//
// Thread-safety: user-interface thread only.
#pragma once

#include "base/logic_object.h"

namespace korvan {

class MainWndManager : public base::LogicObject {
 public:
  MainWndManager() = default;
  ~MainWndManager() override;

  // Brings the main window to the front: shown if hidden, restored if
  // minimised. Does nothing while there is no main window.
  void Activate();

  // How often a wake-up arrived (for diagnostics and tests).
  int activation_count() const { return activation_count_; }

 private:
  int activation_count_ = 0;
};

}  // namespace korvan
