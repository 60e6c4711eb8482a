#include <gtest/gtest.h>

#include "common/test_util.h"
#include "ctrls/layered_ctrl.h"
#include "ctrls/panel.h"
#include "fake_clock.h"
#include "upp/timer_queue.h"

namespace {

using ctrls_test::FakeClock;
using Upp::Point;
using Upp::Rect;
using Upp::RGBA;
using Upp::Size;

TEST(LayeredCtrlTest, TwoRefreshesTenMsApartGiveOneUpdateNowAndOneDeferred) {
  FakeClock clock;
  ctrls::LayeredCtrl<> content;
  content.SetRect(0, 0, 50, 50);
  content.DeferredUpdate();  // flush what setting up asked for
  clock.Advance(1000);
  const int base = content.GetUpdateCount();
  content.Refresh();  // the last update is old: at once
  ASSERT_EQ(content.GetUpdateCount(), base + 1);
  ASSERT_FALSE(content.IsUpdatePending());
  clock.Advance(10);
  content.Refresh();  // 10 ms after the last update: deferred
  EXPECT_EQ(content.GetUpdateCount(), base + 1);
  EXPECT_TRUE(content.IsUpdatePending());
  clock.Advance(5);
  content.Refresh();  // coalesced into the pending one
  content.Refresh(Rect(1, 1, 2, 2));
  EXPECT_EQ(content.GetUpdateCount(), base + 1);
  ASSERT_TRUE(testutil::PumpUntil([&] { return content.GetUpdateCount() == base + 2; }, 3000));
  EXPECT_FALSE(content.IsUpdatePending());
  testutil::PumpFor(3 * ctrls::LayeredCtrl<>::kMinUpdateGapMs);
  EXPECT_EQ(content.GetUpdateCount(), base + 2);
}

TEST(LayeredCtrlTest, SuppressedRefreshIsIgnored) {
  FakeClock clock;
  ctrls::LayeredCtrl<> content;
  content.SetRect(0, 0, 50, 50);
  const int before = content.GetUpdateCount();
  content.SuppressRefresh(true);
  clock.Advance(100);
  content.Refresh();
  EXPECT_EQ(content.GetUpdateCount(), before);
}

TEST(LayeredCtrlTest, ChildRefreshGoesToTheOutermostLayeredControl) {
  FakeClock clock;
  ctrls::LayeredCtrl<> outer;
  ctrls::LayeredCtrl<> inner;
  ctrls::Panel<> leaf;
  outer.SetRect(0, 0, 100, 100);
  inner.SetRect(10, 10, 50, 50);
  leaf.SetRect(5, 5, 10, 10);
  outer.Add(inner);
  inner.Add(leaf);
  outer.DeferredUpdate();  // flush what building the tree asked for
  int outer_pushes = 0, inner_pushes = 0;
  outer.WhenUpdateScreen = [&] { ++outer_pushes; };
  inner.WhenUpdateScreen = [&] { ++inner_pushes; };
  clock.Advance(1000);
  leaf.Refresh();
  EXPECT_EQ(outer_pushes, 1);
  EXPECT_EQ(inner_pushes, 0);
}

TEST(LayeredCtrlTest, ZoomedSizeIsRoundedUpToEvenSides) {
  EXPECT_EQ(ctrls::LayeredCtrl<>::ZoomedSize(Size(685, 494), 1.0), Size(686, 494));
  EXPECT_EQ(ctrls::LayeredCtrl<>::ZoomedSize(Size(100, 50), 0.88), Size(88, 44));
  EXPECT_EQ(ctrls::LayeredCtrl<>::ZoomedSize(Size(101, 51), 1.03), Size(106, 54));  // 104.03, 52.53
}

TEST(LayeredCtrlTest, FrameHoldsTheTreeAndZoomFramesUseTheCachedSnapshot) {
  ctrls::LayeredCtrl<> content;
  ctrls::Panel<> child;
  content.SetRect(0, 0, 40, 20);
  content.SetBackgroundColor(Upp::Color(0, 0, 255));
  child.SetRect(0, 0, 20, 20);
  child.SetBackgroundColor(Upp::Color(255, 0, 0));
  content.Add(child);
  Upp::Image frame = content.RenderFrame();
  ASSERT_EQ(frame.GetSize(), Size(40, 20));
  EXPECT_EQ(frame.At(5, 5), (RGBA{0, 0, 255, 255}));
  EXPECT_EQ(frame.At(35, 5), (RGBA{255, 0, 0, 255}));
  content.SetZoom(0.5);
  Upp::Image small = content.RenderFrame();
  ASSERT_EQ(small.GetSize(), Size(20, 10));
  EXPECT_EQ(small.At(2, 2), (RGBA{0, 0, 255, 255}));
  // The snapshot is kept until marked dirty.
  child.SetBackgroundColor(Upp::Color(0, 255, 0));
  EXPECT_EQ(content.RenderFrame().At(2, 2), (RGBA{0, 0, 255, 255}));
  content.MarkDirty();
  EXPECT_EQ(content.RenderFrame().At(2, 2), (RGBA{0, 255, 0, 255}));
}

}  // namespace
