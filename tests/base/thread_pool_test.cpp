// Worker pool and UI dispatch with real threads: tasks block on events so
// that each test decides exactly which worker is busy when it posts.
#include "base/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/post_to_ui.h"
#include "common/test_util.h"
#include "upp/toolkit.h"

namespace {

using base::ScopedHandle;
using base::ThreadPool;

constexpr DWORD kWaitMs = 5000;
// A task never blocks forever, so a failing test still ends.
constexpr DWORD kGateMs = 10000;

ScopedHandle NewEvent() { return ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

bool IsSet(const ScopedHandle& event) { return WaitForSingleObject(event.Get(), kWaitMs) == WAIT_OBJECT_0; }

// Which task ran on which thread, in the order they ran.
class RunLog {
 public:
  void Add(int task) {
    std::lock_guard<std::mutex> guard(lock_);
    runs_.emplace_back(task, GetCurrentThreadId());
  }
  std::vector<int> Tasks() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<int> tasks;
    for (const auto& run : runs_) tasks.push_back(run.first);
    return tasks;
  }
  DWORD ThreadOf(int task) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& run : runs_) {
      if (run.first == task) return run.second;
    }
    return 0;
  }
  bool WaitForCount(size_t n) const {
    return testutil::PumpUntil([&] { return Count() >= n; }, kWaitMs);
  }

 private:
  size_t Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return runs_.size();
  }
  mutable std::mutex lock_;
  std::vector<std::pair<int, DWORD>> runs_;
};

// A task that logs itself, says it started, then holds its worker until the
// gate opens.
Upp::Callback Blocker(RunLog& log, int id, const ScopedHandle& started, const ScopedHandle& gate) {
  HANDLE started_event = started.Get();
  HANDLE gate_event = gate.Get();
  return [&log, id, started_event, gate_event] {
    log.Add(id);
    SetEvent(started_event);
    WaitForSingleObject(gate_event, kGateMs);
  };
}

Upp::Callback Logger(RunLog& log, int id) {
  return [&log, id] { log.Add(id); };
}

class Counter : public Upp::Pte<Counter> {
 public:
  explicit Counter(std::atomic<int>* hits) : hits_(hits) {}
  void Hit() { ++*hits_; }

 private:
  std::atomic<int>* hits_;
};

}  // namespace

TEST(ThreadPoolPolicyTest, LeastLoaded_SmallestLoadWinsTiesGoLowAndEmptySlotsSkipped) {
  using base::pool_policy::ChooseLeastLoaded;
  EXPECT_EQ(ChooseLeastLoaded({}), -1);
  EXPECT_EQ(ChooseLeastLoaded({-1, -1}), -1);
  EXPECT_EQ(ChooseLeastLoaded({1, 1}), 0);
  EXPECT_EQ(ChooseLeastLoaded({2, 1, 1}), 1);
  EXPECT_EQ(ChooseLeastLoaded({3, 2, 0}), 2);
  EXPECT_EQ(ChooseLeastLoaded({-1, 4, 2}), 2);
}

TEST(ThreadPoolPolicyTest, Victim_FullestQueueWinsTiesGoHighAndEmptyQueuesNever) {
  using base::pool_policy::ChooseVictim;
  EXPECT_EQ(ChooseVictim({}), -1);
  EXPECT_EQ(ChooseVictim({0, 0, -1}), -1);
  EXPECT_EQ(ChooseVictim({5, 0}), 0);
  EXPECT_EQ(ChooseVictim({2, 2}), 1);
  EXPECT_EQ(ChooseVictim({3, 5, 5, 1}), 2);
}

