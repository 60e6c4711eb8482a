// Adds a cursor to any control: while the mouse is over it the toolkit's
// cursor query answers with the given cursor (the application uses the hand).
//
// Ownership: the cursor is shared (LoadCursor) and never destroyed here.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <windows.h>

#include "upp/ctrl.h"

namespace ctrls {

template <class T>
class CursorCtrl : public T {
 public:
  using T::T;

  void SetCursor(HCURSOR cursor) { cursor_ = cursor; }
  HCURSOR GetCursor() const { return cursor_; }

  HCURSOR CursorImage(Upp::Point p, uint32_t keyflags) override {
    return cursor_ ? cursor_ : T::CursorImage(p, keyflags);
  }

 private:
  HCURSOR cursor_ = nullptr;
};

}  // namespace ctrls
