#include "upp/draw.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace Upp {

namespace {

// x / 255 rounded, exact for 0..255*255.
inline int Div255(int x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

inline void BlendPixel(RGBA& d, RGBA s) {
  if (s.a == 255) {
    d = s;
  } else if (s.a != 0 || s.r || s.g || s.b) {
    const int k = 255 - s.a;
    d.r = static_cast<uint8_t>(std::min(255, s.r + Div255(d.r * k)));
    d.g = static_cast<uint8_t>(std::min(255, s.g + Div255(d.g * k)));
    d.b = static_cast<uint8_t>(std::min(255, s.b + Div255(d.b * k)));
    d.a = static_cast<uint8_t>(std::min(255, s.a + Div255(d.a * k)));
  }
}

inline RGBA Fade(RGBA s, int alpha) {
  if (alpha >= 255) return s;
  RGBA r;
  r.r = static_cast<uint8_t>(Div255(s.r * alpha));
  r.g = static_cast<uint8_t>(Div255(s.g * alpha));
  r.b = static_cast<uint8_t>(Div255(s.b * alpha));
  r.a = static_cast<uint8_t>(Div255(s.a * alpha));
  return r;
}

// The DC text is measured with; selected fonts are put back after each use.
HDC MeasureDC() {
  static HDC dc = CreateCompatibleDC(nullptr);  // lives until the process ends
  return dc;
}

}  // namespace

std::recursive_mutex& DrawLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex;  // used until exit
  return *lock;
}

HFONT GetPlatformFont(const Font& font) {
  if (font.GetHandle()) return font.GetHandle();
  using Key = std::tuple<int, bool, bool>;
  static std::map<Key, ScopedFont>* fonts = new std::map<Key, ScopedFont>;  // used until exit
  GuiLock lock;
  const Key key(font.GetHeight(), font.IsBold(), font.IsUnderline());
  auto it = fonts->find(key);
  if (it != fonts->end()) return it->second.Get();
  LOGFONTW lf = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  if (font.GetHeight() > 0) lf.lfHeight = -font.GetHeight();
  lf.lfWidth = 0;
  lf.lfWeight = font.IsBold() ? FW_BOLD : FW_NORMAL;
  lf.lfUnderline = font.IsUnderline() ? TRUE : FALSE;
  lf.lfQuality = ANTIALIASED_QUALITY;
  HFONT made = CreateFontIndirectW(&lf);
  if (!made) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  return fonts->emplace(key, ScopedFont(made)).first->second.Get();
}

Size GetTextSize(const std::wstring& text, const Font& font) {
  GuiLock lock;
  HDC dc = MeasureDC();
  ScopedSelect keep(dc, GetPlatformFont(font));
  TEXTMETRICW tm = {};
  GetTextMetricsW(dc, &tm);
  SIZE extent = {};
  if (!text.empty()) GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &extent);
  return Size(extent.cx, tm.tmHeight);
}

int GetTextHeight(const Font& font) { return GetTextSize(std::wstring(), font).cy; }

Rect Intersect(const Rect& a, const Rect& b) {
  Rect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom));
  if (r.IsEmpty()) return Rect();
  return r;
}

Rect Offset(const Rect& r, Point by) {
  return Rect(r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y);
}

Draw::Draw(Size size) {
  state_.push_back(State{Point(), Rect()});
  if (size.IsEmpty()) return;
  GuiLock lock;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  ScopedMemDC dc(CreateCompatibleDC(nullptr));
  if (!dc) return;
  void* bits = nullptr;
  ScopedBitmap bitmap(CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return;
  old_bitmap_ = SelectObject(dc.Get(), bitmap.Get());
  SetBkMode(dc.Get(), TRANSPARENT);
  dc_ = std::move(dc);
  bitmap_ = std::move(bitmap);
  bits_ = static_cast<RGBA*>(bits);
  size_ = size;
  state_.back().clip = Rect(Point(), size);
  Clear();
}

Draw::~Draw() {
  GuiLock lock;
  if (dc_ && old_bitmap_) SelectObject(dc_.Get(), old_bitmap_);
  bitmap_.Reset();
  dc_.Reset();
}

RGBA Draw::At(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= size_.cx || y >= size_.cy) return RGBA();
  GdiFlush();
  return bits_[static_cast<size_t>(y) * size_.cx + x];
}

