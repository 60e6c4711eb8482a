#include "ctrls/top_wnd_base.h"

#include "upp/toolkit.h"

namespace ctrls {

TopWndBase::~TopWndBase() { DetachWindow(); }

void TopWndBase::Paint(HDC dc) { host_.PaintTo(dc); }

void TopWndBase::AttachWindow(HWND hwnd) {
  UPP_CHECK_UI_THREAD();
  hwnd_ = hwnd;
  host_.Attach(hwnd, &top_);
}

void TopWndBase::DetachWindow() {
  host_.Detach();
  hwnd_ = nullptr;
}

}  // namespace ctrls
