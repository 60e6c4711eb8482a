// The drop shadow of a top-level window: a layered, click-through, disabled
// tool window owned by its host that shows a nine-grid shadow image around
// the host's rectangle (5 px left, 3 top, 5 right, 7 bottom). The host posts
// kShowMessage with the show flag; the shadow shows itself without
// activation or hides.
//
// Ownership: the object owns its native window and destroys it when it dies.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <windows.h>

#include "upp/draw.h"
#include "upp/geometry.h"
#include "upp/image.h"

namespace ctrls {

class ShadowFrameWnd {
 public:
  static constexpr UINT kShowMessage = WM_USER + 100;
  static constexpr int kLeft = 5, kTop = 3, kRight = 5, kBottom = 7;

  ShadowFrameWnd() = default;
  ~ShadowFrameWnd();
  ShadowFrameWnd(const ShadowFrameWnd&) = delete;
  ShadowFrameWnd& operator=(const ShadowFrameWnd&) = delete;

  // Creates the window owned by `host`; false when that failed.
  bool Create(HWND host, const Upp::Image& image);
  HWND GetHWND() const { return hwnd_; }
  bool IsOpen() const { return hwnd_ && IsWindow(hwnd_); }

  // The shadow's rectangle for a host window rectangle (screen).
  static Upp::Rect ShadowRect(const RECT& host);
  // Draws the shadow into `w` (the shadow's size): the image as a nine-grid,
  // with the host's rectangle inside left transparent. An owned window
  // always stays above its owner, so a shadow drawn there too would cover
  // the host.
  static void PaintFrame(Upp::Draw& w, const Upp::Image& image);
  // Places the shadow around the host and pushes a freshly drawn frame.
  void Place();
  // Follows a move of the host: position only.
  void Follow();

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  HWND host_ = nullptr;
  Upp::Image image_;
};

}  // namespace ctrls
