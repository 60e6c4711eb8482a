// Images the tests make up. Any thread.
#pragma once

#include "upp/image.h"

namespace testutil {

// `size` pixels, each exactly `p` (premultiplied as given).
inline Upp::Image Solid(Upp::Size size, Upp::RGBA p) {
  Upp::ImageBuffer b(size);
  for (int i = 0; i < size.cx * size.cy; ++i) b.Pixels()[i] = p;
  return b.Finish();
}

}  // namespace testutil
