// The off-screen 32-bit alpha surface every layered window, shadow and
// cross-fade is rendered into before it goes to the screen: a toolkit draw
// surface whose pixels can be taken out as images.
//
// Ownership: the surface owns its DC and bitmap (created under the global
// drawing lock); images it makes own copies of the pixels.
//
// IMPORTANT: Thread-safety. The thread that made it (user-interface thread).
#pragma once

#include "upp/draw.h"
#include "upp/image.h"

namespace ctrls {

class AlphaDraw : public Upp::Draw {
 public:
  AlphaDraw(int cx, int cy) : Upp::Draw(Upp::Size(cx, cy)) {}
  explicit AlphaDraw(Upp::Size size) : Upp::Draw(size) {}

  HDC GetHDC() const { return GetDC(); }
  // A copy of the pixels as they are.
  Upp::Image GetImage() const;
  // A copy with alpha 255 wherever it is 0, for raw GDI output (which leaves
  // alpha 0) that must show as opaque. Colour bytes are kept as they are.
  Upp::Image GetOpaqueImage() const;
};

}  // namespace ctrls
