#include "ctrls/button.h"

#include "upp/draw.h"
#include "upp/toolkit.h"

namespace ctrls {

const Button::Style& Button::StyleDefault() {
  static const Style* style = new Style;  // shared by every unstyled button until exit
  return *style;
}

Button::Button() : style_(&StyleDefault()), animator_(this), font_(Upp::StdFont()) {
  animator_.SetInterval(kFadeIntervalMs).SetCount(kFadeFrames).DeleteWhenDone(false);
  animator_.WhenStep = Upp::Bind<Upp::Ctrl*, int, int>(this, &Button::OnFadeStep);
  animator_.WhenEnd = Upp::Bind(this, &Button::OnFadeEnd);
}

Button::~Button() = default;

Button& Button::SetStyle(const Style& style) {
  style_ = &style;
  Refresh();
  return *this;
}

Button& Button::SetLabel(const std::wstring& text) {
  label_ = text;
  label_size_ = Upp::GetTextSize(label_, font_);
  Refresh();
  return *this;
}

Button& Button::SetFont(const Upp::Font& font) {
  font_ = font;
  label_size_ = Upp::GetTextSize(label_, font_);
  Refresh();
  return *this;
}

Upp::RGBA Button::FadePixel(Upp::RGBA from, Upp::RGBA to, int percent) {
  auto mix = [percent](int f, int t) { return static_cast<uint8_t>(f + (t - f) * percent / 100); };
  return Upp::RGBA{mix(from.b, to.b), mix(from.g, to.g), mix(from.r, to.r), mix(from.a, to.a)};
}

Upp::Image Button::CrossFade(const Upp::Image& from, const Upp::Image& to, int percent) {
  const Upp::Size size = from.IsEmpty() ? to.GetSize() : from.GetSize();
  if (size.IsEmpty()) return Upp::Image();
  Upp::ImageBuffer buffer(size);
  for (int y = 0; y < size.cy; ++y) {
    Upp::RGBA* row = buffer.Row(y);
    for (int x = 0; x < size.cx; ++x) row[x] = FadePixel(from.At(x, y), to.At(x, y), percent);
  }
  return buffer.Finish();
}

void Button::Paint(Upp::Draw& w) {
  const Style& s = *style_;
  const Upp::Rect view = GetView();
  Upp::Color ink = s.textcolor[0];
  if (s.look[0].GetSize().IsEmpty()) {
    w.DrawRect(view, Upp::Color(0x80, 0x80, 0x80));
  } else if (!IsEnabled()) {
    w.DrawImage(view, s.look[3]);
    ink = s.textcolor[3];
  } else {
    switch (state_) {
      case kNormal: w.DrawImage(view, s.look[0]); break;
      case kHot: w.DrawImage(view, s.look[1]); ink = s.textcolor[1]; break;
      case kPressed: w.DrawImage(view, s.look[2]); ink = s.textcolor[2]; break;
      case kFadeNormalToHot: w.DrawImage(view, CrossFade(s.look[0], s.look[1], percent_)); break;
      case kFadeHotToNormal: w.DrawImage(view, CrossFade(s.look[1], s.look[0], percent_)); break;
      case kFadePressedToHot: w.DrawImage(view, CrossFade(s.look[2], s.look[1], percent_)); break;
      default: break;
    }
  }
  if (label_.empty()) return;
  // A style without colours still shows its caption.
  if (ink.IsNull()) ink = Upp::Color(0, 0, 0);
  int x = text_offset_.x, y = text_offset_.y;
  const Upp::Size size = GetSize();
  if (s.align == 1 || s.align == 3) y += (size.cy - label_size_.cy) / 2 - 1;
  if (s.align == 3) x += (size.cx - label_size_.cx) / 2;
  if (state_ == kPressed && IsEnabled()) {
    x += s.pressoffset.x;
    y += s.pressoffset.y;
  }
  w.DrawText(x, y, label_, font_, ink);
}

void Button::StartFade(State state) {
  state_ = state;
  percent_ = 0;
  animator_.Start();
}

void Button::MouseEnter(Upp::Point, uint32_t) {
  if (!IsEnabled() || state_ == kPressed) return;
  if (animate_) {
    StartFade(kFadeNormalToHot);
  } else {
    state_ = kHot;
  }
  Refresh();
}

void Button::MouseLeave() {
  if (!IsEnabled() || state_ == kPressed) return;
  if (animate_) {
    StartFade(kFadeHotToNormal);
  } else {
    state_ = kNormal;
  }
  Refresh();
}

void Button::LeftDown(Upp::Point, uint32_t) {
  if (!IsEnabled()) return;
  animator_.Stop();
  state_ = kPressed;
  SetCapture();
  Upp::Ptr<Upp::Ctrl> alive(this);
  WhenPush();
  if (alive) Refresh();
}

void Button::LeftRepeat(Upp::Point, uint32_t) {
  if (IsEnabled()) WhenRepeat();
}

void Button::LeftUp(Upp::Point p, uint32_t) {
  animator_.Stop();
  ReleaseCapture();
  const bool click = GetView().Contains(p) && state_ == kPressed && IsEnabled();
  if (!animate_) {
    state_ = click ? kHot : kNormal;
  } else {
    StartFade(click ? kFadePressedToHot : kFadeHotToNormal);
  }
  Refresh();
  if (click) WhenAction();
}

// No click: the press ends where the mouse is now, as if it had just
// arrived (hot under the mouse, normal elsewhere).
void Button::CancelMode() {
  if (state_ != kPressed) return;
  animator_.Stop();
  percent_ = 0;
  state_ = HasMouse() && IsEnabled() ? kHot : kNormal;
  Refresh();
}

void Button::OnFadeStep(Upp::Ctrl*, int frame, int count) {
  percent_ = (frame + 1) * 100 / (count + 1);
  Refresh();
}

void Button::OnFadeEnd() {
  if (state_ == kFadeNormalToHot || state_ == kFadePressedToHot) state_ = kHot;
  else if (state_ == kFadeHotToNormal) state_ = kNormal;
  percent_ = 0;
  Refresh();
}

}  // namespace ctrls
