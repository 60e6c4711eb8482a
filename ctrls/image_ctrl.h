// An image strip: images left to right at their natural size, then an
// optional caption. When the strip is wider than the control it shows as
// many images as fit together with "..." (at least one), the caption, and
// the "..." after them. A left press runs WhenAction.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <string>
#include <vector>

#include "upp/color.h"
#include "upp/ctrl.h"
#include "upp/font.h"
#include "upp/image.h"

namespace ctrls {

class ImageCtrl : public Upp::Ctrl {
 public:
  ImageCtrl();

  ImageCtrl& Add(const Upp::Image& image, bool refresh = true);
  ImageCtrl& Clear();
  ImageCtrl& SetText(const std::wstring& text);
  ImageCtrl& SetInk(Upp::Color ink) { ink_ = ink; Refresh(); return *this; }
  ImageCtrl& SetFont(const Upp::Font& font) { font_ = font; Refresh(); return *this; }
  ImageCtrl& SetTextOffset(Upp::Point offset) { offset_ = offset; Refresh(); return *this; }

  int GetImageCount() const { return static_cast<int>(images_.size()); }
  // Images the last paint showed.
  int GetShownCount() const { return shown_; }
  bool ShowsEllipsis() const { return ellipsis_; }

  void Paint(Upp::Draw& w) override;
  void LeftDown(Upp::Point, uint32_t) override { WhenAction(); }

 private:
  std::vector<Upp::Image> images_;
  int shown_ = 0;
  bool ellipsis_ = false;
  Upp::Color ink_;
  Upp::Font font_;
  Upp::Point offset_;
  std::wstring text_;
};

}  // namespace ctrls
