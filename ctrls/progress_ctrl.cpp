#include "ctrls/progress_ctrl.h"

#include "upp/draw.h"
#include "upp/toolkit.h"

namespace ctrls {

ProgressCtrl::ProgressCtrl() : style_(&StyleDefault()) {}

const ProgressCtrl::Style& ProgressCtrl::StyleDefault() {
  static const Style style;
  return style;
}

ProgressCtrl& ProgressCtrl::SetStyle(const Style& style) {
  UPP_CHECK_UI_THREAD();
  style_ = &style;
  Refresh();
  return *this;
}

ProgressCtrl& ProgressCtrl::Set(int32_t value, int32_t total) {
  UPP_CHECK_UI_THREAD();
  value_ = value;
  total_ = total;
  Refresh();
  return *this;
}

int ProgressCtrl::FillWidth(int width, int32_t value, int32_t total) {
  const double t = total == 0 ? 1.0 : static_cast<double>(total);
  const double f = static_cast<double>(width) * static_cast<double>(value) / t;
  // Far past either end the bar is full or empty anyway; keep the cast
  // inside int's range.
  if (f <= 0) return f > -1.0 ? 0 : -1;
  if (f >= width) return width;
  return static_cast<int>(f);  // truncates toward zero
}

void ProgressCtrl::Paint(Upp::Draw& w) {
  const Upp::Size size = GetSize();
  if (!style_->bg.IsEmpty()) w.DrawNineGrid(Upp::Rect(Upp::Point(), size), style_->bg);
  const int f = FillWidth(size.cx, value_, total_);
  if (f <= 0 || style_->block.IsEmpty()) return;
  const Upp::Rect fill(0, 0, f, size.cy);
  if (style_->tile)
    w.DrawImage(0, 0, style_->block, fill);  // the left f columns, unscaled
  else
    w.DrawNineGrid(fill, style_->block);
}

}  // namespace ctrls
