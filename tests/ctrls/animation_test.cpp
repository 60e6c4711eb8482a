#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/multi_sec_animate2.h"
#include "common/test_util.h"
#include "ctrls/animate_text.h"
#include "ctrls/animate_timer.h"
#include "ctrls/animator.h"
#include "ctrls/crop_animation_ctrl.h"
#include "ctrls/delay_call.h"
#include "ctrls/scrolling_action.h"
#include "fake_clock.h"
#include "upp/timer_queue.h"

namespace {

using ctrls_test::FakeClock;

struct AnimatorLog {
  std::vector<std::string> events;
  void Attach(ctrls::Animator& a) {
    a.WhenStart = [this] { events.push_back("start"); };
    a.WhenStep = [this](Upp::Ctrl*, int frame, int count) {
      events.push_back("step" + std::to_string(frame) + "/" + std::to_string(count));
    };
    a.WhenEnd = [this] { events.push_back("end"); };
  }
};

TEST(AnimatorTest, RunsEveryFrameWhenTicksComeOnTime) {
  FakeClock clock;
  Upp::Ctrl target;
  ctrls::Animator a(&target);
  a.SetCount(3).SetInterval(50).DeleteWhenDone(false);
  AnimatorLog log;
  log.Attach(a);
  a.Start();
  for (int i = 0; i < 3; ++i) {
    clock.Advance(50);
    a.Tick();
  }
  EXPECT_EQ(log.events, (std::vector<std::string>{"start", "step0/3", "step1/3", "step2/3", "end"}));
  EXPECT_FALSE(a.IsRunning());
}

TEST(AnimatorTest, TimerBlockedPastTheEndReportsEndWithoutMissingSteps) {
  FakeClock clock;
  Upp::Ctrl target;
  ctrls::Animator a(&target);
  a.SetCount(3).SetInterval(50).DeleteWhenDone(false);
  AnimatorLog log;
  log.Attach(a);
  a.Start();
  clock.Advance(200);
  a.Tick();
  EXPECT_EQ(log.events, (std::vector<std::string>{"start", "step0/3", "end"}));
}

TEST(AnimatorTest, LateTickSkipsOnlyTheFramesThatWereDue) {
  FakeClock clock;
  Upp::Ctrl target;
  ctrls::Animator a(&target);
  a.SetCount(5).SetInterval(50).DeleteWhenDone(false);
  AnimatorLog log;
  log.Attach(a);
  a.Start();
  clock.Advance(120);  // frames 1 and 2 were due
  a.Tick();
  EXPECT_EQ(log.events.back(), "step2/5");
  EXPECT_EQ(a.GetFrame(), 2);
}

TEST(AnimatorTest, HeapAnimatorDeletesItselfWhenItsTargetDies) {
  FakeClock clock;
  auto target = std::make_unique<Upp::Ctrl>();
  ctrls::Animator* a = ctrls::Animator::New(target.get());
  a->SetCount(3).SetInterval(50);
  Upp::Ptr<ctrls::Animator> watch(a);
  int ends = 0;
  a->WhenEnd = [&] { ++ends; };
  a->Start();
  target.reset();
  clock.Advance(50);
  a->Tick();
  EXPECT_FALSE(watch);
  EXPECT_EQ(ends, 0);
}

TEST(AnimatorTest, MemberAnimatorWithDeleteWhenDoneOnlyStops) {
  FakeClock clock;
  ctrls::Animator a;  // no target: never "gone"
  a.SetCount(1).SetInterval(10);
  int ends = 0;
  a.WhenEnd = [&] { ++ends; };
  a.Start();
  clock.Advance(10);
  a.Tick();
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(a.IsRunning());
  EXPECT_FALSE(Upp::ExistsTimeCallback(&a));
}

TEST(AnimatorTest, RealTimerDrivesItToTheEnd) {
  Upp::Ctrl target;
  ctrls::Animator a(&target);
  a.SetCount(3).SetInterval(20).DeleteWhenDone(false);
  int steps = 0;
  bool ended = false;
  a.WhenStep = [&](Upp::Ctrl* t, int, int) { EXPECT_EQ(t, &target); ++steps; };
  a.WhenEnd = [&] { ended = true; };
  a.Start();
  ASSERT_TRUE(testutil::PumpUntil([&] { return ended; }, 5000));
  EXPECT_GE(steps, 1);
  EXPECT_LE(steps, 3);
}

TEST(AnimateTimerTest, EaseOutAtHalfTimeReportsThreeQuarters) {
  EXPECT_EQ(ctrls::AnimateTimer::EaseOut(100, 200), 150);
  EXPECT_EQ(ctrls::AnimateTimer::EaseOut(0, 200), 0);
  EXPECT_EQ(ctrls::AnimateTimer::EaseOut(250, 200), 200);
  EXPECT_EQ(ctrls::AnimateTimer::EaseOut(1, 3), 2);  // 1 x 5 / 3 = 1.67 rounds up
}

TEST(AnimateTimerTest, EaseOutStepsThenFullDurationThenEnd) {
  FakeClock clock;
  ctrls::AnimateTimer t;
  t.SetDuration(200).SetMode(ctrls::AnimateTimer::kEaseOut);
  std::vector<std::string> log;
  t.WhenStart = [&] { log.push_back("start"); };
  t.WhenStep = [&](int e, int d) { log.push_back(std::to_string(e) + "/" + std::to_string(d)); };
  t.WhenEnd = [&] { log.push_back("end"); };
  t.Start();
  clock.Advance(100);
  t.Tick();
  clock.Advance(150);  // late: past the end
  t.Tick();
  EXPECT_TRUE(t.IsRunning());
  t.Tick();
  EXPECT_FALSE(t.IsRunning());
  EXPECT_EQ(log, (std::vector<std::string>{"start", "150/200", "200/200", "end"}));
}

TEST(AnimateTimerTest, StopWithEndCallsEndOnceAndKillsTheTimer) {
  ctrls::AnimateTimer t;
  t.SetDuration(1000);
  int ends = 0;
  t.WhenEnd = [&] { ++ends; };
  t.Start();
  EXPECT_TRUE(Upp::ExistsTimeCallback(&t));
  t.Stop(true);
  t.Stop(true);
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(Upp::ExistsTimeCallback(&t));
}

TEST(ScrollingActionTest, PositionInterpolatesAndEndsAtTarget) {
  EXPECT_EQ(ctrls::ScrollingAction::Position(0, 300, 100, 300), 100);
  EXPECT_EQ(ctrls::ScrollingAction::Position(300, 0, 150, 300), 150);
  EXPECT_EQ(ctrls::ScrollingAction::Position(10, 20, 999, 300), 20);
  ctrls::ScrollingAction s;
  EXPECT_EQ(s.GetTick(), 30);
}

TEST(MultiSecAnimate2Test, SecondPhaseStartsOnTheNextLoopPassAfterTheFirstEnds) {
  base::MultiSecAnimate2 m;
  m.SetDurations(40, 20);
  std::vector<std::string> log;
  m.WhenStep1 = [&](int e, int d) { if (e == d) log.push_back("1full"); };
  m.WhenEnd1 = [&] { log.push_back("end1"); };
  m.WhenStep2 = [&](int e, int d) { if (e == d) log.push_back("2full"); };
  m.WhenEnd2 = [&] { log.push_back("end2"); };
  m.Start();
  EXPECT_EQ(m.GetPhase(), 1);
  ASSERT_TRUE(testutil::PumpUntil([&] { return !m.IsRunning(); }, 5000));
  EXPECT_EQ(log, (std::vector<std::string>{"1full", "end1", "2full", "end2"}));
}

TEST(MultiSecAnimate2Test, StopBetweenPhasesCancelsThePendingSecondPhase) {
  base::MultiSecAnimate2 m;
  m.SetDurations(10, 10);
  int steps2 = 0;
  m.WhenEnd1 = [&] { m.Stop(); };
  m.WhenStep2 = [&](int, int) { ++steps2; };
  m.Start();
  ASSERT_TRUE(testutil::PumpUntil([&] { return !m.IsRunning(); }, 5000));
  testutil::PumpFor(100);
  EXPECT_EQ(steps2, 0);
}

struct DelayOwner : Upp::Pte<DelayOwner> {
  std::vector<int> got;
  void OnDelay(int v) { got.push_back(v); }
};

TEST(DelayCallTest, FiresOnceWithTheLastPostedValue) {
  DelayOwner owner;
  ctrls::DelayCall call;
  call.Set(&owner, &DelayOwner::OnDelay);
  call.Post(10, 1);
  call.Post(10, 2);
  ASSERT_TRUE(testutil::PumpUntil([&] { return !owner.got.empty(); }, 3000));
  EXPECT_FALSE(call.IsPending());
  testutil::PumpFor(50);
  EXPECT_EQ(owner.got, std::vector<int>{2});
}

TEST(DelayCallTest, OwnerDeathCancelsTheCall) {
  auto owner = std::make_unique<DelayOwner>();
  std::vector<int>* seen = &owner->got;
  (void)seen;
  ctrls::DelayCall call;
  call.Set(owner.get(), &DelayOwner::OnDelay);
  call.Post(0, 7);
  owner.reset();
  call.Fire();  // must not touch the dead owner
  EXPECT_FALSE(call.IsPending());
}

TEST(DelayCallTest, DyingDelayCallLeavesNoTimer) {
  DelayOwner owner;
  const void* key;
  {
    ctrls::DelayCall call;
    key = &call;
    call.Set(&owner, &DelayOwner::OnDelay);
    call.Post(10, 3);
    EXPECT_TRUE(Upp::ExistsTimeCallback(key));
  }
  EXPECT_FALSE(Upp::ExistsTimeCallback(key));
  testutil::PumpFor(50);
  EXPECT_TRUE(owner.got.empty());
}

TEST(DelayCallTest, CancelStopsAPendingCall) {
  DelayOwner owner;
  ctrls::DelayCall call;
  call.Set(&owner, &DelayOwner::OnDelay);
  call.Post(10, 4);
  call.Cancel();
  call.Fire();
  EXPECT_TRUE(owner.got.empty());
}

TEST(AnimateTextTest, CyclesThroughZeroToThreeDots) {
  ctrls::AnimateText text;
  text.SetText(L"Loading", true);
  std::vector<std::wstring> shown{text.GetText()};
  for (int i = 0; i < 4; ++i) {
    text.Step();
    shown.push_back(text.GetText());
  }
  EXPECT_EQ(shown, (std::vector<std::wstring>{L"Loading", L"Loading.", L"Loading..", L"Loading...",
                                              L"Loading"}));
}

TEST(AnimateTextTest, PlainTextStopsTheCycle) {
  ctrls::AnimateText text;
  text.SetText(L"Wait", true);
  EXPECT_TRUE(Upp::ExistsTimeCallback(&text));
  text.SetText(L"Done", false);
  EXPECT_FALSE(Upp::ExistsTimeCallback(&text));
  text.Step();
  EXPECT_EQ(text.GetText(), L"Done");
}

TEST(CropAnimationCtrlTest, StripOf1248CutInto12GivesFrames104Wide) {
  Upp::ImageBuffer b(Upp::Size(1248, 20));
  Upp::Image strip = b.Finish();
  ctrls::CropAnimationCtrl c;
  c.SetFrames(strip, 12, 50);
  ASSERT_EQ(c.GetFrameCount(), 12);
  EXPECT_EQ(c.GetFrameRect(0), Upp::Rect(0, 0, 104, 20));
  EXPECT_EQ(c.GetFrameRect(11), Upp::Rect(1144, 0, 1248, 20));
}

TEST(AnimationCtrlTest, PlayStartsAtFrameZeroAndLoops) {
  ctrls::AnimationCtrl c;
  Upp::ImageBuffer b(Upp::Size(2, 2));
  Upp::Image img = b.Finish();
  c.AddFrame(img, 10).AddFrame(img, 10);
  std::vector<bool> running;
  c.WhenRunning = [&](bool on) { running.push_back(on); };
  c.Hide();
  c.Play();
  EXPECT_TRUE(c.IsShown());
  EXPECT_EQ(c.GetCurrentFrame(), 0);
  c.NextFrame();
  EXPECT_EQ(c.GetCurrentFrame(), 1);
  c.NextFrame();
  EXPECT_EQ(c.GetCurrentFrame(), 0);
  c.Stop();
  EXPECT_EQ(running, (std::vector<bool>{true, false}));
  EXPECT_FALSE(Upp::ExistsTimeCallback(&c));
}

}  // namespace
