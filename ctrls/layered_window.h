// A per-pixel-alpha top-level window (WS_EX_LAYERED): the whole control
// tree lives in one content control that renders it off screen and pushes
// each frame with a single UpdateLayeredWindow. Refreshes are coalesced to
// at most one push per 30 ms (see LayeredCtrl); a zoom other than 1 pushes
// the cached snapshot scaled to an even-sized rectangle centred on the
// window.
//
// Ownership: the window owns the content control; the system box lives in
// it, above the added controls. Added controls are not owned.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/layered_ctrl.h"
#include "ctrls/panel.h"
#include "ctrls/top_window.h"
#include "upp/image.h"

namespace ctrls {

class LayeredWindow : public TopWindow {
 public:
  using Content = LayeredCtrl<Panel<Upp::Ctrl>>;

  LayeredWindow();
  ~LayeredWindow() override;

  void AddCtrl(Upp::Ctrl& ctrl) override;
  void SetBackgroundColor(Upp::Color color) override;
  void SetBackgroundImage(const Upp::Image& image) override;
  bool ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

  Content& GetContent() { return content_; }
  void SetAlpha(int alpha) { content_.SetAlpha(alpha); }
  int GetAlpha() const { return content_.GetAlpha(); }
  // The next push re-renders now, ignoring the throttle (after a show).
  void UpdateScreenNow() { UpdateScreen(); }

  // What the last push handed to UpdateLayeredWindow (kept for tests and
  // screenshots while KeepLastFrame is on).
  void KeepLastFrame(bool on) { keep_last_frame_ = on; }
  const Upp::Image& GetLastFrame() const { return last_frame_; }
  Upp::Rect GetLastFrameRect() const { return last_rect_; }
  int GetPushCount() const { return pushes_; }
  int GetLastPushAlpha() const { return last_alpha_; }

 protected:
  bool IsBackground(const Upp::Ctrl* ctrl) const override {
    return ctrl == &top_ || ctrl == &content_;
  }
  Upp::Ctrl& ContentCtrl() override { return content_; }
  void UpdateScreen();

 private:
  void FitContent();

  Content content_;
  bool pushing_ = false;      // inside UpdateLayeredWindow
  bool zoomed_last_ = false;  // the window shows a zoomed frame
  Upp::Point normal_origin_;  // screen top-left of the unzoomed window
  bool keep_last_frame_ = false;
  Upp::Image last_frame_;
  Upp::Rect last_rect_;
  int pushes_ = 0;
  int last_alpha_ = -1;
};

}  // namespace ctrls
