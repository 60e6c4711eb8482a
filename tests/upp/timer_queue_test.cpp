#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/test_util.h"
#include "upp/timer_queue.h"
#include "upp/toolkit.h"

namespace {

class TimerQueueTest : public testing::Test {
 protected:
  void TearDown() override { Upp::KillTimeCallback(this); }
};

TEST_F(TimerQueueTest, DueCallbacksRunInDueOrderThenInsertionOrder) {
  std::vector<int> order;
  Upp::SetTimeCallback(60, [&] { order.push_back(3); }, this);
  Upp::SetTimeCallback(0, [&] { order.push_back(1); }, this);
  Upp::SetTimeCallback(0, [&] { order.push_back(2); }, this);
  ASSERT_TRUE(testutil::PumpUntil([&] { return order.size() == 3; }, 2000));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(TimerQueueTest, CallbackNeverRunsBeforeItsDelay) {
  ULONGLONG start = GetTickCount64();
  ULONGLONG ran_at = 0;
  Upp::SetTimeCallback(100, [&] { ran_at = GetTickCount64(); }, this);
  ASSERT_TRUE(testutil::PumpUntil([&] { return ran_at != 0; }, 2000));
  EXPECT_GE(ran_at - start, 100u);
}

TEST_F(TimerQueueTest, KillRemovesOnlyThatOwnersEntries) {
  int mine = 0, other = 0;
  int other_owner = 0;
  Upp::SetTimeCallback(20, [&] { ++mine; }, this);
  Upp::SetTimeCallback(20, [&] { ++other; }, &other_owner);
  EXPECT_TRUE(Upp::ExistsTimeCallback(this));
  Upp::KillTimeCallback(this);
  EXPECT_FALSE(Upp::ExistsTimeCallback(this));
  ASSERT_TRUE(testutil::PumpUntil([&] { return other == 1; }, 2000));
  testutil::PumpFor(50);
  EXPECT_EQ(mine, 0);
}

TEST_F(TimerQueueTest, RepeatingCallbackRepeatsUntilKilledFromInside) {
  int runs = 0;
  Upp::SetTimeCallback(-15, [&] {
    if (++runs == 3) Upp::KillTimeCallback(this);
  }, this);
  ASSERT_TRUE(testutil::PumpUntil([&] { return runs >= 3; }, 3000));
  testutil::PumpFor(80);
  EXPECT_EQ(runs, 3);
}

TEST_F(TimerQueueTest, CallbackKilledByAnEarlierOneInTheSamePassDoesNotRun) {
  int victim_runs = 0;
  int victim_owner = 0;
  Upp::SetTimeCallback(0, [&] { Upp::KillTimeCallback(&victim_owner); }, this);
  Upp::SetTimeCallback(0, [&] { ++victim_runs; }, &victim_owner);
  testutil::PumpFor(60);
  EXPECT_EQ(victim_runs, 0);
}

TEST_F(TimerQueueTest, ZeroDelayReAddingItselfDoesNotStarveTheLoop) {
  int runs = 0;
  std::function<void()> again;
  again = [&] {
    ++runs;
    Upp::SetTimeCallback(0, again, this);
  };
  Upp::SetTimeCallback(0, again, this);
  Upp::ProcessTimeCallbacks();
  EXPECT_EQ(runs, 1);  // the re-added entry waits for the next pass
  Upp::KillTimeCallback(this);
}

TEST_F(TimerQueueTest, CallbacksAddedFromWorkersRunOnTheUIThread) {
  std::atomic<int> done{0};
  std::vector<DWORD> threads;
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i) {
    workers.emplace_back([&] {
      for (int j = 0; j < 25; ++j) {
        Upp::SetTimeCallback(1, [&] {
          threads.push_back(GetCurrentThreadId());  // UI thread only: no lock needed
          ++done;
        }, this);
      }
    });
  }
  for (auto& w : workers) w.join();
  ASSERT_TRUE(testutil::PumpUntil([&] { return done == 100; }, 3000));
  for (DWORD id : threads) EXPECT_EQ(id, Upp::UIThreadId());
}

}  // namespace

namespace {

TEST(TimerQueueExceptionTest, ThrowingCallbackDoesNotStopTheOthers) {
  int owner = 0;
  bool later_ran = false;
  Upp::SetTimeCallback(0, [] { throw std::runtime_error("boom"); }, &owner);
  Upp::SetTimeCallback(0, [&] { later_ran = true; }, &owner);
  Upp::ProcessTimeCallbacks();
  EXPECT_TRUE(later_ran);
}

}  // namespace
