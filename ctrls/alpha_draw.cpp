#include "ctrls/alpha_draw.h"

#include <algorithm>

namespace ctrls {

Upp::Image AlphaDraw::GetImage() const {
  if (!IsValid()) return Upp::Image();
  GdiFlush();
  Upp::ImageBuffer buffer(GetSize());
  std::copy(Pixels(), Pixels() + static_cast<size_t>(GetSize().cx) * GetSize().cy, buffer.Pixels());
  return buffer.Finish();
}

Upp::Image AlphaDraw::GetOpaqueImage() const {
  if (!IsValid()) return Upp::Image();
  GdiFlush();
  Upp::ImageBuffer buffer(GetSize());
  const size_t count = static_cast<size_t>(GetSize().cx) * GetSize().cy;
  Upp::RGBA* out = buffer.Pixels();
  for (size_t i = 0; i < count; ++i) {
    out[i] = Pixels()[i];
    if (out[i].a == 0) out[i].a = 255;
  }
  return buffer.Finish();
}

}  // namespace ctrls
