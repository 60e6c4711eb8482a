// Hosts a control tree in an ordinary native window: routes the window's
// mouse, cursor, capture, size and paint messages to the tree, and answers
// the tree's refresh, capture and cursor requests with the window's.
//
//   LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
//     LRESULT r;
//     if (host.HandleMessage(m, w, l, &r)) return r;
//     return DefWindowProcW(h, m, w, l);
//   }
//
// Painting: the tree is painted into an off-screen surface filled with the
// background colour, then copied to the window in one transfer, so the
// window never flickers. Layered windows push their own frames instead.
//
// Ownership: the host owns neither the window nor the root; detach (or
// destroy the host) before either dies. HandleMessage lets no exception out,
// so it may be called straight from a window procedure.
// IMPORTANT: Thread-safety. User-interface thread (the window's) only.
#pragma once

#include <windows.h>

#include "upp/color.h"
#include "upp/ctrl.h"

namespace Upp {

class HwndCtrlHost : public CtrlHost {
 public:
  HwndCtrlHost() = default;
  ~HwndCtrlHost();
  HwndCtrlHost(const HwndCtrlHost&) = delete;
  HwndCtrlHost& operator=(const HwndCtrlHost&) = delete;

  // Sizes `root` to the window's client area and starts serving it.
  void Attach(HWND hwnd, Ctrl* root);
  void Detach();
  Ctrl* GetRoot() const { return root_; }

  void SetBackground(Color color) { background_ = color; }

  // True when the message was the tree's; *result is then the answer.
  bool HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);

  // Paints the tree into `dc` (a window or printing DC) at the client size.
  void PaintTo(HDC dc);

  // CtrlHost
  void Invalidate(const Rect& r) override;
  void SetMouseCapture(bool capture) override;
  void SetCursor(HCURSOR cursor) override;
  HWND GetHWND() const override { return hwnd_; }

 private:
  bool Route(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);
  void TrackLeave();

  HWND hwnd_ = nullptr;
  Ctrl* root_ = nullptr;
  Color background_ = Color(255, 255, 255);
  bool tracking_leave_ = false;
};

}  // namespace Upp
