#include "upp/offscreen_host.h"

#include <algorithm>

namespace Upp {

OffscreenHost::OffscreenHost(Ctrl& root, Size size)
    : root_(root), surface_(std::make_unique<Draw>(size)) {
  root_.SetHost(this);
  root_.SetRect(Rect(Point(), size));
}

OffscreenHost::~OffscreenHost() { root_.SetHost(nullptr); }

Draw& OffscreenHost::Paint() {
  surface_->Clear();
  root_.PaintTree(*surface_);
  return *surface_;
}

void OffscreenHost::Move(Point p, uint32_t keyflags) {
  root_.DispatchMouse(Ctrl::MOUSEMOVE, p, 0, keyflags);
  cursor_ = root_.DispatchCursor(p, keyflags);
}

void OffscreenHost::Invalidate(const Rect& r) {
  ++invalidations_;
  if (dirty_.IsEmpty()) {
    dirty_ = r;
  } else {
    dirty_ = Rect(std::min(dirty_.left, r.left), std::min(dirty_.top, r.top),
                  std::max(dirty_.right, r.right), std::max(dirty_.bottom, r.bottom));
  }
}

}  // namespace Upp
