// The hidden window through which a second copy of the program finds and
// wakes the first: class "KVDOWNLOADER_INSWND", wake-up message 37889.
//
// Thread-safety: user-interface thread only (the window belongs to it).
#pragma once

#include <windows.h>

#include "base/logic_object.h"

namespace korvan {

class InstanceWndManager : public base::LogicObject {
 public:
  InstanceWndManager() = default;
  ~InstanceWndManager() override;

  // Creates the never-shown window once; true while it exists.
  bool CreateGuardWindow();
  // Destroys the window, if any, and forgets it.
  void DestroyGuardWindow();

  HWND window() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
};

}  // namespace korvan
