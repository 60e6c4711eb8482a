// Static text with cycling dots: the prefix, then none, one, two and three
// dots, advancing every 500 ms ("正在加载", "正在加载.", ...).
//
// IMPORTANT: Thread-safety. User-interface thread only. The timer dies with
// the control.
#pragma once

#include <string>

#include "ctrls/static_text.h"

namespace ctrls {

class AnimateText : public StaticText {
 public:
  static constexpr int kPeriodMs = 500;

  AnimateText() = default;
  ~AnimateText() override;

  // With `animate`, starts the cycle for a new non-empty prefix; without,
  // stops it and shows the plain text.
  void SetText(const std::wstring& prefix, bool animate);
  const std::wstring& GetPrefix() const { return prefix_; }
  bool IsAnimating() const { return animating_; }

  // One step of the cycle (the timer calls it).
  void Step();

 private:
  void ShowCurrent();

  std::wstring prefix_;
  int counter_ = 0;
  bool animating_ = false;
};

}  // namespace ctrls
