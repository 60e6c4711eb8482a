#include "upp/image.h"

#include <utility>

namespace Upp {

RGBA Premultiply(int r, int g, int b, int a) {
  auto mul = [a](int c) { return static_cast<uint8_t>((c * a + 127) / 255); };
  RGBA p;
  p.r = mul(r);
  p.g = mul(g);
  p.b = mul(b);
  p.a = static_cast<uint8_t>(a);
  return p;
}

RGBA Image::At(int x, int y) const {
  const Size size = GetSize();
  if (x < 0 || y < 0 || x >= size.cx || y >= size.cy) return RGBA();
  return Row(y)[x];
}

ImageBuffer::ImageBuffer(Size size) {
  if (size.IsEmpty()) return;
  pixels_.assign(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy), RGBA());
  size_ = size;
}

Image ImageBuffer::Finish() {
  Image image;
  if (!size_.IsEmpty()) {
    auto data = std::make_shared<Image::Data>();
    data->size = size_;
    data->pixels = std::move(pixels_);
    image.data_ = std::move(data);
  }
  pixels_.clear();
  size_ = Size();
  return image;
}

}  // namespace Upp
