// The application's pools: created on first request with their sizes, shared
// by every caller, and stopped with the manager.
#include "app/thread_manager.h"

#include <gtest/gtest.h>

#include <process.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "base/scoped_handle.h"
#include "base/thread_pool.h"
#include "common/test_util.h"

namespace {

using base::ScopedHandle;

constexpr DWORD kWaitMs = 5000;

// Occupies all `n` workers of `pool` at once and returns their threads,
// opened for waiting. Fails (empty result) if they do not all start.
std::vector<ScopedHandle> OpenWorkerThreads(base::ThreadPool* pool, int n) {
  std::mutex lock;
  std::vector<DWORD> ids;
  ScopedHandle gate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<int> done{0};
  for (int i = 0; i < n; ++i) {
    pool->Post([&, gate_event = gate.Get()] {
      {
        std::lock_guard<std::mutex> guard(lock);
        ids.push_back(GetCurrentThreadId());
      }
      WaitForSingleObject(gate_event, kWaitMs);
      ++done;
    });
  }
  // Every task blocks until all have started, so each holds its own worker.
  testutil::PumpUntil([&] {
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<int>(ids.size()) == n;
  }, kWaitMs);
  SetEvent(gate.Get());
  testutil::PumpUntil([&] { return done == n; }, kWaitMs * 2);

  std::vector<ScopedHandle> threads;
  std::lock_guard<std::mutex> guard(lock);
  if (static_cast<int>(ids.size()) != n || done != n) return threads;
  for (DWORD id : std::set<DWORD>(ids.begin(), ids.end())) {
    threads.emplace_back(OpenThread(SYNCHRONIZE, FALSE, id));
  }
  return threads;
}

struct RaceState {
  korvan::ThreadManager* manager;
  HANDLE go;
  std::atomic<base::ThreadPool*> result{nullptr};
};

unsigned __stdcall AskForRequestPool(void* param) {
  auto* state = static_cast<RaceState*>(param);
  WaitForSingleObject(state->go, kWaitMs);
  state->result = state->manager->RequestPool();
  return 0;
}

}  // namespace

TEST(ThreadManagerTest, CanRelease_IsTrue) {
  korvan::ThreadManager manager;
  base::LogicObject& object = manager;
  EXPECT_TRUE(object.CanRelease());
}

TEST(ThreadManagerTest, DownloadPool_CreatedOnceWithTwoThreads) {
  korvan::ThreadManager manager;
  base::ThreadPool* pool = manager.DownloadPool();
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(manager.DownloadPool(), pool);
  EXPECT_EQ(pool->WantedThreadCount(), 2);
  EXPECT_EQ(pool->LiveThreadCount(), 2);
  EXPECT_EQ(OpenWorkerThreads(pool, 2).size(), 2u);
}

TEST(ThreadManagerTest, RequestPool_SeparateFromDownloadPoolWithFourThreads) {
  korvan::ThreadManager manager;
  base::ThreadPool* pool = manager.RequestPool();
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(manager.RequestPool(), pool);
  EXPECT_NE(manager.DownloadPool(), pool);
  EXPECT_EQ(pool->WantedThreadCount(), 4);
  EXPECT_EQ(pool->LiveThreadCount(), 4);
  EXPECT_EQ(OpenWorkerThreads(pool, 4).size(), 4u);
}

TEST(ThreadManagerTest, ConcurrentFirstRequests_AllGetTheSamePool) {
  // The race window is short, so it is run on many fresh managers.
  constexpr int kRounds = 20;
  constexpr int kCallers = 8;
  for (int round = 0; round < kRounds; ++round) {
    korvan::ThreadManager manager;
    ScopedHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    RaceState states[kCallers];
    ScopedHandle threads[kCallers];
    HANDLE handles[kCallers];
    for (int i = 0; i < kCallers; ++i) {
      states[i].manager = &manager;
      states[i].go = go.Get();
      threads[i].Reset(reinterpret_cast<HANDLE>(
          _beginthreadex(nullptr, 0, &AskForRequestPool, &states[i], 0, nullptr)));
      ASSERT_TRUE(threads[i].IsValid());
      handles[i] = threads[i].Get();
    }
    SetEvent(go.Get());
    ASSERT_EQ(WaitForMultipleObjects(kCallers, handles, TRUE, kWaitMs * 2), WAIT_OBJECT_0);

    base::ThreadPool* pool = manager.RequestPool();
    for (const RaceState& state : states) {
      ASSERT_EQ(state.result.load(), pool) << "round " << round;
    }
    ASSERT_EQ(pool->LiveThreadCount(), 4) << "round " << round;
  }
}

TEST(ThreadManagerTest, Destroy_EndsEveryPoolThreadPromptly) {
  auto manager = std::make_unique<korvan::ThreadManager>();
  std::vector<ScopedHandle> threads = OpenWorkerThreads(manager->DownloadPool(), 2);
  std::vector<ScopedHandle> request = OpenWorkerThreads(manager->RequestPool(), 4);
  ASSERT_EQ(threads.size(), 2u);
  ASSERT_EQ(request.size(), 4u);
  for (auto& thread : request) threads.push_back(std::move(thread));
  std::vector<HANDLE> handles;
  for (const auto& thread : threads) {
    ASSERT_TRUE(thread.IsValid());
    handles.push_back(thread.Get());
  }
  EXPECT_EQ(WaitForMultipleObjects(6, handles.data(), FALSE, 0), WAIT_TIMEOUT);

  const ULONGLONG begin = GetTickCount64();
  manager.reset();
  // Idle workers leave at once; the forced-termination wait would take 2 s.
  EXPECT_LT(GetTickCount64() - begin, 1500u);
  EXPECT_EQ(WaitForMultipleObjects(6, handles.data(), TRUE, 0), WAIT_OBJECT_0);
}
