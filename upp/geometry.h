// Points, sizes and rectangles of the toolkit: plain values with the field
// names the skin and the controls use (x/y, cx/cy, left/top/right/bottom).
// A rectangle's right and bottom edges are exclusive.
//
// Thread-safety: values; any thread.
#pragma once

#include <windows.h>

namespace Upp {

template <class T>
struct Point_ {
  T x = 0;
  T y = 0;

  constexpr Point_() = default;
  constexpr Point_(T x_, T y_) : x(x_), y(y_) {}

  constexpr Point_ operator+(const Point_& o) const { return Point_(x + o.x, y + o.y); }
  constexpr Point_ operator-(const Point_& o) const { return Point_(x - o.x, y - o.y); }
  constexpr bool operator==(const Point_& o) const { return x == o.x && y == o.y; }
  constexpr bool operator!=(const Point_& o) const { return !(*this == o); }
};

template <class T>
struct Size_ {
  T cx = 0;
  T cy = 0;

  constexpr Size_() = default;
  constexpr Size_(T cx_, T cy_) : cx(cx_), cy(cy_) {}

  constexpr bool IsEmpty() const { return cx <= 0 || cy <= 0; }
  constexpr bool operator==(const Size_& o) const { return cx == o.cx && cy == o.cy; }
  constexpr bool operator!=(const Size_& o) const { return !(*this == o); }
};

template <class T>
struct Rect_ {
  T left = 0;
  T top = 0;
  T right = 0;
  T bottom = 0;

  constexpr Rect_() = default;
  constexpr Rect_(T l, T t, T r, T b) : left(l), top(t), right(r), bottom(b) {}
  constexpr Rect_(Point_<T> p, Size_<T> s) : left(p.x), top(p.y), right(p.x + s.cx), bottom(p.y + s.cy) {}

  constexpr T Width() const { return right - left; }
  constexpr T Height() const { return bottom - top; }
  constexpr Size_<T> GetSize() const { return Size_<T>(Width(), Height()); }
  constexpr Point_<T> TopLeft() const { return Point_<T>(left, top); }
  constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
  constexpr bool Contains(Point_<T> p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }
  constexpr bool operator==(const Rect_& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  constexpr bool operator!=(const Rect_& o) const { return !(*this == o); }

  RECT ToRECT() const {
    return RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                static_cast<LONG>(bottom)};
  }
};

using Point = Point_<int>;
using Size = Size_<int>;
using Rect = Rect_<int>;

}  // namespace Upp
