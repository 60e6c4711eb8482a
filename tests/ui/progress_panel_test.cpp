// The progress panel driven through its handlers, with a recording
// download control and the shipped skin.
#include <gtest/gtest.h>

#include <memory>

#include "app/download_manager.h"
#include "app/ui/progress_panel.h"
#include "app/ui/progress_rules.h"
#include "ctrls/animation_clock.h"
#include "fake_download_control.h"
#include "skin/skin_loader.h"
#include "ui_test_env.h"
#include "upp/draw.h"

namespace {

using korvan::DownloadManager;
using korvan::ProgressPanel;
using uitest::FakeWorld;

uint32_t g_ticks = 100000;
uint32_t Ticks() { return g_ticks; }
uint64_t g_anim_now = 5000000;
uint64_t AnimNow() { return g_anim_now; }

Upp::Color Rgb(unsigned rgb) { return Upp::Color((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

class ProgressPanelTest : public uitest::SkinnedTest {
 protected:
  void SetUp() override {
    uitest::SkinnedTest::SetUp();
    ctrls::SetAnimationClock(&AnimNow);
    panel_ = std::make_unique<ProgressPanel>(std::make_unique<uitest::FakeDownloadControl>(&world_));
    panel_->press_guard().SetClock(&Ticks);
  }
  void TearDown() override {
    panel_.reset();
    ctrls::SetAnimationClock(nullptr);
    uitest::SkinnedTest::TearDown();
  }
  void EnterState(int32_t s) {
    world_.state = s;
    panel_->OnStateChanged();
  }
  void Later(uint32_t ms) { g_ticks += ms; }
  void Animate(int ms) {
    g_anim_now += ms;
    panel_->bar_animator().timer().Tick();
  }

  FakeWorld world_;
  std::unique_ptr<ProgressPanel> panel_;
};

TEST_F(ProgressPanelTest, ControlsSitAtTheirPlacesInTheirColours) {
  ProgressPanel& p = *panel_;
  EXPECT_EQ(p.GetRect(), Upp::Rect(0, 0, 618, 100));
  EXPECT_EQ(p.bar().GetRect(), Upp::Rect(76, 42, 76 + 328, 42 + 25));
  EXPECT_EQ(p.percent_text().GetRect(), Upp::Rect(401, 46, 401 + 45, 46 + 15));
  EXPECT_EQ(p.speed_text().GetRect(), Upp::Rect(308, 6, 308 + 150, 6 + 15));
  EXPECT_EQ(p.size_text().GetRect(), Upp::Rect(308, 23, 308 + 150, 23 + 15));
  EXPECT_EQ(p.folder_text().GetRect(), Upp::Rect(93, 15, 93 + 180, 15 + 15));
  EXPECT_EQ(p.folder_button().GetRect(), Upp::Rect(275, 14, 275 + 20, 14 + 16));
  EXPECT_EQ(p.status_line().GetRect(), Upp::Rect(19, 75, 19 + 400, 90));
  const Upp::Rect state_place(618 - 16 - 151, 5, 618 - 16, 5 + 59);
  for (ctrls::Button* b : {&p.start_button(), &p.resume_startup_button(), &p.pause_button(),
                           &p.resume_paused_button(), &p.retry_button(), &p.install_button()}) {
    EXPECT_EQ(b->GetRect(), state_place);
  }
  const Upp::Size field = skin::SkinLoader::Instance().Get<Upp::Image>("path_edit_bg").value.GetSize();
  EXPECT_EQ(p.folder_field().GetRect(), Upp::Rect(83, 8, 83 + 220, 8 + field.cy));
  // The advertisement 12 from the right and 5 from the bottom; the line
  // right-aligned 6 pixels left of it.
  const Upp::Size ad = skin::SkinLoader::Instance().Get<Upp::Image>("logo_ad").value.GetSize();
  ASSERT_GT(ad.cx, 0);
  EXPECT_EQ(p.ad_image().GetRect(), Upp::Rect(618 - 12 - ad.cx, 100 - 5 - ad.cy, 618 - 12, 95));
  EXPECT_EQ(p.promo_text().GetRect().right, p.ad_image().GetRect().left - 6);
  EXPECT_EQ(p.promo_text().GetRect().bottom, 90);
  EXPECT_EQ(p.promo_text().GetRect().Width(),
            Upp::GetTextSize(L"进入游戏即可领取海量军费及VIP", Upp::StdFont()).cx);

  EXPECT_EQ(p.percent_text().GetInk(), Rgb(uitest::kTextWhite));
  EXPECT_EQ(p.speed_text().GetInk(), Rgb(uitest::kTextWhite));
  EXPECT_EQ(p.folder_text().GetInk(), Rgb(uitest::kTextGray));
  EXPECT_EQ(p.promo_text().GetInk(), Rgb(uitest::kTextRed));
  EXPECT_EQ(p.status_line().GetInk(), Rgb(uitest::kTextGray));
  EXPECT_EQ(p.folder_text().GetText(), L"D:\\korvan");
  EXPECT_EQ(p.percent_text().GetText(), L"0%");
}

TEST_F(ProgressPanelTest, ButtonsFollowEveryState) {
  using namespace korvan;
  const uint32_t expected[12] = {0,
                                 kButtonStart,
                                 kButtonResumeStartup,
                                 kButtonStart,
                                 kButtonResumeStartup,
                                 kButtonPause,
                                 kButtonPause,
                                 kButtonPause,
                                 kButtonResumePaused,
                                 kButtonInstall,
                                 kButtonRetry,
                                 kButtonRetry};
  EXPECT_EQ(panel_->ShownButtons(), 0u);  // state 0 at construction
  for (int s : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 6, 9}) {
    EnterState(s);
    EXPECT_EQ(panel_->ShownButtons(), expected[s]) << "state " << s;
  }
}

TEST_F(ProgressPanelTest, FolderButtonWaitsForStateOneOrFourThenStaysEnabled) {
  EXPECT_FALSE(panel_->folder_button().IsEnabled());
  for (int s : {0, 2, 3, 5}) {
    EnterState(s);
    EXPECT_FALSE(panel_->folder_button().IsEnabled()) << s;
  }
  EnterState(4);
  EXPECT_TRUE(panel_->folder_button().IsEnabled());
  for (int s : {6, 9, 10, 0}) {
    EnterState(s);
    EXPECT_TRUE(panel_->folder_button().IsEnabled()) << s;
  }
}

TEST_F(ProgressPanelTest, StatusLineShowsTheStateTextInGreenUntilAnError) {
  EnterState(3);
  EXPECT_EQ(panel_->status_line().GetText(), L"请点击“开始下载”将为您加速下载《Korvan》");
  EXPECT_FALSE(panel_->status_line().IsAnimating());
  EXPECT_EQ(panel_->status_line().GetInk(), Rgb(uitest::kTextGreen));
  EnterState(6);
  EXPECT_EQ(panel_->status_line().GetPrefix(), L"正在为您下载游戏，下载需要花费一定时间，请耐心等待");
  EXPECT_TRUE(panel_->status_line().IsAnimating());

  panel_->OnError(L"下载失败错误码：12");
  EXPECT_EQ(panel_->status_line().GetText(), L"下载失败错误码：12");
  EXPECT_EQ(panel_->status_line().GetInk(), Upp::Color(255, 0, 0));
  EXPECT_FALSE(panel_->status_line().IsAnimating());
  // The failure states keep the error text.
  EnterState(10);
  EXPECT_EQ(panel_->status_line().GetText(), L"下载失败错误码：12");
  EnterState(11);
  EXPECT_EQ(panel_->status_line().GetInk(), Upp::Color(255, 0, 0));
  // The next state with a text replaces it.
  EnterState(8);
  EXPECT_EQ(panel_->status_line().GetText(), L"下载已暂停，点击“继续下载”将继续下载游戏");
  EXPECT_EQ(panel_->status_line().GetInk(), Rgb(uitest::kTextGreen));

  panel_->SetStatus(L"自定义", RGB(1, 2, 3), false);
  EXPECT_EQ(panel_->status_line().GetText(), L"自定义");
  EXPECT_EQ(panel_->status_line().GetInk(), Upp::Color(1, 2, 3));
}

TEST_F(ProgressPanelTest, TwoPressesWithinASecondStartOnce) {
  EnterState(3);
  panel_->start_button().WhenAction();
  Later(1000);
  panel_->start_button().WhenAction();
  EXPECT_EQ(world_.starts, 1);
  Later(1);
  panel_->start_button().WhenAction();
  EXPECT_EQ(world_.starts, 2);
  // The guard is shared by every state button.
  Later(10);
  panel_->pause_button().WhenAction();
  EXPECT_EQ(world_.pauses, 0);
}

TEST_F(ProgressPanelTest, StateFourResumesBy500MsLaterUnlessAPressCameJustBefore) {
  EnterState(4);
  ASSERT_EQ(world_.deferred.size(), 1u);
  EXPECT_EQ(world_.deferred[0].delay_ms, 500);
  EXPECT_EQ(world_.deferred[0].owner, panel_.get());
  EXPECT_EQ(world_.starts, 0);
  world_.deferred[0].action();
  EXPECT_EQ(world_.starts, 1);

  // A press 500 ms before the automatic one wins; the automatic one is
  // refused by the guard.
  Later(5000);
  EnterState(4);
  panel_->resume_startup_button().WhenAction();
  EXPECT_EQ(world_.starts, 2);
  Later(500);
  world_.deferred.back().action();
  EXPECT_EQ(world_.starts, 2);
  // Other states schedule nothing.
  const size_t scheduled = world_.deferred.size();
  for (int s : {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11}) EnterState(s);
  EXPECT_EQ(world_.deferred.size(), scheduled);
}

TEST_F(ProgressPanelTest, EachButtonDrivesItsOperation) {
  EnterState(6);
  panel_->pause_button().WhenAction();
  EXPECT_EQ(world_.pauses, 1);
  Later(2000);
  EnterState(8);
  panel_->resume_paused_button().WhenAction();
  EXPECT_EQ(world_.resumes, 1);
  Later(2000);
  EnterState(10);
  panel_->retry_button().WhenAction();
  EXPECT_EQ(world_.retries, 1);
  EXPECT_EQ(world_.restarts, 0);
  Later(2000);
  EnterState(11);
  panel_->retry_button().WhenAction();
  EXPECT_EQ(world_.retries, 1);
  EXPECT_EQ(world_.restarts, 1);
  Later(2000);
  world_.state = 9;  // retry outside 10 and 11 does nothing
  panel_->OnRetryPressed();
  EXPECT_EQ(world_.retries + world_.restarts, 2);
  Later(2000);
  EnterState(9);
  panel_->install_button().WhenAction();
  EXPECT_EQ(world_.installs, 1);
}

TEST_F(ProgressPanelTest, FolderButtonChoosesInOneAndThreeAndOpensTheExplorerOtherwise) {
  EnterState(1);
  panel_->folder_button().WhenAction();
  ASSERT_EQ(world_.chooser_initial.size(), 1u);
  EXPECT_EQ(world_.chooser_initial[0], L"D:\\korvan");
  ASSERT_EQ(world_.set_roots.size(), 1u);
  EXPECT_EQ(world_.set_roots[0], L"E:\\Games\\Korvan");
  EXPECT_EQ(panel_->folder_text().GetText(), L"E:\\Games\\Korvan");

  // Cancelled: nothing changes. No press guard on this button.
  world_.chooser_answers = false;
  EnterState(3);
  panel_->folder_button().WhenAction();
  EXPECT_EQ(world_.chooser_initial.size(), 2u);
  EXPECT_EQ(world_.set_roots.size(), 1u);
  EXPECT_EQ(world_.explorer_opens, 0);

  EnterState(9);
  panel_->folder_button().WhenAction();
  EXPECT_EQ(world_.explorer_opens, 1);
  EXPECT_EQ(world_.chooser_initial.size(), 2u);

  world_.root = L"F:\\Other";
  panel_->OnFolderChanged();
  EXPECT_EQ(panel_->folder_text().GetText(), L"F:\\Other");
}

TEST_F(ProgressPanelTest, ProgressWithoutAnimationSetsTheBarAtOnceEvenBackwards) {
  panel_->OnProgress(0.37521f, L"速度：1.2MB/s", L"412.8MB/1.1GB", false);
  EXPECT_EQ(panel_->bar().GetValue(), 3752);
  EXPECT_EQ(panel_->bar().GetTotal(), 10000);
  EXPECT_EQ(panel_->percent_text().GetText(), L"37.5%");
  EXPECT_EQ(panel_->speed_text().GetText(), L"速度：1.2MB/s");
  EXPECT_EQ(panel_->size_text().GetText(), L"412.8MB/1.1GB");
  panel_->OnProgress(0.1f, L"", L"", false);
  EXPECT_EQ(panel_->bar().GetValue(), 1000);
  EXPECT_EQ(panel_->percent_text().GetText(), L"10.0%");
}

TEST_F(ProgressPanelTest, AnimatedProgressRunsForwardOnlyAndPauseStopsIt) {
  panel_->OnProgress(0.2f, L"", L"", false);
  panel_->OnProgress(0.6f, L"s", L"z", true);
  EXPECT_TRUE(panel_->bar_animator().IsRunning());
  EXPECT_EQ(panel_->bar().GetValue(), 2000);  // nothing moved yet
  int last = panel_->bar().GetValue();
  for (int i = 0; i < 20; ++i) {
    Animate(50);
    EXPECT_GE(panel_->bar().GetValue(), last);
    last = panel_->bar().GetValue();
  }
  EXPECT_EQ(panel_->bar().GetValue(), 2000 + 4000 * 1000 / 2000);
  EXPECT_EQ(panel_->percent_text().GetText(), L"40.0%");

  // An animated report below the bar leaves the running move alone.
  panel_->OnProgress(0.1f, L"", L"", true);
  EXPECT_EQ(panel_->bar().GetValue(), 4000);

  // Pausing stops the move where it is.
  Animate(500);
  EXPECT_EQ(panel_->bar().GetValue(), 5000);
  EnterState(8);
  EXPECT_FALSE(panel_->bar_animator().IsRunning());
  Animate(2000);
  panel_->bar_animator().timer().Tick();
  EXPECT_EQ(panel_->bar().GetValue(), 5000);
}

TEST_F(ProgressPanelTest, AnimatedReportBelowAnIdleBarChangesNothing) {
  panel_->OnProgress(0.5f, L"", L"", false);
  panel_->OnProgress(0.3f, L"", L"", true);
  EXPECT_FALSE(panel_->bar_animator().IsRunning());
  Animate(3000);
  EXPECT_EQ(panel_->bar().GetValue(), 5000);
}

TEST_F(ProgressPanelTest, FinishedFillsTheBarAndErrorStopsTheAnimation) {
  panel_->OnProgress(0.5f, L"", L"", true);
  Animate(100);
  panel_->OnFinished();
  EXPECT_FALSE(panel_->bar_animator().IsRunning());
  EXPECT_EQ(panel_->bar().GetValue(), 10000);
  EXPECT_EQ(panel_->percent_text().GetText(), L"100%");

  panel_->OnProgress(0.0f, L"", L"", false);
  panel_->OnProgress(0.9f, L"", L"", true);
  Animate(1000);
  const int at = panel_->bar().GetValue();
  panel_->OnError(L"错误");
  EXPECT_FALSE(panel_->bar_animator().IsRunning());
  Animate(2000);
  EXPECT_EQ(panel_->bar().GetValue(), at);
}

}  // namespace
