// The skinned four-look image button: normal, hot, pressed and disabled
// looks from its style, with a three-frame, 150 ms cross-fade between normal
// and hot (and from pressed back to hot) computed per pixel at each paint.
//
// Visual states: 0 normal, 1 fading normal->hot, 2 fading hot->normal,
// 3 fading pressed->hot, 4 hot, 5 pressed. Enter and leave are ignored while
// pressed; a release inside the button is the click (WhenAction).
//
// Ownership: the style record belongs to the skin reader (or is the
// built-in default) and must outlive the button; the button keeps a pointer.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <string>

#include "ctrls/animator.h"
#include "skin/styles.h"
#include "upp/callback.h"
#include "upp/ctrl.h"
#include "upp/font.h"
#include "upp/image.h"

namespace ctrls {

class Button : public Upp::Ctrl {
 public:
  using Style = skin::ButtonStyle;

  enum State {
    kNormal = 0,
    kFadeNormalToHot = 1,
    kFadeHotToNormal = 2,
    kFadePressedToHot = 3,
    kHot = 4,
    kPressed = 5,
  };
  static constexpr int kFadeFrames = 3;
  static constexpr int kFadeIntervalMs = 50;

  Button();
  ~Button() override;

  Upp::Callback WhenPush;
  Upp::Callback WhenRepeat;

  static const Style& StyleDefault();
  Button& SetStyle(const Style& style);
  const Style& GetStyle() const { return *style_; }
  Button& SetLabel(const std::wstring& text);
  const std::wstring& GetLabel() const { return label_; }
  Button& SetFont(const Upp::Font& font);
  Button& SetTextOffset(Upp::Point offset) { text_offset_ = offset; Refresh(); return *this; }
  Button& NoAnimate() { animate_ = false; return *this; }

  int GetState() const { return state_; }
  int GetFadePercent() const { return percent_; }
  Animator& GetAnimator() { return animator_; }

  // Per channel: from + (to - from) x percent / 100, truncated; `to` is
  // sampled at the same place (transparent outside it).
  static Upp::RGBA FadePixel(Upp::RGBA from, Upp::RGBA to, int percent);
  static Upp::Image CrossFade(const Upp::Image& from, const Upp::Image& to, int percent);

  void Paint(Upp::Draw& w) override;
  void MouseEnter(Upp::Point p, uint32_t keyflags) override;
  void MouseLeave() override;
  void LeftDown(Upp::Point p, uint32_t keyflags) override;
  void LeftRepeat(Upp::Point p, uint32_t keyflags) override;
  void LeftUp(Upp::Point p, uint32_t keyflags) override;
  void CancelMode() override;

 private:
  void OnFadeStep(Upp::Ctrl*, int frame, int count);
  void OnFadeEnd();
  void StartFade(State state);

  const Style* style_;
  bool animate_ = true;
  Animator animator_;
  int state_ = kNormal;
  int percent_ = 0;
  Upp::Point text_offset_;
  std::wstring label_;
  Upp::Font font_;
  Upp::Size label_size_;
};

}  // namespace ctrls
