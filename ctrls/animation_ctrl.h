// A control that plays a list of frames, each an image (or part of one)
// shown stretched over the control for its own duration, looping. Play()
// starts from frame 0 and shows the control; WhenRunning tells true on Play
// and false on Stop.
//
// IMPORTANT: Thread-safety. User-interface thread only. The frame timer
// dies with the control.
#pragma once

#include <vector>

#include "upp/callback.h"
#include "upp/ctrl.h"
#include "upp/image.h"

namespace ctrls {

class AnimationCtrl : public Upp::Ctrl {
 public:
  AnimationCtrl() = default;
  ~AnimationCtrl() override;

  Upp::Callback1<bool> WhenRunning;

  AnimationCtrl& AddFrame(const Upp::Image& image, int duration_ms);
  void ClearFrames();
  void Play();
  void Stop();
  bool IsPlaying() const { return playing_; }

  int GetFrameCount() const { return static_cast<int>(frames_.size()); }
  int GetCurrentFrame() const { return current_; }
  // The part of its image frame `i` shows.
  Upp::Rect GetFrameRect(int i) const { return frames_[i].source; }

  // Shows the next frame (the frame timer calls it).
  void NextFrame();

  void Paint(Upp::Draw& w) override;

 protected:
  void AddFrame(const Upp::Image& image, const Upp::Rect& source, int duration_ms);

 private:
  struct Frame {
    Upp::Image image;
    Upp::Rect source;
    int duration_ms;
  };
  void Schedule();

  std::vector<Frame> frames_;
  int current_ = 0;
  bool playing_ = false;
};

}  // namespace ctrls
