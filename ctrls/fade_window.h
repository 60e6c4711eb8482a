// A layered popup that fades in (menus): showing starts at alpha 0 and
// steps to the maximum in `steps` steps `interval` ms apart; with the stay
// flag the window then stays fully shown. No task-bar button.
//
// Ownership: the step timer dies with the window.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/layered_window.h"
#include "upp/callback.h"

namespace ctrls {

class FadeWindow : public LayeredWindow {
 public:
  FadeWindow();
  ~FadeWindow() override;

  Upp::Callback WhenFadeClose;

  FadeWindow& SetSteps(int steps) { steps_ = steps < 1 ? 1 : steps; return *this; }
  FadeWindow& SetInterval(int ms) { interval_ = ms < 1 ? 1 : ms; return *this; }
  FadeWindow& SetMaxAlpha(int alpha) { max_alpha_ = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha; return *this; }
  FadeWindow& SetStay(bool stay) { stay_ = stay; return *this; }
  int GetStep() const { return step_; }
  bool IsFading() const { return fading_; }

  // Shows the window from alpha 0 and starts stepping.
  void FadeIn();
  // One step (the timer calls it; tests call it directly).
  void FadeTick();

  void Close() override;

 private:
  void StopFade();

  int step_ = 0;
  int interval_ = 30;
  int steps_ = 7;
  int max_alpha_ = 255;
  bool stay_ = false;
  bool fading_ = false;
};

}  // namespace ctrls
