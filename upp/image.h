// Raster images of the toolkit: 32-bit BGRA pixels with premultiplied
// alpha, the layout UpdateLayeredWindow and AlphaBlend take as they are.
//
// An Image is a cheap handle: copies share one immutable pixel block through
// a reference count, so the skin's image store, the style caches and the
// controls all hold the same pixels. The hot spot and the second spot
// belong to the handle, not to the pixels: giving a copy spots (the skin
// does, for nine-grid margins such as "shadow.png[6,4][8,6]") leaves every
// other copy as it was.
//
// ImageBuffer is the one way to make pixels: fill it, then Finish() hands
// its block over to an Image and leaves the buffer empty.
//
// Thread-safety: an Image may be copied, read and dropped on any thread (the
// count is atomic and the pixels never change). One Image object must not
// be assigned on two threads at once. An ImageBuffer belongs to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "upp/geometry.h"

namespace Upp {

// One premultiplied pixel, in memory order B, G, R, A.
struct RGBA {
  uint8_t b = 0;
  uint8_t g = 0;
  uint8_t r = 0;
  uint8_t a = 0;

  bool operator==(const RGBA& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
  bool operator!=(const RGBA& o) const { return !(*this == o); }
};
static_assert(sizeof(RGBA) == 4, "pixels are 32-bit");

// Premultiplies a straight-alpha colour, rounding to nearest.
RGBA Premultiply(int r, int g, int b, int a);

class ImageBuffer;

class Image {
 public:
  Image() = default;

  bool IsEmpty() const { return !data_; }
  explicit operator bool() const { return !IsEmpty(); }
  Size GetSize() const { return data_ ? data_->size : Size(); }
  int GetWidth() const { return GetSize().cx; }
  int GetHeight() const { return GetSize().cy; }

  // Row-major pixels, width * height of them; null for an empty image.
  const RGBA* Pixels() const { return data_ ? data_->pixels.data() : nullptr; }
  const RGBA* Row(int y) const { return Pixels() + static_cast<size_t>(y) * GetWidth(); }
  // The pixel at (x, y); transparent black outside the image.
  RGBA At(int x, int y) const;

  bool HasHotSpot() const { return has_hot_spot_; }
  Point GetHotSpot() const { return hot_spot_; }
  bool Has2ndSpot() const { return has_2nd_spot_; }
  Point Get2ndSpot() const { return spot2_; }
  void SetHotSpot(Point p) { hot_spot_ = p; has_hot_spot_ = true; }
  void Set2ndSpot(Point p) { spot2_ = p; has_2nd_spot_ = true; }
  void ClearSpots() { has_hot_spot_ = has_2nd_spot_ = false; hot_spot_ = spot2_ = Point(); }

  // True when both handles share one pixel block.
  bool SharesPixelsWith(const Image& other) const { return data_ && data_ == other.data_; }
  // Handles sharing this pixel block (0 for an empty image).
  long ShareCount() const { return data_.use_count(); }

 private:
  friend class ImageBuffer;
  struct Data {
    Size size;
    std::vector<RGBA> pixels;
  };

  std::shared_ptr<const Data> data_;
  Point hot_spot_;
  Point spot2_;
  bool has_hot_spot_ = false;
  bool has_2nd_spot_ = false;
};

class ImageBuffer {
 public:
  ImageBuffer() = default;
  // Transparent pixels; an empty size gives an empty buffer. Throws
  // std::bad_alloc like any container when memory runs out.
  explicit ImageBuffer(Size size);

  Size GetSize() const { return size_; }
  RGBA* Pixels() { return pixels_.data(); }
  RGBA* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * size_.cx; }

  // Hands the pixels over to a new Image (empty when the buffer is) and
  // leaves the buffer empty.
  Image Finish();

 private:
  Size size_;
  std::vector<RGBA> pixels_;
};

}  // namespace Upp
