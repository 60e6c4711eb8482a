// What the progress panel shows per download-manager state, and the
// percentage, press guard and bar animator arithmetic.
#include <gtest/gtest.h>

#include <vector>

#include "app/ui/bar_animator.h"
#include "app/ui/press_guard.h"
#include "app/ui/progress_rules.h"
#include "ctrls/animation_clock.h"

namespace {

using namespace korvan;

TEST(ProgressRulesTest, EachStateShowsExactlyItsButtons) {
  const uint32_t expected[12] = {
      0,                     // 0 initial
      kButtonStart,          // 1 no earlier download
      kButtonResumeStartup,  // 2 earlier download found
      kButtonStart,          // 3 ready, new
      kButtonResumeStartup,  // 4 ready, resume
      kButtonPause,          // 5 starting
      kButtonPause,          // 6 downloading
      kButtonPause,          // 7 all received
      kButtonResumePaused,   // 8 paused
      kButtonInstall,        // 9 finished
      kButtonRetry,          // 10 failed, retryable
      kButtonRetry,          // 11 failed file check
  };
  for (int s = 0; s < 12; ++s) EXPECT_EQ(VisibleButtons(s), expected[s]) << "state " << s;
  EXPECT_EQ(VisibleButtons(-1), 0u);
  EXPECT_EQ(VisibleButtons(12), 0u);
}

TEST(ProgressRulesTest, FolderButtonEnablesInOneAndFourAndChoosesInOneAndThree) {
  for (int s = 0; s < 12; ++s) {
    EXPECT_EQ(EnablesFolderButton(s), s == 1 || s == 4) << s;
    EXPECT_EQ(FolderButtonChooses(s), s == 1 || s == 3) << s;
  }
}

TEST(ProgressRulesTest, StatusTextsByState) {
  struct Row {
    int state;
    const wchar_t* text;
    bool animate;
  };
  const Row rows[] = {
      {0, L"正正在获取下载信息，即将开始下载", true},
      {1, L"正正在获取下载信息，即将开始下载", true},
      {2, L"正正在获取下载信息，即将开始下载", true},
      {3, L"请点击“开始下载”将为您加速下载《Korvan》", false},
      {4, L"请点击“继续下载”将为您加速下载《Korvan》", false},
      {5, L"正在为您下载游戏，下载需要花费一定时间，请耐心等待", true},
      {6, L"正在为您下载游戏，下载需要花费一定时间，请耐心等待", true},
      {7, L"文件下载完成，正在验证文件完整性", true},
      {8, L"下载已暂停，点击“继续下载”将继续下载游戏", false},
      {9, L"游戏下载完成，请点击“开始安装”开始按装《Korvan》", false},
  };
  for (const Row& r : rows) {
    const StatusLine line = StatusForState(r.state);
    ASSERT_NE(line.text, nullptr) << r.state;
    EXPECT_EQ(std::wstring(line.text), r.text) << r.state;
    EXPECT_EQ(line.animate, r.animate) << r.state;
  }
  // The failure states leave the line to the error text.
  EXPECT_EQ(StatusForState(10).text, nullptr);
  EXPECT_EQ(StatusForState(11).text, nullptr);
  EXPECT_EQ(StatusForState(42).text, nullptr);
}

TEST(ProgressRulesTest, PercentTextHasOneDecimalBelowTheTotal) {
  EXPECT_EQ(PercentText(BarValueOf(0.37521f), 10000), L"37.5%");
  EXPECT_EQ(PercentText(BarValueOf(1.0f), 10000), L"100%");
  EXPECT_EQ(PercentText(5, 0), L"0%");
  EXPECT_EQ(PercentText(0, 10000), L"0.0%");
  EXPECT_EQ(PercentText(9999, 10000), L"100.0%");  // 99.99 rounds in the text only
  EXPECT_EQ(PercentText(12000, 10000), L"100%");
  EXPECT_EQ(PercentText(1, 3), L"33.3%");
}

TEST(ProgressRulesTest, BarValueTruncatesTheFraction) {
  EXPECT_EQ(BarValueOf(0.37521f), 3752u);
  EXPECT_EQ(BarValueOf(0.99999f), 9999u);
  EXPECT_EQ(BarValueOf(1.0f), 10000u);
  EXPECT_EQ(BarValueOf(0.0f), 0u);
  EXPECT_EQ(BarValueOf(-0.5f), 0u);
}

uint32_t g_ticks = 0;
uint32_t FakeTicks() { return g_ticks; }

TEST(PressGuardTest, PressesWithin1001MsCountOnce) {
  PressGuard guard(&FakeTicks);
  g_ticks = 50000;
  EXPECT_TRUE(guard.Accept());
  g_ticks = 50000 + 1000;
  EXPECT_FALSE(guard.Accept());
  // A refused press does not restart the gap.
  g_ticks = 50000 + 1001;
  EXPECT_TRUE(guard.Accept());
  g_ticks += 1;
  EXPECT_FALSE(guard.Accept());
  g_ticks += 5000;
  EXPECT_TRUE(guard.Accept());
}

TEST(PressGuardTest, SurvivesTheTickCountWrapping) {
  PressGuard guard(&FakeTicks);
  g_ticks = 0xFFFFFF00u;
  EXPECT_TRUE(guard.Accept());
  g_ticks = 0x00000100u;  // 512 ms later, past the wrap
  EXPECT_FALSE(guard.Accept());
  g_ticks = 0x00000400u;  // 1280 ms later
  EXPECT_TRUE(guard.Accept());
}

uint64_t g_now = 1000000;
uint64_t FakeNow() { return g_now; }

class BarAnimatorTest : public testing::Test {
 protected:
  BarAnimatorTest() {
    ctrls::SetAnimationClock(&FakeNow);
    animator.WhenValue = [this](uint32_t v, uint32_t t) {
      values.push_back(v);
      totals.push_back(t);
    };
  }
  ~BarAnimatorTest() override { ctrls::SetAnimationClock(nullptr); }
  void Advance(int ms) {
    g_now += ms;
    animator.timer().Tick();
  }
  BarAnimator animator;
  std::vector<uint32_t> values, totals;
};

TEST_F(BarAnimatorTest, MovesLinearlyOver2000MsAndEndsExactlyOnTheTarget) {
  ASSERT_TRUE(animator.Start(1000, 3000, 10000));
  Advance(500);
  Advance(500);
  Advance(700);
  Advance(300);  // 2000: the last step reports the target
  ASSERT_EQ(values, (std::vector<uint32_t>{1500, 2000, 2700, 3000}));
  Advance(30);  // the end reports the target once more
  EXPECT_EQ(values.back(), 3000u);
  EXPECT_EQ(values.size(), 5u);
  EXPECT_FALSE(animator.IsRunning());
  for (uint32_t t : totals) EXPECT_EQ(t, 10000u);
}

TEST_F(BarAnimatorTest, LateTicksSkipStepsAndNeverGoBack) {
  ASSERT_TRUE(animator.Start(0, 9999, 10000));
  const int gaps[] = {30, 1, 400, 30, 999, 30, 800, 30};
  for (int g : gaps) Advance(g);
  for (size_t i = 1; i < values.size(); ++i) EXPECT_GE(values[i], values[i - 1]);
  EXPECT_EQ(values.back(), 9999u);
  EXPECT_EQ(BarAnimator::ValueAt(0, 9999, 1999, 2000), 9994u);  // integer arithmetic
}

TEST_F(BarAnimatorTest, AStartThatWouldRunBackwardsDoesNothing) {
  EXPECT_FALSE(animator.Start(5000, 4000, 10000));
  EXPECT_FALSE(animator.Start(5000, 5000, 10000));
  EXPECT_FALSE(animator.IsRunning());
  Advance(3000);
  EXPECT_TRUE(values.empty());
}

TEST_F(BarAnimatorTest, RepeatedReportsOfOneTargetDoNotSlowTheMove) {
  // A paused download goes on reporting the same figure every half second.
  ASSERT_TRUE(animator.Start(0, 4000, 10000));
  for (int i = 0; i < 3; ++i) {
    Advance(500);
    ASSERT_TRUE(animator.Start(values.back(), 4000, 10000));
  }
  Advance(500);
  EXPECT_EQ(values.back(), 4000u) << "still short of the target 2000 ms after it was set";
  // A new target does start a new move from where the bar is.
  ASSERT_TRUE(animator.Start(4000, 6000, 10000));
  Advance(1000);
  EXPECT_EQ(values.back(), 5000u);
}

TEST_F(BarAnimatorTest, StopLeavesTheLastStepWhereItWas) {
  ASSERT_TRUE(animator.Start(0, 2000, 10000));
  Advance(1000);
  animator.Stop();
  Advance(5000);
  EXPECT_EQ(values, (std::vector<uint32_t>{1000}));
}

}  // namespace
