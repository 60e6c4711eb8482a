// RGB colours of the toolkit, with a null colour meaning "no colour" (a
// text or background that is not drawn at all).
//
// The raw value is a COLORREF: red in the low byte, then green, then blue,
// so it goes straight into GDI calls. The null colour has a raw value that
// no COLORREF built by RGB() can have.
//
// Thread-safety: values; any thread.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Upp {

class Color {
 public:
  // The null colour.
  constexpr Color() = default;
  constexpr Color(int r, int g, int b)
      : raw_(static_cast<uint32_t>(r & 0xFF) | (static_cast<uint32_t>(g & 0xFF) << 8) |
             (static_cast<uint32_t>(b & 0xFF) << 16)) {}

  static constexpr Color Null() { return Color(); }
  static constexpr Color FromRaw(uint32_t raw) { return Color(raw, 0); }

  constexpr bool IsNull() const { return raw_ == kNullRaw; }
  constexpr int GetR() const { return static_cast<int>(raw_ & 0xFF); }
  constexpr int GetG() const { return static_cast<int>((raw_ >> 8) & 0xFF); }
  constexpr int GetB() const { return static_cast<int>((raw_ >> 16) & 0xFF); }
  constexpr uint32_t GetRaw() const { return raw_; }
  // For GDI; meaningless for the null colour, which callers skip.
  constexpr COLORREF ToCOLORREF() const { return static_cast<COLORREF>(raw_ & 0xFFFFFF); }

  constexpr bool operator==(const Color& o) const { return raw_ == o.raw_; }
  constexpr bool operator!=(const Color& o) const { return raw_ != o.raw_; }

 private:
  static constexpr uint32_t kNullRaw = 0xFFFFFFFFu;
  constexpr Color(uint32_t raw, int) : raw_(raw) {}

  uint32_t raw_ = kNullRaw;
};

constexpr bool IsNull(const Color& c) { return c.IsNull(); }

}  // namespace Upp
