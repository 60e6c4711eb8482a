// A window-less host for a control tree: it paints the tree into its own
// surface and feeds it synthetic mouse input. Tests check pixels and event
// routing with it; benchmarks time full repaints with it.
//
//   Upp::OffscreenHost host(root, Upp::Size(200, 100));
//   host.Press(Point(10, 10)); host.Release(Point(10, 10));
//   host.Paint(); host.Surface().At(10, 10);
//
// Ownership: the host does not own the root; the root must outlive it or be
// detached. IMPORTANT: Thread-safety: user-interface thread only.
#pragma once

#include <memory>

#include "upp/ctrl.h"

namespace Upp {

class OffscreenHost : public CtrlHost {
 public:
  // Attaches to `root` and sizes it to `size` at (0, 0).
  OffscreenHost(Ctrl& root, Size size);
  ~OffscreenHost();
  OffscreenHost(const OffscreenHost&) = delete;
  OffscreenHost& operator=(const OffscreenHost&) = delete;

  // Clears the surface and paints the whole tree; returns the surface.
  Draw& Paint();
  Draw& Surface() { return *surface_; }

  void Move(Point p, uint32_t keyflags = 0);
  void Press(Point p) { root_.DispatchMouse(Ctrl::LEFTDOWN, p, 0, K_LBUTTON); }
  void Release(Point p) { root_.DispatchMouse(Ctrl::LEFTUP, p, 0, 0); }
  void DoubleClick(Point p) { root_.DispatchMouse(Ctrl::LEFTDOUBLE, p, 0, K_LBUTTON); }
  void Click(Point p) { Move(p); Press(p); Release(p); }
  void Wheel(Point p, int zdelta) { root_.DispatchMouse(Ctrl::MOUSEWHEEL, p, zdelta, 0); }
  void LeaveWindow() { root_.DispatchMouseLeave(); }
  HCURSOR CursorAt(Point p) { return root_.DispatchCursor(p); }

  // What the tree asked for.
  int InvalidateCount() const { return invalidations_; }
  Rect InvalidatedUnion() const { return dirty_; }
  void ResetInvalidations() { invalidations_ = 0; dirty_ = Rect(); }
  bool HasMouseCapture() const { return capture_; }
  HCURSOR LastCursor() const { return cursor_; }

  // CtrlHost
  void Invalidate(const Rect& r) override;
  void SetMouseCapture(bool capture) override { capture_ = capture; }
  void SetCursor(HCURSOR cursor) override { cursor_ = cursor; }
  HWND GetHWND() const override { return nullptr; }

 private:
  Ctrl& root_;
  std::unique_ptr<Draw> surface_;
  int invalidations_ = 0;
  Rect dirty_;
  bool capture_ = false;
  HCURSOR cursor_ = nullptr;
};

}  // namespace Upp
