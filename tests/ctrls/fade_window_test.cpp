#include <gtest/gtest.h>

#include <vector>

#include "common/test_util.h"
#include "ctrls/fade_window.h"

namespace {

class TestFadeWindow : public ctrls::FadeWindow {
 public:
  Upp::Image GetShadowImage() override { return Upp::Image(); }
};

std::vector<int> RunSteps(TestFadeWindow& w, int ticks) {
  std::vector<int> alphas;
  for (int i = 0; i < ticks && w.IsFading(); ++i) {
    w.FadeTick();
    alphas.push_back(w.GetAlpha());
  }
  return alphas;
}

TEST(FadeWindowTest, FourStepsReach63_127_191_255AndStayStops) {
  TestFadeWindow w;
  w.SetSteps(4).SetStay(true);
  w.FadeIn();
  EXPECT_EQ(w.GetAlpha(), 0);
  EXPECT_EQ(RunSteps(w, 10), (std::vector<int>{63, 127, 191, 255}));
  EXPECT_FALSE(w.IsFading());
}

TEST(FadeWindowTest, WithoutStayOneMoreTickEndsTheFade) {
  TestFadeWindow w;
  w.SetSteps(4).SetStay(false);
  w.FadeIn();
  EXPECT_EQ(RunSteps(w, 4), (std::vector<int>{63, 127, 191, 255}));
  EXPECT_TRUE(w.IsFading());
  w.FadeTick();
  EXPECT_FALSE(w.IsFading());
  EXPECT_EQ(w.GetAlpha(), 255);
}

TEST(FadeWindowTest, MaximumAlphaScalesSteps) {
  TestFadeWindow w;
  w.SetSteps(7).SetMaxAlpha(200).SetStay(true);
  w.FadeIn();
  const std::vector<int> a = RunSteps(w, 10);
  ASSERT_EQ(a.size(), 7u);
  EXPECT_EQ(a[0], 28);
  EXPECT_EQ(a[6], 200);
}

TEST(FadeWindowTest, RealWindowFadesInOnTimerAndHasNoTaskbarButton) {
  TestFadeWindow w;
  w.EnableShadow(false);
  w.NoCenter().SetRect(20, 20, 120, 80);
  w.SetBackgroundColor(Upp::Color(255, 0, 0));
  w.SetSteps(4).SetStay(true);
  ASSERT_NE(w.Create(nullptr), nullptr);
  const LONG ex = GetWindowLongW(w.GetHWND(), GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_LAYERED);
  EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
  w.FadeIn();
  EXPECT_TRUE(w.IsShown());
  ASSERT_TRUE(testutil::PumpUntil([&] { return !w.IsFading(); }, 5000));
  ASSERT_TRUE(testutil::PumpUntil([&] { return !w.GetContent().IsUpdatePending(); }, 3000));
  EXPECT_EQ(w.GetStep(), 4);
  EXPECT_EQ(w.GetLastPushAlpha(), 255);
  DestroyWindow(w.GetHWND());
}

TEST(FadeWindowTest, CloseStopsFadeAndRunsCallback) {
  TestFadeWindow w;
  w.EnableShadow(false);
  w.NoCenter().SetRect(20, 20, 120, 80);
  int closes = 0;
  w.WhenFadeClose = [&] { ++closes; };
  ASSERT_NE(w.Create(nullptr), nullptr);
  w.FadeIn();
  w.Close();
  EXPECT_FALSE(w.IsFading());
  EXPECT_FALSE(w.IsOpen());
  EXPECT_EQ(closes, 1);
}

}  // namespace