void Draw::Clear(RGBA pixel) {
  if (!bits_) return;
  GdiFlush();
  std::fill(bits_, bits_ + static_cast<size_t>(size_.cx) * size_.cy, pixel);
}

void Draw::Offset(Point by) {
  State s = state_.back();
  s.origin = s.origin + by;
  state_.push_back(s);
}

void Draw::Clip(const Rect& r) {
  State s = state_.back();
  s.clip = Intersect(s.clip, ToSurface(r));
  state_.push_back(s);
}

void Draw::Clipoff(const Rect& r) {
  State s = state_.back();
  s.clip = Intersect(s.clip, ToSurface(r));
  s.origin = s.origin + r.TopLeft();
  state_.push_back(s);
}

void Draw::End() {
  if (state_.size() > 1) state_.pop_back();
}

Rect Draw::GetClip() const {
  const State& s = state_.back();
  return Upp::Offset(s.clip, Point(-s.origin.x, -s.origin.y));
}

void Draw::DrawRect(const Rect& r, Color color) {
  if (color.IsNull()) return;
  RGBA p;
  p.r = static_cast<uint8_t>(color.GetR());
  p.g = static_cast<uint8_t>(color.GetG());
  p.b = static_cast<uint8_t>(color.GetB());
  p.a = 255;
  DrawRect(r, p);
}

void Draw::DrawRect(const Rect& r, RGBA pixel) {
  if (!bits_) return;
  const Rect d = Intersect(ToSurface(r), state_.back().clip);
  if (d.IsEmpty()) return;
  GdiFlush();
  for (int y = d.top; y < d.bottom; ++y) {
    RGBA* row = bits_ + static_cast<size_t>(y) * size_.cx;
    if (pixel.a == 255) {
      std::fill(row + d.left, row + d.right, pixel);
    } else {
      for (int x = d.left; x < d.right; ++x) BlendPixel(row[x], pixel);
    }
  }
}

void Draw::DrawImage(int x, int y, const Image& image, int alpha) {
  DrawImage(x, y, image, Rect(Point(), image.GetSize()), alpha);
}

void Draw::DrawImage(int x, int y, const Image& image, const Rect& src, int alpha) {
  DrawImage(Rect(Point(x, y), src.GetSize()), image, src, alpha);
}

void Draw::DrawImage(const Rect& dst, const Image& image, int alpha) {
  DrawImage(dst, image, Rect(Point(), image.GetSize()), alpha);
}

void Draw::DrawImage(const Rect& dst, const Image& image, const Rect& src_in, int alpha) {
  if (!bits_ || image.IsEmpty() || dst.IsEmpty() || alpha <= 0) return;
  const Rect src = Intersect(src_in, Rect(Point(), image.GetSize()));
  if (src.IsEmpty() || src != src_in) {
    // A source partly outside the image: draw the part inside where it falls.
    if (src.IsEmpty()) return;
    if (dst.Width() == src_in.Width() && dst.Height() == src_in.Height()) {
      DrawImage(Rect(dst.left + src.left - src_in.left, dst.top + src.top - src_in.top,
                     dst.left + src.right - src_in.left, dst.top + src.bottom - src_in.top),
                image, src, alpha);
      return;
    }
  }
  const Rect to = ToSurface(dst);
  const Rect d = Intersect(to, state_.back().clip);
  if (d.IsEmpty()) return;
  GdiFlush();
  const int sw = src.Width(), sh = src.Height();
  const int dw = to.Width(), dh = to.Height();
  const bool unscaled = sw == dw && sh == dh;
  // Column lookup once per call; sampling at pixel centres keeps a 2x
  // enlargement from shifting by half a pixel.
  std::vector<int> columns(static_cast<size_t>(d.Width()));
  for (int x = d.left; x < d.right; ++x) {
    const int dx = x - to.left;
    columns[x - d.left] = src.left + (unscaled ? dx : static_cast<int>((2LL * dx + 1) * sw / (2LL * dw)));
  }
  for (int y = d.top; y < d.bottom; ++y) {
    const int dy = y - to.top;
    const int sy = src.top + (unscaled ? dy : static_cast<int>((2LL * dy + 1) * sh / (2LL * dh)));
    const RGBA* srow = image.Row(sy);
    RGBA* drow = bits_ + static_cast<size_t>(y) * size_.cx;
    if (alpha >= 255) {
      for (int x = d.left; x < d.right; ++x) BlendPixel(drow[x], srow[columns[x - d.left]]);
    } else {
      for (int x = d.left; x < d.right; ++x) BlendPixel(drow[x], Fade(srow[columns[x - d.left]], alpha));
    }
  }
}

