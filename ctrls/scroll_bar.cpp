#include "ctrls/scroll_bar.h"

#include <algorithm>
#include <cmath>

#include "upp/toolkit.h"

namespace ctrls {

namespace {

// The arrows are decrease/increase buttons; a held press repeats the step.
void WireArrow(Button& b, Upp::Callback step) {
  b.WhenPush = step;
  b.WhenRepeat = step;
}

}  // namespace

ScrollBar::ScrollBar() : style_(&StyleDefault()) {
  Add(prev_).Add(next_).Add(prev2_).Add(next2_);
  WireArrow(prev_, Upp::BindFn([this] { LineUp(); }));
  WireArrow(prev2_, Upp::BindFn([this] { LineUp(); }));
  WireArrow(next_, Upp::BindFn([this] { LineDown(); }));
  WireArrow(next2_, Upp::BindFn([this] { LineDown(); }));
  for (Button* b : {&prev_, &next_, &prev2_, &next2_}) b->NoAnimate();
  EnableArrows(false);
}

ScrollBar::~ScrollBar() = default;

const ScrollBar::Style& ScrollBar::StyleDefault() {
  static const Style style;
  return style;
}

ScrollBar& ScrollBar::SetStyle(const Style& style) {
  style_ = &style;
  prev_.SetStyle(horz_ ? style.left : style.up);
  next_.SetStyle(horz_ ? style.right : style.down);
  prev2_.SetStyle(horz_ ? style.left2 : style.up2);
  next2_.SetStyle(horz_ ? style.right2 : style.down2);
  Layout();
  SetPos(pos_);
  Refresh();
  return *this;
}

int ScrollBar::GetMinThumb() const { return std::max(kMinThumb, style_->thumbmin); }

Upp::Rect ScrollBar::GetTrackRect() const {
  Upp::Size sz = GetSize();
  int a = std::max(0, style_->arrowsize);
  // The second arrows sit beside the opposite ends (see Layout): the second
  // "next" after the first arrow, the second "prev" before the last one.
  const bool second_next = horz_ ? style_->isright2 : style_->isdown2;
  const bool second_prev = horz_ ? style_->isleft2 : style_->isup2;
  int before = a + (second_next ? a : 0);
  int after = a + (second_prev ? a : 0);
  if (horz_) return Upp::Rect(before, 0, std::max(before, sz.cx - after), sz.cy);
  return Upp::Rect(0, before, sz.cx, std::max(before, sz.cy - after));
}

int ScrollBar::GetTrackLength() const {
  Upp::Rect t = GetTrackRect();
  return horz_ ? t.Width() : t.Height();
}

void ScrollBar::Layout() {
  Upp::Size sz = GetSize();
  int a = std::max(0, style_->arrowsize);
  bool second_prev = horz_ ? style_->isleft2 : style_->isup2;
  bool second_next = horz_ ? style_->isright2 : style_->isdown2;
  // The main pair sits at the ends; the second pair, when the skin asks for
  // it, sits beside the opposite arrow so each end can go both ways.
  auto place = [&](Button& b, int at, bool shown) {
    b.Show(shown && a > 0);
    if (horz_) b.SetRect(at, 0, a, sz.cy);
    else b.SetRect(0, at, sz.cx, a);
  };
  int len = horz_ ? sz.cx : sz.cy;
  place(prev_, 0, true);
  place(next2_, a, second_next);
  place(prev2_, len - 2 * a, second_prev);
  place(next_, len - a, true);
  SetPos(pos_);
}

void ScrollBar::EnableArrows(bool enable) {
  for (Button* b : {&prev_, &next_, &prev2_, &next2_}) b->Enable(enable);
}

void ScrollBar::Set(int page, int total, int pos) {
  page_ = page;
  total_ = total;
  bool scrollable = IsScrollable();
  if (autohide_) Show(scrollable);
  if (autodisable_ && prev_.IsEnabled() != scrollable) {
    EnableArrows(scrollable);
    Refresh();
  }
  SetPos(pos);
}

bool ScrollBar::SetPos(int p) {
  // 64-bit so that huge totals cannot overflow the clamp.
  int64_t hi = int64_t(total_) - page_;
  int64_t clamped = std::max<int64_t>(0, std::min<int64_t>(p, hi));
  int L = GetTrackLength();
  int g = GetMinThumb();
  int size, off;
  if (total_ <= 0) {
    size = L;
    off = 0;
  } else {
    double t = double(L) * page_ / total_;
    if (t >= L || t < 0) {
      off = 0;
      size = L;
    } else if (t <= g) {
      size = g;
      off = hi > 0 ? int(std::floor(double(L - g) * clamped / hi)) : 0;
    } else {
      size = int(std::ceil(t));
      off = int(std::floor(double(L) * clamped / total_));
    }
  }
  size = std::min(size, L);
  off = std::max(0, std::min(off, L - size));
  if (size != thumb_size_ || off != thumb_pos_) {
    thumb_size_ = size;
    thumb_pos_ = off;
    Refresh();
  }
  if (clamped != pos_) {
    pos_ = int32_t(clamped);
    WhenScroll();
    return true;
  }
  return false;
}

bool ScrollBar::LineUp() { return SetPos(pos_ - line_) ? (Action(), true) : false; }
bool ScrollBar::LineDown() { return SetPos(pos_ + line_) ? (Action(), true) : false; }
bool ScrollBar::PageUp() {
  return SetPos(pos_ - std::max(page_ - line_, 1)) ? (Action(), true) : false;
}
bool ScrollBar::PageDown() {
  return SetPos(pos_ + std::max(page_ - line_, 1)) ? (Action(), true) : false;
}
bool ScrollBar::Wheel(int delta, int factor) {
  int64_t step = int64_t(delta) * line_ * factor / 120;
  return SetPos(int(pos_ - step)) ? (Action(), true) : false;
}
bool ScrollBar::Home() { return SetPos(0) ? (Action(), true) : false; }
bool ScrollBar::End() { return SetPos(total_ - page_) ? (Action(), true) : false; }

Upp::Rect ScrollBar::PartRect(int part) const {
  Upp::Rect t = GetTrackRect();
  int a = horz_ ? t.left : t.top;
  int from = 0, to = 0;
  switch (part) {
    case kThumb: from = thumb_pos_; to = thumb_pos_ + thumb_size_; break;
    case kBefore: from = 0; to = thumb_pos_; break;
    case kAfter: from = thumb_pos_ + thumb_size_; to = GetTrackLength(); break;
    default: return Upp::Rect();
  }
  if (horz_) return Upp::Rect(a + from, t.top, a + to, t.bottom);
  return Upp::Rect(t.left, a + from, t.right, a + to);
}

int ScrollBar::HitTest(Upp::Point p) const {
  for (int part : {kThumb, kAfter, kBefore})
    if (PartRect(part).Contains(p)) return part;
  return kNone;
}

int ScrollBar::Along(Upp::Point p) const {
  Upp::Rect t = GetTrackRect();
  return horz_ ? p.x - t.left : p.y - t.top;
}

void ScrollBar::MoveThumb(int along) {
  int L = GetTrackLength();
  int off = std::max(0, along - grab_);
  off = std::min(off, std::max(0, L - thumb_size_));
  if (off != thumb_pos_) {
    thumb_pos_ = off;
    Refresh();
  }
  if (live_) ThumbToPos();
}

void ScrollBar::ThumbToPos() {
  int L = GetTrackLength();
  int g = GetMinThumb();
  int64_t p;
  if (thumb_pos_ >= L - thumb_size_) {
    p = int64_t(total_) - page_;
  } else if (thumb_size_ == g) {
    p = L - g > 0 ? int64_t(thumb_pos_) * (int64_t(total_) - page_) / (L - g) : 0;
  } else {
    p = L > 0 ? int64_t(thumb_pos_) * total_ / L : 0;
  }
  // The thumb stays where the hand put it; SetPos would snap it to the
  // position's own offset, which rounds differently.
  int keep = thumb_pos_;
  bool changed = SetPos(int(p));
  if (thumb_pos_ != keep) {
    thumb_pos_ = keep;
    Refresh();
  }
  if (changed) Action();
}

void ScrollBar::LeftDown(Upp::Point p, uint32_t) {
  int part = HitTest(p);
  if (part == kNone) return;
  push_ = uint8_t(part);
  if (part == kThumb) {
    grab_ = Along(p) - thumb_pos_;
    dragging_ = true;
  } else if (jump_) {
    grab_ = thumb_size_ / 2;
    push_ = kThumb;
    dragging_ = true;
    MoveThumb(Along(p));
  } else if (part == kBefore) {
    PageUp();
  } else {
    PageDown();
  }
  SetCapture();
  Refresh();
  WhenLeftDown();
}

void ScrollBar::LeftRepeat(Upp::Point p, uint32_t) {
  if (dragging_ || push_ == kNone) return;
  // Keep paging only while the mouse is still on the pressed side: once the
  // thumb has reached the mouse it stops there.
  if (HitTest(p) != push_) return;
  if (push_ == kBefore) PageUp();
  else if (push_ == kAfter) PageDown();
}

void ScrollBar::MouseMove(Upp::Point p, uint32_t keyflags) {
  // The toolkit does not tell a control that its capture was taken away;
  // a move without the button is how a cancelled drag shows up here.
  if (dragging_ && !(keyflags & Upp::K_LBUTTON)) LeftUp(p, keyflags);
  if (dragging_) {
    MoveThumb(Along(p));
    return;
  }
  int part = HitTest(p);
  if (part != light_) {
    light_ = uint8_t(part);
    Refresh();
  }
}

void ScrollBar::LeftUp(Upp::Point, uint32_t) {
  ReleaseCapture();
  if (dragging_ && !live_) ThumbToPos();
  dragging_ = false;
  push_ = kNone;
  Refresh();
}

// A drag ends where the thumb was left, as a release would end it; a held
// arrow or page press just stops.
void ScrollBar::CancelMode() {
  if (dragging_ && !live_) ThumbToPos();
  dragging_ = false;
  push_ = kNone;
  light_ = kNone;
  Refresh();
}

void ScrollBar::MouseLeave() {
  if (light_ != kNone) {
    light_ = kNone;
    Refresh();
  }
}

void ScrollBar::MouseWheel(Upp::Point, int zdelta, uint32_t) { Wheel(zdelta); }

void ScrollBar::Paint(Upp::Draw& w) {
  const Upp::Image* upper = horz_ ? style_->hupper : style_->vupper;
  const Upp::Image* thumb = horz_ ? style_->hthumb : style_->vthumb;
  const Upp::Image* lower = horz_ ? style_->hlower : style_->vlower;
  bool scrollable = IsScrollable();
  auto look = [&](int part) {
    if (!scrollable || !IsEnabled()) return 3;
    if (push_ == part) return 2;
    if (light_ == part) return 1;
    return 0;
  };
  auto draw = [&](const Upp::Rect& r, const Upp::Image& img) {
    if (!r.IsEmpty() && !img.GetSize().IsEmpty()) w.DrawNineGrid(r, img);
  };
  draw(PartRect(kBefore), upper[look(kBefore)]);
  draw(PartRect(kAfter), lower[look(kAfter)]);
  draw(PartRect(kThumb), thumb[look(kThumb)]);
}

}  // namespace ctrls
