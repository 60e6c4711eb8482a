// The horizontal progress bar of the download panel: a nine-grid
// background and a fill whose width is value / total of the control's
// width. The skin chooses whether the fill image is stretched over the
// filled part or uncovered at its natural size (tile).
//
// Values are not clamped; painting is clipped to the control, so a value
// past the total shows a full bar and a negative one an empty bar. A total
// of 0 counts as 1.
//
// Ownership: the style record belongs to the skin reader (or is the shared
// built-in one) and must outlive the control.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <cstdint>

#include "skin/styles.h"
#include "upp/ctrl.h"

namespace ctrls {

class ProgressCtrl : public Upp::Ctrl {
 public:
  using Style = skin::ProgressCtrlStyle;

  static constexpr int kDefaultTotal = 100000;

  ProgressCtrl();

  // No images: a bar with this style draws nothing.
  static const Style& StyleDefault();
  ProgressCtrl& SetStyle(const Style& style);
  const Style& GetStyle() const { return *style_; }

  ProgressCtrl& Set(int32_t value, int32_t total);
  int32_t GetValue() const { return value_; }
  int32_t GetTotal() const { return total_; }

  // Width of the fill in a bar `width` pixels wide.
  static int FillWidth(int width, int32_t value, int32_t total);

  void Paint(Upp::Draw& w) override;

 private:
  const Style* style_;
  int32_t value_ = 0;
  int32_t total_ = kDefaultTotal;
};

}  // namespace ctrls
