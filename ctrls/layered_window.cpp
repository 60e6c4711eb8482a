#include "ctrls/layered_window.h"

#include "ctrls/alpha_draw.h"
#include "ctrls/update_layered.h"
#include "upp/toolkit.h"

namespace ctrls {

LayeredWindow::LayeredWindow() {
  style_bits_ = WS_POPUP;
  ex_style_ = WS_EX_LAYERED;
  // The frame is the content's tree only, so the system box moves into it.
  top_.RemoveChild(&GetSystemBox());
  top_.Add(content_);
  content_.Add(GetSystemBox());
  content_.WhenUpdateScreen = Upp::Bind(this, &LayeredWindow::UpdateScreen);
  top_.WhenLayout = Upp::Bind(this, &LayeredWindow::FitContent);
}

LayeredWindow::~LayeredWindow() {
  content_.WhenUpdateScreen = Upp::Callback();
  top_.WhenLayout = Upp::Callback();
}

void LayeredWindow::FitContent() {
  content_.SetRect(top_.GetView());
  content_.MarkDirty();
}

void LayeredWindow::AddCtrl(Upp::Ctrl& ctrl) {
  TopWindow::AddCtrl(ctrl);
  content_.MarkDirty();
  content_.Refresh();
}

void LayeredWindow::SetBackgroundColor(Upp::Color color) {
  content_.SetBackgroundColor(color);
  content_.MarkDirty();
}

void LayeredWindow::SetBackgroundImage(const Upp::Image& image) {
  content_.SetBackground(image);
  content_.MarkDirty();
}

bool LayeredWindow::ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  switch (msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
      // The system never paints a layered window; a paint request only
      // means the frame may be stale.
      if (msg == WM_PAINT && IsOpen()) ValidateRect(hwnd_, nullptr);
      content_.Refresh();
      *result = 0;
      return true;
    case WM_SIZE:
    case WM_MOVE:
      // A zoomed push resizes and moves the window; the tree keeps its
      // size and the shadow its place.
      if (pushing_ || zoomed_last_) return true;
      return TopWindow::ProcessMessage(msg, wparam, lparam, result);
    case WM_SHOWWINDOW: {
      const bool handled = TopWindow::ProcessMessage(msg, wparam, lparam, result);
      if (wparam) content_.Refresh();
      return handled;
    }
    default:
      return TopWindow::ProcessMessage(msg, wparam, lparam, result);
  }
}

void LayeredWindow::UpdateScreen() {
  UPP_CHECK_UI_THREAD();
  if (!IsOpen()) return;
  const Upp::Size size = content_.GetSize();
  if (size.IsEmpty()) return;
  Upp::Point origin = normal_origin_;
  if (!zoomed_last_) {
    RECT wr;
    GetWindowRect(hwnd_, &wr);
    origin = Upp::Point(wr.left, wr.top);
  }
  const bool zoom = content_.GetZoom() != 1.0;
  Upp::Rect dest(origin, size);
  if (zoom) {
    const Upp::Size zoomed = Content::ZoomedSize(size, content_.GetZoom());
    // Even sizes keep the zoomed frame exactly centred on the window.
    const int left = origin.x + (size.cx - zoomed.cx) / 2;
    const int top = origin.y + (size.cy - zoomed.cy) / 2;
    dest = Upp::Rect(left, top, left + zoomed.cx, top + zoomed.cy);
  }
  AlphaDraw frame(dest.GetSize());
  if (content_.GetZoom() == 1.0)
    content_.PaintTree(frame);
  else
    frame.DrawImage(0, 0, content_.RenderFrame());
  pushing_ = true;
  const bool ok = PushLayeredFrame(hwnd_, frame, dest.TopLeft(), content_.GetAlpha());
  pushing_ = false;
  if (!ok) return;
  normal_origin_ = origin;
  zoomed_last_ = zoom;
  ++pushes_;
  last_alpha_ = content_.GetAlpha();
  last_rect_ = dest;
  if (keep_last_frame_) last_frame_ = frame.GetImage();
}

}  // namespace ctrls
