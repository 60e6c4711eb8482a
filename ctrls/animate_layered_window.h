// A layered window that pops: it zooms and fades in when it opens and out
// when it closes, in two timed phases each way (200 ms then 100 ms in,
// 100 ms then 200 ms out), driven by the wall clock with a 30 ms tick.
// Off until EnablePopAnimation; without it AnimateClose finishes at once.
//
// Opening ends at exactly alpha 255 and zoom 1.0, whatever steps were late;
// closing ends at alpha 0 and zoom 1.05 and then calls OnCloseFinished(code),
// where subclasses hide or destroy the window.
//
// Ownership: owns its animator; the phases die with the window.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "base/multi_sec_animate2.h"
#include "ctrls/layered_window.h"

namespace ctrls {

class AnimateLayeredWindow : public LayeredWindow {
 public:
  static constexpr int kOpenPhase1Ms = 200, kOpenPhase2Ms = 100;
  static constexpr int kClosePhase1Ms = 100, kClosePhase2Ms = 200;

  AnimateLayeredWindow();

  virtual void OnCloseFinished(int code) {}

  void EnablePopAnimation();
  bool IsPopEnabled() const { return enabled_; }
  // Starts the opening animation (the init hook does when enabled).
  void AnimateOpen();
  void AnimateClose(int code);
  base::MultiSecAnimate2& GetAnimator() { return anim_; }

  void OnInit() override;

  // One step of each phase: `a` ms of `b`.
  void OpenStep1(int a, int b);
  void OpenStep2(int a, int b);
  void CloseStep1(int a, int b);
  void CloseStep2(int a, int b);

 private:
  void SetFrame(int alpha, double zoom);
  void OpenEnd1() { SetFrame(start_alpha_ + alpha_swing_, start_zoom_ + zoom_up_); }
  void OpenEnd2() { SetFrame(255, 1.0); }
  void CloseEnd1() { SetFrame(255 - alpha_swing_, 1.0 - zoom_down_); }
  void CloseEnd2();

  bool enabled_ = false;
  double start_zoom_ = 0.88;
  double zoom_up_ = 0.15;
  double zoom_down_ = 0.03;
  double close_zoom_ = 1.05;
  int start_alpha_ = 64;
  int alpha_swing_ = 120;
  int close_code_ = 0;
  base::MultiSecAnimate2 anim_;
};

}  // namespace ctrls