void Draw::DrawNineGrid(const Rect& dst, const Image& image, int alpha) {
  if (image.IsEmpty() || dst.IsEmpty()) return;
  if (!image.HasHotSpot()) {
    DrawImage(dst, image, alpha);
    return;
  }
  const Size is = image.GetSize();
  const Point p1 = image.GetHotSpot();
  const Point p2 = image.Has2ndSpot() ? image.Get2ndSpot() : p1;
  // Margins may not exceed the image nor the target: shrink them evenly.
  auto fit = [](int a, int b, int limit) {
    a = std::max(0, a);
    b = std::max(0, b);
    if (a + b > limit) {
      const int total = a + b;
      a = total ? a * limit / total : 0;
      b = limit - a;
    }
    return std::make_pair(a, b);
  };
  auto [sl, sr] = fit(p1.x, p2.x, is.cx);
  auto [st, sb] = fit(p1.y, p2.y, is.cy);
  auto [dl, dr] = fit(sl, sr, dst.Width());
  auto [dt, db] = fit(st, sb, dst.Height());
  const int sx[4] = {0, sl, is.cx - sr, is.cx};
  const int sy[4] = {0, st, is.cy - sb, is.cy};
  const int dx[4] = {dst.left, dst.left + dl, dst.right - dr, dst.right};
  const int dy[4] = {dst.top, dst.top + dt, dst.bottom - db, dst.bottom};
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) {
      const Rect s(sx[i], sy[j], sx[i + 1], sy[j + 1]);
      const Rect d(dx[i], dy[j], dx[i + 1], dy[j + 1]);
      if (!s.IsEmpty() && !d.IsEmpty()) DrawImage(d, image, s, alpha);
    }
  }
}

void Draw::DrawText(int x, int y, const std::wstring& text, const Font& font, Color ink) {
  if (!bits_ || text.empty() || ink.IsNull()) return;
  const Size extent = GetTextSize(text, font);
  // Italic overhang and ClearType fringes reach a little past the extent.
  const Rect box = ToSurface(Rect(x - 2, y, x + extent.cx + 4, y + extent.cy));
  const Rect d = Intersect(box, state_.back().clip);
  if (d.IsEmpty()) return;
  GdiFlush();
  const int w = d.Width();
  std::vector<RGBA> saved(static_cast<size_t>(w) * d.Height());
  for (int row = d.top; row < d.bottom; ++row) {
    RGBA* line = bits_ + static_cast<size_t>(row) * size_.cx + d.left;
    std::copy(line, line + w, saved.begin() + static_cast<size_t>(row - d.top) * w);
    std::fill(line, line + w, RGBA{0, 0, 0, 255});
  }
  {
    HDC dc = dc_.Get();
    ScopedSelect keep(dc, GetPlatformFont(font));
    const int saved_dc = SaveDC(dc);
    IntersectClipRect(dc, d.left, d.top, d.right, d.bottom);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    const Point at = GetOffset() + Point(x, y);
    TextOutW(dc, at.x, at.y, text.data(), static_cast<int>(text.size()));
    RestoreDC(dc, saved_dc);
    GdiFlush();
  }
  const int ir = ink.GetR(), ig = ink.GetG(), ib = ink.GetB();
  for (int row = d.top; row < d.bottom; ++row) {
    RGBA* line = bits_ + static_cast<size_t>(row) * size_.cx + d.left;
    const RGBA* back = saved.data() + static_cast<size_t>(row - d.top) * w;
    for (int i = 0; i < w; ++i) {
      // Coverage is the brightest channel of white drawn on black.
      const int cover = std::max({line[i].r, line[i].g, line[i].b});
      RGBA out = back[i];
      if (cover) {
        RGBA src;
        src.r = static_cast<uint8_t>(Div255(ir * cover));
        src.g = static_cast<uint8_t>(Div255(ig * cover));
        src.b = static_cast<uint8_t>(Div255(ib * cover));
        src.a = static_cast<uint8_t>(cover);
        BlendPixel(out, src);
      }
      line[i] = out;
    }
  }
}

}  // namespace Upp