TEST(ThreadPoolPolicyTest, DealAlternately_ThiefGetsOddTasksVictimKeepsEven) {
  using base::pool_policy::DealAlternately;
  std::deque<int> victim = {1, 2, 3, 4, 5};
  std::deque<int> thief;
  DealAlternately(victim, thief);
  EXPECT_EQ(thief, (std::deque<int>{1, 3, 5}));
  EXPECT_EQ(victim, (std::deque<int>{2, 4}));

  // A single task goes to the thief; what the thief already had stays first.
  victim = {7};
  thief = {9};
  DealAlternately(victim, thief);
  EXPECT_EQ(thief, (std::deque<int>{9, 7}));
  EXPECT_TRUE(victim.empty());
}

TEST(ThreadPoolTest, TwoIdleWorkers_RunTwoTasksAtOnceOnDifferentThreads) {
  RunLog log;
  ScopedHandle started[2] = {NewEvent(), NewEvent()};
  ScopedHandle gate = NewEvent();
  ThreadPool pool;
  pool.SetThreadCount(2);

  ASSERT_TRUE(pool.Post(Blocker(log, 1, started[0], gate)));
  ASSERT_TRUE(pool.Post(Blocker(log, 2, started[1], gate)));
  // Both start while neither can finish: they run side by side.
  HANDLE both[2] = {started[0].Get(), started[1].Get()};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, kWaitMs), WAIT_OBJECT_0);
  EXPECT_NE(log.ThreadOf(1), log.ThreadOf(2));
  EXPECT_NE(log.ThreadOf(1), GetCurrentThreadId());
  EXPECT_NE(log.ThreadOf(2), GetCurrentThreadId());
  SetEvent(gate.Get());
}

TEST(ThreadPoolTest, TaskPostedWhileAllBusy_GoesToLowestSlotOnEqualLoad) {
  RunLog log;
  ScopedHandle started[2] = {NewEvent(), NewEvent()};
  ScopedHandle gates[2] = {NewEvent(), NewEvent()};
  ThreadPool pool;
  pool.SetThreadCount(2);
  ASSERT_TRUE(pool.Post(Blocker(log, 1, started[0], gates[0])));
  ASSERT_TRUE(pool.Post(Blocker(log, 2, started[1], gates[1])));
  ASSERT_TRUE(IsSet(started[0]) && IsSet(started[1]));

  ASSERT_TRUE(pool.Post(Logger(log, 3)));
  std::vector<ThreadPool::SlotInfo> slots = pool.Slots();
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_TRUE(slots[0].busy && slots[1].busy);
  EXPECT_EQ(slots[0].queued, 1);
  EXPECT_EQ(slots[1].queued, 0);
  EXPECT_EQ(pool.PendingTaskCount(), 1);

  // Slot 1 stays busy, so nobody steals: task 3 runs where task 1 ran.
  SetEvent(gates[0].Get());
  ASSERT_TRUE(log.WaitForCount(3));
  EXPECT_EQ(log.ThreadOf(3), log.ThreadOf(1));
  SetEvent(gates[1].Get());
}

TEST(ThreadPoolTest, IdleWorker_StealsOddTasksFromBusyWorker) {
  RunLog log;
  ScopedHandle started[2] = {NewEvent(), NewEvent()};
  ScopedHandle gates[2] = {NewEvent(), NewEvent()};
  ThreadPool pool;
  pool.SetThreadCount(1);
  ASSERT_TRUE(pool.Post(Blocker(log, 0, started[0], gates[0])));
  ASSERT_TRUE(IsSet(started[0]));
  ASSERT_TRUE(pool.Post(Blocker(log, 1, started[1], gates[1])));
  for (int id = 2; id <= 5; ++id) ASSERT_TRUE(pool.Post(Logger(log, id)));
  ASSERT_EQ(pool.Slots()[0].queued, 5);

  // The new worker starts idle next to a busy one holding five tasks.
  pool.SetThreadCount(2);
  ASSERT_TRUE(IsSet(started[1]));
  std::vector<ThreadPool::SlotInfo> slots = pool.Slots();
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[0].queued, 2);  // 2 and 4 stay
  EXPECT_EQ(slots[1].queued, 2);  // 3 and 5 left after 1 started

  // Worker 0 stays stuck: the thief runs its own 1, 3, 5, then steals again.
  SetEvent(gates[1].Get());
  ASSERT_TRUE(log.WaitForCount(6));
  EXPECT_EQ(log.Tasks(), (std::vector<int>{0, 1, 3, 5, 2, 4}));
  for (int id = 1; id <= 5; ++id) {
    EXPECT_EQ(log.ThreadOf(id), log.ThreadOf(1)) << "task " << id;
  }
  EXPECT_NE(log.ThreadOf(1), log.ThreadOf(0));
  SetEvent(gates[0].Get());
}

