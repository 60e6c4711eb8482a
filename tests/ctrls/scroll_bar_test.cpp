#include <gtest/gtest.h>

#include "common/test_images.h"
#include "common/test_util.h"
#include "ctrls/scroll_bar.h"
#include "upp/offscreen_host.h"

namespace {

using ctrls::ScrollBar;
using Upp::Point;
using Upp::Size;

using testutil::Solid;

Upp::RGBA Pixel(int r, int g, int b) {
  Upp::RGBA p;
  p.r = uint8_t(r);
  p.g = uint8_t(g);
  p.b = uint8_t(b);
  p.a = 255;
  return p;
}

// A vertical bar 10 x 200 with no arrows: the track is the whole bar.
class ScrollBarTest : public testing::Test {
 protected:
  ScrollBarTest() : host(root, Size(10, 200)) {
    bar.SetRect(0, 0, 10, 200);
    root.Add(bar);
    bar.WhenScroll = Upp::BindFn([this] { ++scrolls; });
    bar.WhenAction = Upp::BindFn([this] { ++actions; });
  }

  Upp::Ctrl root;
  ScrollBar bar;
  Upp::OffscreenHost host;
  int scrolls = 0;
  int actions = 0;
};

TEST_F(ScrollBarTest, ThumbIsPageOverTotalOfTrack) {
  bar.Set(100, 1000, 0);
  EXPECT_EQ(bar.GetThumbSize(), 20);
  EXPECT_EQ(bar.GetThumbPos(), 0);
  bar.SetPos(450);
  EXPECT_EQ(bar.GetThumbPos(), 90);
}

TEST_F(ScrollBarTest, ShortThumbUsesMinimumAndSpreadsOverTheRest) {
  bar.Set(100, 10000, 9900);
  EXPECT_EQ(bar.GetThumbSize(), 16);
  EXPECT_EQ(bar.GetThumbPos(), 184);
}

TEST_F(ScrollBarTest, StyleMinimumLargerThanSixteenWins) {
  ScrollBar::Style style;
  style.thumbmin = 30;
  bar.SetStyle(style);
  bar.Set(100, 10000, 0);
  EXPECT_EQ(bar.GetThumbSize(), 30);
}

TEST_F(ScrollBarTest, PageNotSmallerThanTotalFillsTrackAndDisablesArrows) {
  bar.Set(1000, 1000, 0);
  EXPECT_EQ(bar.GetThumbSize(), 200);
  EXPECT_EQ(bar.GetThumbPos(), 0);
  EXPECT_FALSE(bar.UpButton().IsEnabled());
  EXPECT_FALSE(bar.DownButton().IsEnabled());
  bar.Set(100, 1000, 0);
  EXPECT_TRUE(bar.UpButton().IsEnabled());
  EXPECT_TRUE(bar.DownButton().IsEnabled());
}

TEST_F(ScrollBarTest, TotalZeroGivesFullThumb) {
  bar.Set(0, 0, 0);
  EXPECT_EQ(bar.GetThumbSize(), 200);
  EXPECT_EQ(bar.GetThumbPos(), 0);
}

TEST_F(ScrollBarTest, AutoHideShowsBarOnlyWhenScrollable) {
  bar.AutoHide();
  bar.Set(100, 50, 0);
  EXPECT_FALSE(bar.IsShown());
  bar.Set(100, 500, 0);
  EXPECT_TRUE(bar.IsShown());
}

TEST_F(ScrollBarTest, PositionIsClampedAndOnlyChangesReport) {
  bar.Set(100, 1000, 0);
  EXPECT_FALSE(bar.SetPos(-5));
  EXPECT_TRUE(bar.SetPos(5000));
  EXPECT_EQ(bar.GetPos(), 900);
  EXPECT_FALSE(bar.SetPos(900));
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(actions, 0);  // SetPos is not the user's doing
}

TEST_F(ScrollBarTest, StepsMoveByLinePageWheelAndEnds) {
  bar.SetLine(10);
  bar.Set(100, 1000, 500);
  EXPECT_TRUE(bar.LineDown());
  EXPECT_EQ(bar.GetPos(), 510);
  EXPECT_TRUE(bar.LineUp());
  EXPECT_EQ(bar.GetPos(), 500);
  EXPECT_TRUE(bar.PageDown());
  EXPECT_EQ(bar.GetPos(), 590);
  EXPECT_TRUE(bar.PageUp());
  EXPECT_EQ(bar.GetPos(), 500);
  EXPECT_TRUE(bar.Wheel(-240, 3));
  EXPECT_EQ(bar.GetPos(), 560);
  EXPECT_TRUE(bar.End());
  EXPECT_EQ(bar.GetPos(), 900);
  EXPECT_FALSE(bar.End());
  EXPECT_TRUE(bar.Home());
  EXPECT_EQ(bar.GetPos(), 0);
  EXPECT_EQ(actions, 7);
}

TEST_F(ScrollBarTest, PageStepIsAtLeastOne) {
  bar.SetLine(50);
  bar.Set(20, 1000, 0);
  EXPECT_TRUE(bar.PageDown());
  EXPECT_EQ(bar.GetPos(), 1);
}

TEST_F(ScrollBarTest, HitTestFindsThumbAndBothSidesOfTrack) {
  bar.Set(100, 1000, 450);  // thumb 90..110
  EXPECT_EQ(bar.HitTest(Point(5, 95)), ScrollBar::kThumb);
  EXPECT_EQ(bar.HitTest(Point(5, 89)), ScrollBar::kBefore);
  EXPECT_EQ(bar.HitTest(Point(5, 110)), ScrollBar::kAfter);
  EXPECT_EQ(bar.HitTest(Point(20, 95)), ScrollBar::kNone);
}

TEST_F(ScrollBarTest, ThumbDragFollowsMouseAndScrollsLive) {
  bar.Set(100, 1000, 0);  // thumb 0..20
  host.Move(Point(5, 5));
  host.Press(Point(5, 5));
  EXPECT_EQ(bar.GetPressedPart(), ScrollBar::kThumb);
  EXPECT_TRUE(host.HasMouseCapture());
  host.Move(Point(5, 55), Upp::K_LBUTTON);
  EXPECT_EQ(bar.GetThumbPos(), 50);
  EXPECT_EQ(bar.GetPos(), 250);  // 50 x 1000 / 200
  host.Move(Point(5, 500), Upp::K_LBUTTON);
  EXPECT_EQ(bar.GetThumbPos(), 180);
  EXPECT_EQ(bar.GetPos(), 900);  // the end of the track is the end
  host.Release(Point(5, 500));
  EXPECT_FALSE(host.HasMouseCapture());
  EXPECT_EQ(bar.GetPressedPart(), ScrollBar::kNone);
  EXPECT_GE(actions, 2);
}

TEST_F(ScrollBarTest, DragWithoutLiveScrollConvertsOnRelease) {
  bar.LiveScroll(false);
  bar.Set(100, 10000, 0);  // minimum thumb 16
  host.Move(Point(5, 3));
  host.Press(Point(5, 3));
  host.Move(Point(5, 95), Upp::K_LBUTTON);
  EXPECT_EQ(bar.GetThumbPos(), 92);
  EXPECT_EQ(bar.GetPos(), 0);
  host.Release(Point(5, 95));
  EXPECT_EQ(bar.GetPos(), 92 * 9900 / 184);
  EXPECT_EQ(bar.GetThumbPos(), 92);
}

TEST_F(ScrollBarTest, TrackClickPagesAndRepeatsUntilThumbReachesMouse) {
  bar.Set(100, 1000, 0);  // thumb 0..20
  host.Move(Point(5, 150));
  host.Press(Point(5, 150));
  EXPECT_EQ(bar.GetPos(), 99);  // a page less one line
  EXPECT_EQ(bar.GetPressedPart(), ScrollBar::kAfter);
  for (int i = 0; i < 20; ++i)
    root.DispatchMouse(Upp::Ctrl::LEFTREPEAT, Point(5, 150), 0, Upp::K_LBUTTON);
  // Paging stops once the thumb covers the mouse: thumb 138..158 at 693.
  EXPECT_EQ(bar.GetPos(), 693);
  host.Release(Point(5, 150));
  host.Move(Point(5, 10));
  host.Press(Point(5, 10));
  EXPECT_EQ(bar.GetPos(), 594);
  host.Release(Point(5, 10));
}

TEST_F(ScrollBarTest, MoveWithoutButtonEndsACancelledDrag) {
  bar.Set(100, 1000, 0);
  host.Move(Point(5, 5));
  host.Press(Point(5, 5));
  root.CaptureLost();
  host.Move(Point(5, 80));  // the button is no longer down
  EXPECT_EQ(bar.GetPressedPart(), ScrollBar::kNone);
  EXPECT_EQ(bar.GetThumbPos(), 0);
  EXPECT_EQ(bar.GetPos(), 0);
}

TEST_F(ScrollBarTest, TrackJumpCentresThumbOnMouse) {
  bar.TrackJump();
  bar.Set(100, 1000, 0);
  host.Move(Point(5, 110));
  host.Press(Point(5, 110));
  EXPECT_EQ(bar.GetThumbPos(), 100);
  EXPECT_EQ(bar.GetPos(), 500);
  host.Release(Point(5, 110));
}

TEST_F(ScrollBarTest, WheelOverBarScrollsByLines) {
  bar.SetLine(7);
  bar.Set(100, 1000, 100);
  host.Wheel(Point(5, 100), -120);
  EXPECT_EQ(bar.GetPos(), 107);
}

TEST_F(ScrollBarTest, PaintsTrackAndThumbWithStyleLooks) {
  ScrollBar::Style style;
  for (int i = 0; i < 4; ++i) {
    style.vupper[i] = Solid(Size(4, 4), Pixel(0, 0, 10 + i));
    style.vthumb[i] = Solid(Size(4, 4), Pixel(0, 20 + i, 0));
    style.vlower[i] = Solid(Size(4, 4), Pixel(30 + i, 0, 0));
  }
  bar.SetStyle(style);
  bar.Set(100, 1000, 450);  // thumb 90..110
  Upp::Draw& d = host.Paint();
  EXPECT_EQ(d.At(5, 50).b, 10);
  EXPECT_EQ(d.At(5, 100).g, 20);
  EXPECT_EQ(d.At(5, 150).r, 30);
  host.Move(Point(5, 100));
  host.Paint();
  EXPECT_EQ(host.Surface().At(5, 100).g, 21);  // hot thumb
  bar.Set(1000, 1000, 0);
  host.Paint();
  EXPECT_EQ(host.Surface().At(5, 100).g, 23);  // nothing to scroll
}

TEST_F(ScrollBarTest, ArrowsShortenTrackAndStepByLine) {
  ScrollBar::Style style;
  style.arrowsize = 10;
  bar.SetStyle(style);
  bar.SetLine(5);
  bar.Set(90, 1800, 0);
  EXPECT_EQ(bar.GetTrackLength(), 180);
  EXPECT_EQ(bar.GetThumbSize(), 16);  // 9 < 16
  host.Move(Point(5, 195));
  host.Press(Point(5, 195));
  EXPECT_EQ(bar.GetPos(), 5);
  root.DispatchMouse(Upp::Ctrl::LEFTREPEAT, Point(5, 195), 0, Upp::K_LBUTTON);
  EXPECT_EQ(bar.GetPos(), 10);
  host.Release(Point(5, 195));
  host.Move(Point(5, 5));
  host.Press(Point(5, 5));
  host.Release(Point(5, 5));
  EXPECT_EQ(bar.GetPos(), 5);
}

TEST_F(ScrollBarTest, HeldArrowRepeatsOnTheToolkitTimerUntilReleased) {
  ScrollBar::Style style;
  style.arrowsize = 10;
  bar.SetStyle(style);
  bar.Set(90, 1800, 0);
  host.Move(Point(5, 195));
  host.Press(Point(5, 195));
  EXPECT_EQ(bar.GetPos(), 1);
  ASSERT_TRUE(testutil::PumpUntil([&] { return bar.GetPos() >= 3; }, 5000));
  host.Release(Point(5, 195));
  const int released_at = bar.GetPos();
  testutil::PumpFor(300);
  EXPECT_EQ(bar.GetPos(), released_at);
}

}  // namespace
