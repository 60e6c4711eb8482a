#include "ctrls/system_panel.h"

#include <windows.h>

#include "upp/draw.h"

namespace ctrls {

namespace {

// The skin's texts are GBK bytes.
std::wstring FromGbk(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

}  // namespace

const SystemPanel::Style& SystemPanel::StyleDefault() {
  static const Style* style = new Style;  // shared by unstyled panels until exit
  return *style;
}

SystemPanel::SystemPanel() : style_(&StyleDefault()) {
  restore_.NoAnimate();
  maximize_.NoAnimate();
  restore_.Hide();
  maximize_.Hide();
  close_.WhenAction = [this] { WhenClose(); };
  minimize_.WhenAction = [this] { WhenMinimize(); };
  Add(close_).Add(restore_).Add(maximize_).Add(minimize_);
}

SystemPanel& SystemPanel::SetStyle(const Style& style) {
  style_ = &style;
  close_.SetStyle(style.closebox);
  minimize_.SetStyle(style.minbox);
  restore_.SetStyle(style.restorebox);
  maximize_.SetStyle(style.maxbox);
  title_ = FromGbk(style.titletext);
  Layout();
  Refresh();
  return *this;
}

SystemPanel& SystemPanel::SetTitleInk(Upp::Color ink) {
  ink_override_ = true;
  title_ink_ = ink;
  Refresh();
  return *this;
}

Upp::Rect SystemPanel::PlaceButton(const Button::Style& style, Upp::Size box) {
  const int width = style.posx.y, height = style.posy.y;
  const int left = box.cx - style.posx.x - width;
  return Upp::Rect(left, style.posy.x, left + width, style.posy.x + height);
}

void SystemPanel::Layout() {
  const Upp::Size box = GetSize();
  for (Button* b : {&close_, &minimize_}) {
    const Upp::Rect r = PlaceButton(b->GetStyle(), box);
    b->SetRect(r);
    // A style without the button leaves it out.
    b->Show(!r.IsEmpty() && !b->GetStyle().look[0].IsEmpty());
  }
  Refresh();
}

void SystemPanel::Paint(Upp::Draw& w) {
  const Style& s = *style_;
  if (!s.icon.IsEmpty()) w.DrawImage(s.iconpos.x, s.iconpos.y, s.icon);
  if (!title_.empty()) {
    w.DrawText(s.titlepos.x, s.titlepos.y, title_, s.titlefont, ink_override_ ? title_ink_ : s.titleink);
  }
}

}  // namespace ctrls