TEST(ThreadPoolTest, ShrinkFourToOne_UpperWorkersFinishTheirTasksAndExit) {
  RunLog log;
  ScopedHandle started[4] = {NewEvent(), NewEvent(), NewEvent(), NewEvent()};
  ScopedHandle gates[4] = {NewEvent(), NewEvent(), NewEvent(), NewEvent()};
  ThreadPool pool;
  pool.SetThreadCount(4);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(pool.Post(Blocker(log, i, started[i], gates[i])));
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(IsSet(started[i])) << "worker " << i;
  // One follow-up per worker, task 10 + i behind blocker i.
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(pool.Post(Logger(log, 10 + i)));
  for (const auto& slot : pool.Slots()) EXPECT_EQ(slot.queued, 1);

  ScopedHandle upper[3];
  for (int i = 1; i < 4; ++i) {
    upper[i - 1].Reset(OpenThread(SYNCHRONIZE, FALSE, log.ThreadOf(i)));
    ASSERT_TRUE(upper[i - 1].IsValid());
  }

  pool.SetThreadCount(1);
  EXPECT_EQ(pool.WantedThreadCount(), 1);
  for (int i = 1; i < 4; ++i) SetEvent(gates[i].Get());
  HANDLE threads[3] = {upper[0].Get(), upper[1].Get(), upper[2].Get()};
  ASSERT_EQ(WaitForMultipleObjects(3, threads, TRUE, kWaitMs), WAIT_OBJECT_0);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(log.ThreadOf(10 + i), log.ThreadOf(i)) << "worker " << i;
  EXPECT_EQ(pool.LiveThreadCount(), 1);
  std::vector<ThreadPool::SlotInfo> slots = pool.Slots();
  ASSERT_EQ(slots.size(), 4u);
  EXPECT_TRUE(slots[0].occupied);
  for (int i = 1; i < 4; ++i) EXPECT_FALSE(slots[i].occupied) << "slot " << i;
  EXPECT_EQ(log.ThreadOf(10), 0u);

  // Worker 0 keeps running: its held task and new ones run on it.
  SetEvent(gates[0].Get());
  ASSERT_TRUE(pool.Post(Logger(log, 20)));
  ASSERT_TRUE(log.WaitForCount(9));
  EXPECT_EQ(log.ThreadOf(10), log.ThreadOf(0));
  EXPECT_EQ(log.ThreadOf(20), log.ThreadOf(0));
}

TEST(ThreadPoolTest, PostWithoutThreads_ReturnsFalseAndDropsTask) {
  std::atomic<int> runs{0};
  Upp::Callback task = [&runs] { ++runs; };
  ThreadPool pool;
  EXPECT_FALSE(pool.Post(task));
  EXPECT_EQ(task.ShareCount(), 1);

  pool.SetThreadCount(1);
  ASSERT_TRUE(pool.Post(task));
  ASSERT_TRUE(testutil::PumpUntil([&] { return runs == 1; }, kWaitMs));

  pool.SetThreadCount(0);
  EXPECT_FALSE(pool.Post(task));
  EXPECT_TRUE(testutil::PumpUntil([&] { return pool.LiveThreadCount() == 0; }, kWaitMs));
  EXPECT_EQ(runs, 1);
}

