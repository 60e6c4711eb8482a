#include <gtest/gtest.h>

#include "common/test_util.h"
#include "ctrls/animate_layered_window.h"
#include "fake_clock.h"

namespace {

using ctrls::AnimateLayeredWindow;
using ctrls_test::FakeClock;

class PopWindow : public AnimateLayeredWindow {
 public:
  int finished = 0;
  int code = -1;
  Upp::Image GetShadowImage() override { return Upp::Image(); }
  void OnCloseFinished(int c) override {
    ++finished;
    code = c;
  }
  int Alpha() { return GetContent().GetAlpha(); }
  double Zoom() { return GetContent().GetZoom(); }
};

TEST(AnimateLayeredWindowTest, OffUntilEnabledAndCloseFinishesAtOnce) {
  PopWindow w;
  EXPECT_FALSE(w.IsPopEnabled());
  EXPECT_EQ(w.Zoom(), 1.0);
  w.AnimateClose(3);
  EXPECT_EQ(w.finished, 1);
  EXPECT_EQ(w.code, 3);
  EXPECT_FALSE(w.GetAnimator().IsRunning());
}

TEST(AnimateLayeredWindowTest, EnableStartsSmallAndFaint) {
  PopWindow w;
  w.EnablePopAnimation();
  EXPECT_TRUE(w.IsPopEnabled());
  EXPECT_EQ(w.Alpha(), 64);
  EXPECT_DOUBLE_EQ(w.Zoom(), 0.88);
}

TEST(AnimateLayeredWindowTest, OpeningStepValues) {
  PopWindow w;
  w.EnablePopAnimation();
  w.OpenStep1(100, 200);
  EXPECT_EQ(w.Alpha(), 124);
  EXPECT_DOUBLE_EQ(w.Zoom(), 0.88 + 0.15 * 100 / 200);
  w.OpenStep1(199, 200);
  EXPECT_EQ(w.Alpha(), 64 + 120 * 199 / 200);  // truncated: 183
  EXPECT_EQ(w.Alpha(), 183);
  w.OpenStep2(50, 100);
  EXPECT_EQ(w.Alpha(), 219);
  EXPECT_NEAR(w.Zoom(), 1.015, 1e-12);
}

TEST(AnimateLayeredWindowTest, ClosingStepValues) {
  PopWindow w;
  w.EnablePopAnimation();
  w.CloseStep1(50, 100);
  EXPECT_EQ(w.Alpha(), 195);
  EXPECT_NEAR(w.Zoom(), 0.985, 1e-12);
  w.CloseStep2(100, 200);
  EXPECT_EQ(w.Alpha(), 68);
  EXPECT_NEAR(w.Zoom(), 1.01, 1e-12);
}

TEST(AnimateLayeredWindowTest, OpeningRunsBothPhasesAndEndsExactlyAtFull) {
  FakeClock clock;
  PopWindow w;
  w.EnablePopAnimation();
  w.AnimateOpen();
  auto& anim = w.GetAnimator();
  ASSERT_EQ(anim.GetPhase(), 1);
  clock.Advance(100);
  anim.Phase(1).Tick();
  EXPECT_EQ(w.Alpha(), 124);
  clock.Advance(500);  // late: the step reports the full phase
  anim.Phase(1).Tick();
  EXPECT_EQ(w.Alpha(), 184);
  EXPECT_NEAR(w.Zoom(), 1.03, 1e-12);
  anim.Phase(1).Tick();  // end of phase 1
  ASSERT_TRUE(testutil::PumpUntil([&] { return anim.Phase(2).IsRunning(); }, 3000));
  clock.Advance(1000);  // every step of phase 2 missed
  anim.Phase(2).Tick();
  anim.Phase(2).Tick();
  EXPECT_FALSE(anim.IsRunning());
  EXPECT_EQ(w.Alpha(), 255);
  EXPECT_EQ(w.Zoom(), 1.0);
}

TEST(AnimateLayeredWindowTest, ClosingEndsTransparentAndCallsHookWithCode) {
  FakeClock clock;
  PopWindow w;
  w.EnablePopAnimation();
  w.AnimateClose(9);
  EXPECT_FALSE(w.IsPopEnabled());
  auto& anim = w.GetAnimator();
  clock.Advance(50);
  anim.Phase(1).Tick();
  EXPECT_EQ(w.Alpha(), 195);
  clock.Advance(500);
  anim.Phase(1).Tick();
  anim.Phase(1).Tick();
  EXPECT_EQ(w.Alpha(), 135);
  EXPECT_NEAR(w.Zoom(), 0.97, 1e-12);
  ASSERT_TRUE(testutil::PumpUntil([&] { return anim.Phase(2).IsRunning(); }, 3000));
  EXPECT_EQ(w.finished, 0);
  clock.Advance(1000);
  anim.Phase(2).Tick();
  anim.Phase(2).Tick();
  EXPECT_EQ(w.finished, 1);
  EXPECT_EQ(w.code, 9);
  EXPECT_EQ(w.Alpha(), 0);
  EXPECT_DOUBLE_EQ(w.Zoom(), 1.05);
  EXPECT_TRUE(w.IsPopEnabled());
}

TEST(AnimateLayeredWindowTest, RealWindowOpensWithAnimationToFullFrame) {
  PopWindow w;
  w.EnableShadow(false);
  w.NoCenter().SetRect(50, 50, 250, 150);
  w.SetBackgroundColor(Upp::Color(0, 0, 255));
  w.KeepLastFrame(true);
  w.EnablePopAnimation();
  ASSERT_NE(w.Create(nullptr), nullptr);
  w.Show();
  ASSERT_TRUE(testutil::PumpUntil([&] { return !w.GetAnimator().IsRunning(); }, 5000));
  ASSERT_TRUE(testutil::PumpUntil([&] { return !w.GetContent().IsUpdatePending(); }, 3000));
  EXPECT_EQ(w.GetLastPushAlpha(), 255);
  EXPECT_EQ(w.GetLastFrameRect(), Upp::Rect(50, 50, 250, 150));
  DestroyWindow(w.GetHWND());
}

}  // namespace
