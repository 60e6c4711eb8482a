// The skinned scroll bar: a track with a thumb whose length is page / total
// of the track (never shorter than the minimum), two arrow buttons at each
// end, and the usual ways to scroll: arrows (with auto-repeat), clicks in
// the track (a page, auto-repeating while held, or a jump with track-jump),
// thumb dragging and the wheel.
//
// Positions run from 0 to total - page. Every change caused by the user runs
// WhenAction; every change of the position at all runs WhenScroll.
//
// Ownership: the style record belongs to the skin reader (or is the shared
// built-in one) and must outlive the bar; the arrow buttons are members.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <cstdint>

#include "ctrls/button.h"
#include "upp/callback.h"
#include "upp/ctrl.h"
#include "upp/image.h"

namespace ctrls {

// What the skin gives a scroll bar. Looks are indexed normal, hot, pressed,
// disabled, each drawn as a nine-grid: "upper" is the track before the
// thumb, "thumb" the thumb, "lower" the track after it. overthumb, through
// and vthumbex are kept for the format; the bar does not use them yet.
struct ScrollBarStyle : Upp::StyleHeader {
  int barsize = 16;
  int arrowsize = 0;  // 0: the arrows are hidden and the track fills the bar
  int thumbmin = 16;
  int overthumb = 0;
  bool through = false;
  int vthumbex = 0;
  Upp::Image vupper[4];
  Upp::Image vthumb[4];
  Upp::Image vlower[4];
  Upp::Image hupper[4];
  Upp::Image hthumb[4];
  Upp::Image hlower[4];
  Button::Style up, down, left, right;
  Button::Style up2, down2, left2, right2;
  bool isup2 = false, isdown2 = false, isleft2 = false, isright2 = false;
};

class ScrollBar : public Upp::Ctrl {
 public:
  using Style = ScrollBarStyle;

  enum Part : uint8_t { kThumb = 0, kBefore = 1, kAfter = 2, kNone = 255 };
  static constexpr int kMinThumb = 16;
  static constexpr int kDefaultThumb = 8;

  ScrollBar();
  ~ScrollBar() override;

  Upp::Callback WhenScroll;
  Upp::Callback WhenLeftDown;

  static const Style& StyleDefault();
  ScrollBar& SetStyle(const Style& style);
  const Style& GetStyle() const { return *style_; }

  ScrollBar& Horz(bool horz = true) { horz_ = horz; Layout(); return *this; }
  ScrollBar& Vert() { return Horz(false); }
  ScrollBar& TrackJump(bool on = true) { jump_ = on; return *this; }
  ScrollBar& LiveScroll(bool on = true) { live_ = on; return *this; }
  ScrollBar& AutoHide(bool on = true) { autohide_ = on; return *this; }
  ScrollBar& AutoDisable(bool on = true) { autodisable_ = on; return *this; }
  ScrollBar& SetLine(int line) { line_ = line; return *this; }

  void Set(int page, int total, int pos);
  bool SetPos(int pos);
  void SetTotal(int total) { Set(page_, total, pos_); }
  void SetPage(int page) { Set(page, total_, pos_); }

  int GetPos() const { return pos_; }
  int GetPage() const { return page_; }
  int GetTotal() const { return total_; }
  int GetLine() const { return line_; }
  bool IsScrollable() const { return page_ > 0 && page_ < total_; }

  // The user's steps; each runs WhenAction when the position changed.
  bool LineUp();
  bool LineDown();
  bool PageUp();
  bool PageDown();
  bool Wheel(int delta, int factor = 1);
  bool Home();
  bool End();

  // Thumb geometry along the track (the track's own coordinates).
  int GetThumbPos() const { return thumb_pos_; }
  int GetThumbSize() const { return thumb_size_; }
  int GetTrackLength() const;
  int GetMinThumb() const;
  int GetPressedPart() const { return push_; }
  int GetHotPart() const { return light_; }
  // The part of the track at `p` (bar coordinates), or kNone.
  int HitTest(Upp::Point p) const;
  // The track rectangle inside the bar (between the arrows).
  Upp::Rect GetTrackRect() const;

  Button& UpButton() { return prev_; }
  Button& DownButton() { return next_; }
  Button& UpButton2() { return prev2_; }
  Button& DownButton2() { return next2_; }

  void Layout() override;
  void Paint(Upp::Draw& w) override;
  void LeftDown(Upp::Point p, uint32_t keyflags) override;
  void LeftRepeat(Upp::Point p, uint32_t keyflags) override;
  void LeftUp(Upp::Point p, uint32_t keyflags) override;
  void MouseEnter(Upp::Point p, uint32_t keyflags) override { MouseMove(p, keyflags); }
  void MouseMove(Upp::Point p, uint32_t keyflags) override;
  void MouseLeave() override;
  void CancelMode() override;
  void MouseWheel(Upp::Point p, int zdelta, uint32_t keyflags) override;

 private:
  int Along(Upp::Point p) const;  // the mouse along the track
  Upp::Rect PartRect(int part) const;
  void ThumbToPos();
  void MoveThumb(int along);
  void EnableArrows(bool enable);
  void Action() { WhenAction(); }

  const Style* style_;
  Button prev_, next_, prev2_, next2_;
  bool horz_ = false;
  bool jump_ = false;
  bool live_ = true;
  bool autohide_ = false;
  bool autodisable_ = true;
  bool dragging_ = false;
  int32_t pos_ = 0;
  int32_t page_ = 0;
  int32_t total_ = 0;
  int32_t line_ = 1;
  int thumb_pos_ = 0;
  int thumb_size_ = kDefaultThumb;
  uint8_t light_ = kNone;
  uint8_t push_ = kNone;
  int grab_ = 0;
};

}  // namespace ctrls