TEST(ThreadPoolTest, NegativeThreadCount_ChangesNothing) {
  std::atomic<int> runs{0};
  ThreadPool pool;
  pool.SetThreadCount(2);
  pool.SetThreadCount(-1);
  EXPECT_EQ(pool.WantedThreadCount(), 2);
  EXPECT_EQ(pool.LiveThreadCount(), 2);
  ASSERT_TRUE(pool.Post([&runs] { ++runs; }));
  EXPECT_TRUE(testutil::PumpUntil([&] { return runs == 1; }, kWaitMs));
}

TEST(ThreadPoolTest, PostAtFront_RunsBeforeTasksAlreadyQueued) {
  RunLog log;
  ScopedHandle started = NewEvent();
  ScopedHandle gate = NewEvent();
  ThreadPool pool;
  pool.SetThreadCount(1);
  ASSERT_TRUE(pool.Post(Blocker(log, 0, started, gate)));
  ASSERT_TRUE(IsSet(started));
  ASSERT_TRUE(pool.Post(Logger(log, 1)));
  ASSERT_TRUE(pool.Post(Logger(log, 2)));
  ASSERT_TRUE(pool.Post(Logger(log, 3), true));
  SetEvent(gate.Get());
  ASSERT_TRUE(log.WaitForCount(4));
  EXPECT_EQ(log.Tasks(), (std::vector<int>{0, 3, 1, 2}));
}

TEST(ThreadPoolTest, ThrowingTask_LeavesWorkerRunningLaterTasks) {
  std::atomic<bool> after{false};
  ThreadPool pool;
  pool.SetThreadCount(1);
  ASSERT_TRUE(pool.Post([] { throw std::runtime_error("task failed"); }));
  ASSERT_TRUE(pool.Post([] { throw 42; }));
  ASSERT_TRUE(pool.Post([&after] { after = true; }));
  EXPECT_TRUE(testutil::PumpUntil([&] { return after.load(); }, kWaitMs));
  EXPECT_EQ(pool.LiveThreadCount(), 1);
}

TEST(ThreadPoolTest, DestroyWhileTaskRuns_TerminatesAfterWait) {
  // Shared by value: a worker that were not cut off must not touch a dead
  // stack frame.
  struct State {
    ScopedHandle started = NewEvent();
    std::atomic<DWORD> worker{0};
    std::atomic<bool> finished{false};
    std::atomic<bool> queued_ran{false};
  };
  auto state = std::make_shared<State>();
  auto pool = std::make_unique<ThreadPool>();
  pool->SetThreadCount(1);
  ASSERT_TRUE(pool->Post([state] {
    state->worker = GetCurrentThreadId();
    SetEvent(state->started.Get());
    Sleep(5000);
    state->finished = true;
  }));
  Upp::Callback queued = [state] { state->queued_ran = true; };
  ASSERT_TRUE(pool->Post(queued));
  ASSERT_TRUE(IsSet(state->started));
  ScopedHandle worker(OpenThread(SYNCHRONIZE, FALSE, state->worker));
  ASSERT_TRUE(worker.IsValid());
  EXPECT_EQ(queued.ShareCount(), 2);

  const ULONGLONG begin = GetTickCount64();
  pool.reset();
  const ULONGLONG elapsed = GetTickCount64() - begin;

  EXPECT_GT(elapsed, 1900u);
  EXPECT_LT(elapsed, 4000u);
  EXPECT_EQ(WaitForSingleObject(worker.Get(), 0), WAIT_OBJECT_0);
  EXPECT_FALSE(state->finished);
  EXPECT_FALSE(state->queued_ran);
  EXPECT_EQ(queued.ShareCount(), 1);
}

