// A decorative control that must not steal clicks from the control beneath
// it: with forwarding on, hit testing passes over it (its parent receives
// enter, leave, moves, presses and wheel at the moved point), and an event
// that reaches it directly anyway is handed to the parent with the point
// moved by its position.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "upp/ctrl.h"

namespace ctrls {

template <class T>
class MouseEvent2Parent : public T {
 public:
  using T::T;

  void SetForward(bool forward = true) { forward_ = forward; }
  bool IsForward() const { return forward_; }

  bool IsMouseTransparent() const override { return forward_ || T::IsMouseTransparent(); }

  void MouseEvent(int event, Upp::Point p, int zdelta, uint32_t keyflags) override {
    Upp::Ctrl* parent = this->GetParent();
    if (forward_ && parent) {
      parent->MouseEvent(event, p + this->GetRect().TopLeft(), zdelta, keyflags);
      return;
    }
    T::MouseEvent(event, p, zdelta, keyflags);
  }

  void ChildMouseEvent(Upp::Ctrl* child, int event, Upp::Point p, int zdelta,
                       uint32_t keyflags) override {
    T::ChildMouseEvent(child, event, p, zdelta, keyflags);
  }

 private:
  bool forward_ = true;
};

}  // namespace ctrls
