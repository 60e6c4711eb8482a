// A plain panel: an optional background colour and background image (mode
// 1, the default, stretches the image as a nine-grid over the whole
// control); a left press runs WhenAction. Root and content controls of the
// windows are panels.
//
// Ownership: the image is a shared handle (the skin's pixels).
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "upp/color.h"
#include "upp/ctrl.h"
#include "upp/image.h"

namespace ctrls {

template <class T = Upp::Ctrl>
class Panel : public T {
 public:
  enum { kNoBackground = 0, kNineGrid = 1 };

  void SetBackground(const Upp::Image& image) { background_ = image; this->Refresh(); }
  void SetBackgroundMode(int mode) { mode_ = mode; this->Refresh(); }
  void SetBackgroundColor(Upp::Color color) { color_ = color; this->Refresh(); }
  const Upp::Image& GetBackground() const { return background_; }
  int GetBackgroundMode() const { return mode_; }
  Upp::Color GetBackgroundColor() const { return color_; }

  void Paint(Upp::Draw& w) override {
    if (!color_.IsNull()) w.DrawRect(this->GetView(), color_);
    if (!background_.GetSize().IsEmpty() && mode_ == kNineGrid)
      w.DrawNineGrid(this->GetView(), background_);
  }
  void LeftDown(Upp::Point, uint32_t) override { this->WhenAction(); }

 private:
  Upp::Image background_;
  int mode_ = kNineGrid;
  Upp::Color color_;
};

}  // namespace ctrls
