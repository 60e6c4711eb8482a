// Move-only owners of GDI handles, one per release function, plus the
// selection guard that puts back what it replaced in a device context.
//
//   Upp::ScopedMemDC dc(CreateCompatibleDC(nullptr));
//   Upp::ScopedBitmap bitmap(CreateDIBSection(...));
//   Upp::ScopedSelect keep(dc.Get(), bitmap.Get());   // undone before both die
//
// Declare the selection after the handles it selects, so it is undone first.
//
// Thread-safety: an owner is used by one thread at a time, like the handle.
#pragma once

#include <windows.h>

#include "base/scoped_handle.h"

namespace Upp {

// DCs made by CreateCompatibleDC / CreateDC: DeleteDC.
struct MemDCTraits {
  using Handle = HDC;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DeleteDC(h); }
};
using ScopedMemDC = base::ScopedGeneric<MemDCTraits>;

template <class H>
struct GdiObjectTraits {
  using Handle = H;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DeleteObject(h); }
};
using ScopedBitmap = base::ScopedGeneric<GdiObjectTraits<HBITMAP>>;
using ScopedFont = base::ScopedGeneric<GdiObjectTraits<HFONT>>;
using ScopedBrush = base::ScopedGeneric<GdiObjectTraits<HBRUSH>>;

// A window's DC from GetDC: ReleaseDC with the same window.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ~ScopedWindowDC() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// Selects an object into a DC and selects the previous one back when it dies.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelect() {
    if (dc_ && old_) SelectObject(dc_, old_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace Upp
