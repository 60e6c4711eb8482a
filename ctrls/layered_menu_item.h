// One row of the tray's popup menu: its text in its own colour on a light
// bar that darkens while the mouse is over it, with an optional icon column
// (the icon shows only on marked items). A press and release inside the
// row is its click (WhenAction).
//
// Ownership: the icon is a shared image handle; the item owns nothing else.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <string>

#include "upp/color.h"
#include "upp/ctrl.h"
#include "upp/image.h"

namespace ctrls {

class LayeredMenuItem : public Upp::Ctrl {
 public:
  static constexpr Upp::Color kHotColor{0xD3, 0xD3, 0xD3};
  static constexpr Upp::Color kColor{0xFA, 0xFA, 0xFA};
  static constexpr int kInset = 2;
  static constexpr Upp::Point kIconPos{9, 7};
  static constexpr int kTextX = 35;
  static constexpr int kTextXWithIcons = 30;
  static constexpr int kTextY = 5;

  LayeredMenuItem(const std::wstring& text, Upp::Color color);

  LayeredMenuItem& SetIcon(const Upp::Image& icon) { icon_ = icon; Refresh(); return *this; }
  LayeredMenuItem& Mark(bool marked = true) { marked_ = marked; Refresh(); return *this; }
  LayeredMenuItem& IconColumn(bool on = true) { icon_column_ = on; Refresh(); return *this; }
  const std::wstring& GetText() const { return text_; }
  Upp::Color GetColor() const { return color_; }
  bool IsHot() const { return hot_; }
  bool IsMarked() const { return marked_; }
  bool HasIconColumn() const { return icon_column_; }

  void Paint(Upp::Draw& w) override;
  void MouseEnter(Upp::Point p, uint32_t keyflags) override;
  void MouseLeave() override;
  void LeftDown(Upp::Point p, uint32_t keyflags) override;
  void LeftUp(Upp::Point p, uint32_t keyflags) override;

 private:
  Upp::Image icon_;
  bool marked_ = false;
  bool hot_ = false;
  bool icon_column_ = false;
  bool pressed_ = false;
  std::wstring text_;
  Upp::Color color_;
};

}  // namespace ctrls
