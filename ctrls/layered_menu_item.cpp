#include "ctrls/layered_menu_item.h"

#include "upp/draw.h"
#include "upp/font.h"

namespace ctrls {

LayeredMenuItem::LayeredMenuItem(const std::wstring& text, Upp::Color color)
    : text_(text), color_(color) {}

void LayeredMenuItem::Paint(Upp::Draw& w) {
  Upp::Rect r = GetView();
  r = Upp::Rect(r.left + kInset, r.top + kInset, r.right - kInset, r.bottom - kInset);
  w.DrawRect(r, hot_ ? kHotColor : kColor);
  int text_x = kTextX;
  if (icon_column_) {
    if (marked_ && !icon_.GetSize().IsEmpty()) w.DrawImage(kIconPos.x, kIconPos.y, icon_);
    text_x = kTextXWithIcons;
  }
  w.DrawText(text_x, kTextY, text_, Upp::StdFont(), color_);
}

void LayeredMenuItem::MouseEnter(Upp::Point, uint32_t) {
  hot_ = true;
  Refresh();
}

void LayeredMenuItem::MouseLeave() {
  hot_ = false;
  pressed_ = false;
  Refresh();
}

void LayeredMenuItem::LeftDown(Upp::Point, uint32_t) { pressed_ = true; }

void LayeredMenuItem::LeftUp(Upp::Point p, uint32_t) {
  // Only a release over the row that was pressed chooses it; dragging off
  // the row and letting go is a change of mind.
  const bool click = pressed_ && GetView().Contains(p);
  pressed_ = false;
  if (click) WhenAction();
}

}  // namespace ctrls
