// The draw surface of the toolkit: a 32-bit top-down DIB section with
// premultiplied alpha, the pixel layout Image and UpdateLayeredWindow use.
// Controls paint into one through Ctrl::Paint; a layered window pushes it to
// the screen as it is.
//
// Coordinates: every operation takes coordinates relative to the current
// origin and is clipped to the current clip rectangle. Clip(), Offset() and
// Clipoff() push a new origin/clip; End() pops one. Images are blended
// source-over; DrawRect with a Color writes opaque pixels.
//
// Text goes through GDI, which leaves the alpha byte of what it touches at
// 0. DrawText therefore renders white-on-black coverage into the same pixels,
// then puts the saved pixels back and composites the ink with that coverage,
// so text has correct premultiplied alpha on transparent and opaque ground
// alike.
//
// The global drawing lock (DrawLock) serialises the creation and release of
// surfaces and the shared measuring DC; it is recursive.
//
// IMPORTANT: Thread-safety. A surface belongs to the thread that made it
// (the user-interface thread for everything a control paints). The GDI
// handles are owned by the surface and released with it.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "upp/color.h"
#include "upp/font.h"
#include "upp/gdi_handles.h"
#include "upp/geometry.h"
#include "upp/image.h"

namespace Upp {

std::recursive_mutex& DrawLock();

// Holds the global drawing lock for its scope.
class GuiLock {
 public:
  GuiLock() : guard_(DrawLock()) {}

 private:
  std::lock_guard<std::recursive_mutex> guard_;
};

// The platform font to draw `font` with: its own handle, else a font of its
// height, weight and underline in the face of the default GUI font, made
// once and kept until the process ends. User-interface thread.
HFONT GetPlatformFont(const Font& font);

// Extent of `text` in `font` (height is the font's cell height even for an
// empty text). User-interface thread.
Size GetTextSize(const std::wstring& text, const Font& font);
int GetTextHeight(const Font& font);

// Intersection and translation helpers of rectangles.
Rect Intersect(const Rect& a, const Rect& b);
Rect Offset(const Rect& r, Point by);

class Draw {
 public:
  // A transparent surface; an empty size (or a failed allocation) gives an
  // invalid surface on which every operation does nothing.
  explicit Draw(Size size);
  virtual ~Draw();
  Draw(const Draw&) = delete;
  Draw& operator=(const Draw&) = delete;

  bool IsValid() const { return bits_ != nullptr; }
  Size GetSize() const { return size_; }
  // The memory DC with the surface selected, for GDI calls of the owner.
  // Call GdiFlush() before reading pixels that GDI wrote.
  HDC GetDC() const { return dc_.Get(); }

  // Raw pixels in surface coordinates (ignore origin and clip).
  RGBA* Pixels() { return bits_; }
  const RGBA* Pixels() const { return bits_; }
  RGBA At(int x, int y) const;
  // Sets every pixel, ignoring the clip.
  void Clear(RGBA pixel = RGBA());

  // --- origin and clip ---
  void Offset(Point by);
  void Clip(const Rect& r);
  void Clipoff(const Rect& r);
  void End();
  // The clip in current coordinates, and the current origin in surface
  // coordinates.
  Rect GetClip() const;
  Point GetOffset() const { return state_.back().origin; }
  bool IsPainting(const Rect& r) const { return !Intersect(r, GetClip()).IsEmpty(); }

  // --- drawing ---
  void DrawRect(const Rect& r, Color color);   // opaque; the null colour draws nothing
  void DrawRect(const Rect& r, RGBA pixel);    // premultiplied, blended over
  void DrawImage(int x, int y, const Image& image, int alpha = 255);
  void DrawImage(int x, int y, const Image& image, const Rect& src, int alpha = 255);
  void DrawImage(const Rect& dst, const Image& image, int alpha = 255);
  void DrawImage(const Rect& dst, const Image& image, const Rect& src, int alpha = 255);
  // Stretches `image` over `dst` keeping its corners: the hot spot gives the
  // left and top margins, the second spot the right and bottom ones (the hot
  // spot again when there is none). An image without spots is stretched.
  void DrawNineGrid(const Rect& dst, const Image& image, int alpha = 255);
  void DrawText(int x, int y, const std::wstring& text, const Font& font, Color ink);

 private:
  struct State {
    Point origin;  // surface coordinates of the current (0, 0)
    Rect clip;     // surface coordinates
  };
  Rect ToSurface(const Rect& r) const { return Upp::Offset(r, GetOffset()); }

  Size size_;
  RGBA* bits_ = nullptr;
  ScopedMemDC dc_;
  ScopedBitmap bitmap_;
  HGDIOBJ old_bitmap_ = nullptr;
  std::vector<State> state_;
};

}  // namespace Upp
