#include "ctrls/image_ctrl.h"

#include "upp/draw.h"

namespace ctrls {

ImageCtrl::ImageCtrl() : ink_(0x33, 0x33, 0x33), font_(Upp::StdFont()) {}

ImageCtrl& ImageCtrl::Add(const Upp::Image& image, bool refresh) {
  images_.push_back(image);
  if (refresh) Refresh();
  return *this;
}

ImageCtrl& ImageCtrl::Clear() {
  images_.clear();
  Refresh();
  return *this;
}

ImageCtrl& ImageCtrl::SetText(const std::wstring& text) {
  text_ = text;
  Refresh();
  return *this;
}

void ImageCtrl::Paint(Upp::Draw& w) {
  const Upp::Size size = GetSize();
  const bool caption = !text_.empty() && !ink_.IsNull();
  const int caption_width = caption ? Upp::GetTextSize(text_, font_).cx : 0;
  int total = offset_.x + caption_width;
  for (const Upp::Image& img : images_) total += img.GetWidth();
  int count = static_cast<int>(images_.size());
  ellipsis_ = total > size.cx && count > 0;
  const std::wstring dots = L"...";
  if (ellipsis_) {
    const int dots_width = Upp::GetTextSize(dots, font_).cx;
    int used = 0, fit = 0;
    for (const Upp::Image& img : images_) {
      if (used + img.GetWidth() + dots_width > size.cx) break;
      used += img.GetWidth();
      ++fit;
    }
    count = fit < 1 ? 1 : fit;
  }
  int x = 0;
  for (int i = 0; i < count; ++i) {
    w.DrawImage(x, 0, images_[i]);
    x += images_[i].GetWidth();
  }
  shown_ = count;
  if (caption) {
    w.DrawText(x + offset_.x, offset_.y, text_, font_, ink_);
    if (ellipsis_) x += offset_.x + caption_width;
  }
  if (ellipsis_) {
    const Upp::Color ink = ink_.IsNull() ? Upp::Color(0x33, 0x33, 0x33) : ink_;
    w.DrawText(x, size.cy - Upp::GetTextHeight(font_) + 4, dots, font_, ink);
  }
}

}  // namespace ctrls