TEST(ThreadPoolTest, DestroyWhileShortTaskRuns_WaitsForItAndSkipsQueuedTasks) {
  RunLog log;
  ScopedHandle started = NewEvent();
  auto pool = std::make_unique<ThreadPool>();
  pool->SetThreadCount(1);
  ASSERT_TRUE(pool->Post([&] {
    log.Add(1);
    SetEvent(started.Get());
    Sleep(300);
    log.Add(2);
  }));
  ASSERT_TRUE(IsSet(started));
  ASSERT_TRUE(pool->Post(Logger(log, 3)));
  ScopedHandle worker(OpenThread(SYNCHRONIZE, FALSE, log.ThreadOf(1)));
  ASSERT_TRUE(worker.IsValid());

  const ULONGLONG begin = GetTickCount64();
  pool.reset();
  const ULONGLONG elapsed = GetTickCount64() - begin;

  // The worker leaving after its task ends the wait at once; a missed
  // wake-up would show as the full 2 s.
  EXPECT_LT(elapsed, 1500u);
  EXPECT_EQ(WaitForSingleObject(worker.Get(), 0), WAIT_OBJECT_0);
  EXPECT_NE(log.ThreadOf(2), 0u) << "the running task was cut off";
  EXPECT_EQ(log.ThreadOf(3), 0u);
}

TEST(ThreadPoolTest, TaskBoundToDestroyedObject_DoesNothing) {
  std::atomic<int> live_hits{0};
  std::atomic<int> dead_hits{0};
  auto live = std::make_unique<Counter>(&live_hits);
  auto dead = std::make_unique<Counter>(&dead_hits);
  Upp::Callback hit_live = Upp::Bind(live.get(), &Counter::Hit);
  Upp::Callback hit_dead = Upp::Bind(dead.get(), &Counter::Hit);
  dead.reset();
  ThreadPool pool;
  pool.SetThreadCount(1);
  // One worker runs them in order: when the live one has run, so has the other.
  ASSERT_TRUE(pool.Post(hit_dead));
  ASSERT_TRUE(pool.Post(hit_live));
  ASSERT_TRUE(testutil::PumpUntil([&] { return live_hits == 1; }, kWaitMs));
  EXPECT_EQ(dead_hits, 0);
}

TEST(PostToUITest, FromWorker_RunsOnUIThreadNeverOnWorker) {
  std::atomic<DWORD> worker{0};
  std::atomic<DWORD> ran_on{0};
  ScopedHandle posted = NewEvent();
  ThreadPool pool;
  pool.SetThreadCount(1);
  ASSERT_TRUE(pool.Post([&] {
    worker = GetCurrentThreadId();
    base::PostToUI([&ran_on] { ran_on = GetCurrentThreadId(); });
    SetEvent(posted.Get());
  }));
  // This thread has not pumped yet, so the callback cannot have run.
  ASSERT_TRUE(IsSet(posted));
  EXPECT_EQ(ran_on, 0u);

  ASSERT_TRUE(testutil::PumpUntil([&] { return ran_on != 0; }, kWaitMs));
  EXPECT_EQ(ran_on, GetCurrentThreadId());
  EXPECT_EQ(ran_on, Upp::UIThreadId());
  EXPECT_NE(ran_on, worker);
}

TEST(PostToUITest, CallbackBoundToDestroyedObject_DoesNothing) {
  std::atomic<int> live_hits{0};
  std::atomic<int> dead_hits{0};
  auto live = std::make_unique<Counter>(&live_hits);
  auto dead = std::make_unique<Counter>(&dead_hits);
  Upp::Callback hit_live = Upp::Bind(live.get(), &Counter::Hit);
  Upp::Callback hit_dead = Upp::Bind(dead.get(), &Counter::Hit);
  dead.reset();
  ThreadPool pool;
  pool.SetThreadCount(1);
  ASSERT_TRUE(pool.Post([=] {
    base::PostToUI(hit_dead);
    base::PostToUI(hit_live);
  }));
  // Due in posting order: once the live one has run, the other has too.
  ASSERT_TRUE(testutil::PumpUntil([&] { return live_hits == 1; }, kWaitMs));
  EXPECT_EQ(dead_hits, 0);
}
