// A fixed-size pool of worker threads with one task queue per thread and
// work stealing between the queues. Slow work (unpacking, engine calls, HTTP
// requests) runs here so the user-interface thread keeps painting; results go
// back through PostToUI (post_to_ui.h).
//
// A task is a Upp::Callback. Post() picks the least-loaded worker; a worker
// whose queue runs dry takes every other task of the fullest queue. Tasks of
// one worker run in order; tasks of different workers run concurrently, with
// no ordering between them.
//
// Ownership: the pool owns its threads, their queues and every task queued in
// them. Tasks still queued when the pool dies are dropped, not run. A worker
// that is still inside a task 2000 ms after destruction began is terminated.
//
// IMPORTANT: Thread-safety. Post(), SetThreadCount() and the read-outs may be
// called from any thread, tasks of this pool included. The destructor must
// not run on one of the pool's own workers (it waits for them). No task runs
// while the pool holds any of its locks, so a task may post to any pool.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "base/scoped_handle.h"
#include "upp/callback.h"
#include "upp/ptr.h"

namespace base {

// The pool's placement decisions as pure functions, so they can be checked
// without threads. A negative entry marks an empty slot.
namespace pool_policy {

// Slot with the smallest load (busy flag + queued count); ties go to the
// lowest slot. -1 when no slot is occupied.
int ChooseLeastLoaded(const std::vector<int>& loads);

// Slot with the largest queued count above 0, scanning from the highest slot
// down; ties go to the highest slot. -1 when every queue is empty.
int ChooseVictim(const std::vector<int>& queued);

// Empties `victim` and deals its items in order, alternately, to the tail of
// `thief` and back to `victim`, starting with the thief: the thief gets the
// 1st, 3rd, 5th..., the victim keeps the 2nd, 4th...
template <class T>
void DealAlternately(std::deque<T>& victim, std::deque<T>& thief) {
  std::deque<T> taken;
  taken.swap(victim);
  bool to_thief = true;
  for (T& item : taken) {
    (to_thief ? thief : victim).push_back(std::move(item));
    to_thief = !to_thief;
  }
}

}  // namespace pool_policy

class ThreadPool : public Upp::Pte<ThreadPool> {
 public:
  // What one slot looks like at a moment (diagnostics and tests).
  struct SlotInfo {
    bool occupied = false;
    bool busy = false;
    int queued = 0;
  };

  // No threads yet: SetThreadCount() starts them.
  ThreadPool();
  // Drops queued tasks, waits up to 2000 ms for the workers to leave, then
  // terminates the rest. Not on one of this pool's workers.
  virtual ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  // Grows or shrinks the pool to `n` workers. A shrunk worker finishes the
  // tasks it holds, then leaves. A negative `n` does nothing.
  void SetThreadCount(int n);

  // Queues `task` on the least-loaded worker, at the tail (or the head with
  // `front`). Returns false, dropping the task, when the pool has no threads.
  bool Post(Upp::Callback task, bool front = false);

  int WantedThreadCount() const;
  // Workers that have not yet left their loop.
  int LiveThreadCount() const;
  // Tasks queued in all workers together (running ones excluded).
  int PendingTaskCount() const;
  std::vector<SlotInfo> Slots() const;

 protected:
  // Runs one task on the calling worker. The default runs the callback if it
  // is not empty. An override must stay valid until the base destructor has
  // stopped the workers, so derived pools stop theirs in their own destructor.
  virtual void RunTask(const Upp::Callback& task);

 private:
  // Critical section that lives exactly as long as its owner.
  class Lock {
   public:
    Lock() { InitializeCriticalSection(&cs_); }
    ~Lock() { DeleteCriticalSection(&cs_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Acquire() { EnterCriticalSection(&cs_); }
    void Release() { LeaveCriticalSection(&cs_); }

   private:
    CRITICAL_SECTION cs_;
  };

  class AutoLock {
   public:
    explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
    ~AutoLock() { lock_.Release(); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

   private:
    Lock& lock_;
  };

  // One worker. Its queue and queued count are guarded by its own lock; the
  // count is also read, without that lock, under the pool lock.
  struct TheThread {
    explicit TheThread(ThreadPool* owner, int slot);
    ThreadPool* pool;
    ScopedHandle thread;
    int index;
    std::atomic<uint8_t> busy{0};
    std::atomic<int32_t> queued{0};
    std::deque<Upp::Callback> queue;
    Lock lock;
    ScopedHandle wake;  // semaphore, released when the queue turns non-empty
  };

  static unsigned __stdcall ThreadMain(void* param);
  void WorkerLoop(TheThread* self);
  void StealInto(TheThread* self);
  void RunQueued(TheThread* self);
  void RunGuarded(const Upp::Callback& task);
  // Under the pool lock: true when the worker left its slot and must end.
  bool LeaveIfUnwanted(TheThread* self, bool forced);
  bool StartWorker(int slot);

  static constexpr DWORD kShutdownWaitMs = 2000;

  mutable Lock lock_;  // guards threads_ and every write of wanted_ and shutting_down_
  // Atomic so a worker may read it under its own lock only.
  std::atomic<bool> shutting_down_{false};
  ScopedHandle all_exited_;  // semaphore, released by the last leaving worker
  std::atomic<int32_t> wanted_{0};
  // Changed with interlocked (lock-prefixed) increments and decrements.
  std::atomic<LONG> live_{0};
  std::atomic<LONG> pending_{0};
  std::vector<std::unique_ptr<TheThread>> threads_;
};

}  // namespace base
