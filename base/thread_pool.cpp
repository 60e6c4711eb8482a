#include "base/thread_pool.h"

#include <process.h>

#include <exception>

#include "log/log.h"

namespace base {

namespace {

constexpr LONG kSemaphoreMax = 2147483647;

HANDLE NewSemaphore() { return CreateSemaphoreW(nullptr, 0, kSemaphoreMax, nullptr); }

}  // namespace

namespace pool_policy {

int ChooseLeastLoaded(const std::vector<int>& loads) {
  int best = -1;
  for (int i = 0; i < static_cast<int>(loads.size()); ++i) {
    if (loads[i] < 0) continue;
    if (best < 0 || loads[i] < loads[best]) best = i;
  }
  return best;
}

int ChooseVictim(const std::vector<int>& queued) {
  int best = -1;
  int best_count = 0;
  for (int i = static_cast<int>(queued.size()) - 1; i >= 0; --i) {
    if (queued[i] > best_count) {
      best = i;
      best_count = queued[i];
    }
  }
  return best;
}

}  // namespace pool_policy

ThreadPool::TheThread::TheThread(ThreadPool* owner, int slot)
    : pool(owner), index(slot), wake(NewSemaphore()) {}

ThreadPool::ThreadPool() : all_exited_(NewSemaphore()) {
  if (!all_exited_) {
    KV_LOG_ERROR << "base::ThreadPool::ThreadPool CreateSemaphore failed " << GetLastError();
  }
}

ThreadPool::~ThreadPool() {
  // Callbacks bound to the pool must read it as gone before anything dies.
  InvalidateWeakPtrs();
  {
    AutoLock pool(lock_);
    shutting_down_ = true;
    wanted_ = 0;
    for (auto& worker : threads_) {
      if (!worker) continue;
      AutoLock worker_lock(worker->lock);
      // The tasks stay in the queue and are released with the record; a
      // worker that sees the flag stops taking them.
      worker->queued = 0;
      ReleaseSemaphore(worker->wake.Get(), 1, nullptr);
    }
    pending_ = 0;
  }

  const ULONGLONG start = GetTickCount64();
  while (live_ > 0) {
    if (GetTickCount64() - start > kShutdownWaitMs) break;
    const DWORD waited = WaitForSingleObject(all_exited_.Get(), kShutdownWaitMs);
    if (waited == WAIT_TIMEOUT) break;
    // Without a semaphore, poll the count until the deadline.
    if (waited != WAIT_OBJECT_0) Sleep(10);
  }

  std::vector<std::unique_ptr<TheThread>> table;
  {
    // Holding the pool lock while terminating: a worker cut off inside the
    // locked part of its exit would leave the lock owned forever.
    AutoLock pool(lock_);
    for (auto& worker : threads_) {
      if (!worker) continue;
      KV_LOG_WARNING << "base::ThreadPool::~ThreadPool 强制结束线程 " << worker->index;
      TerminateThread(worker->thread.Get(), 1);
      // Termination is asynchronous; the record must outlive the thread.
      WaitForSingleObject(worker->thread.Get(), 1000);
    }
    table.swap(threads_);
    shutting_down_ = false;
  }
  Sleep(100);
  // Records go here, with any tasks they still held; the lock and the
  // semaphore go with the members.
  table.clear();
}

void ThreadPool::SetThreadCount(int n) {
  if (n < 0) return;
  AutoLock pool(lock_);
  const int old = wanted_;
  if (n == old || shutting_down_) return;

  if (n > old) {
    if (static_cast<int>(threads_.size()) < n) threads_.resize(n);
    wanted_ = n;
    // A slot still held by a worker that was on its way out keeps that
    // worker: it re-checks the wanted count under this lock before leaving.
    for (int slot = old; slot < n; ++slot) {
      if (!threads_[slot]) StartWorker(slot);
    }
    return;
  }

  wanted_ = n;
  for (int slot = old - 1; slot >= n; --slot) {
    if (threads_[slot]) ReleaseSemaphore(threads_[slot]->wake.Get(), 1, nullptr);
  }
}

bool ThreadPool::StartWorker(int slot) {
  auto record = std::make_unique<TheThread>(this, slot);
  if (!record->wake) {
    KV_LOG_ERROR << "base::ThreadPool::SetThreadCount CreateSemaphore failed " << GetLastError();
    return false;
  }
  ++live_;
  unsigned id = 0;
  const uintptr_t handle = _beginthreadex(nullptr, 0, &ThreadPool::ThreadMain, record.get(), 0, &id);
  if (!handle) {
    const DWORD error = GetLastError();
    --live_;
    KV_LOG_ERROR << "base::ThreadPool::SetThreadCount 创建线程失败 " << error;
    return false;
  }
  // The new thread touches the table only under the pool lock, which the
  // caller holds, so it cannot see the slot before it is filled.
  record->thread.Reset(reinterpret_cast<HANDLE>(handle));
  threads_[slot] = std::move(record);
  return true;
}

bool ThreadPool::Post(Upp::Callback task, bool front) {
  AutoLock pool(lock_);
  const int wanted = wanted_;
  if (wanted < 1) return false;

  std::vector<int> loads(wanted, -1);
  for (int i = 0; i < wanted && i < static_cast<int>(threads_.size()); ++i) {
    if (threads_[i]) loads[i] = threads_[i]->busy + threads_[i]->queued;
  }
  const int slot = pool_policy::ChooseLeastLoaded(loads);
  if (slot < 0) return false;  // every start failed

  TheThread* worker = threads_[slot].get();
  {
    AutoLock worker_lock(worker->lock);
    if (front) {
      worker->queue.push_front(std::move(task));
    } else {
      worker->queue.push_back(std::move(task));
    }
    const int32_t count = static_cast<int32_t>(worker->queue.size());
    worker->queued = count;
    if (count == 1) ReleaseSemaphore(worker->wake.Get(), 1, nullptr);
  }
  ++pending_;
  return true;
}

int ThreadPool::WantedThreadCount() const { return wanted_; }

int ThreadPool::LiveThreadCount() const { return live_; }

int ThreadPool::PendingTaskCount() const { return pending_; }

std::vector<ThreadPool::SlotInfo> ThreadPool::Slots() const {
  AutoLock pool(lock_);
  std::vector<SlotInfo> slots(threads_.size());
  for (size_t i = 0; i < threads_.size(); ++i) {
    if (!threads_[i]) continue;
    slots[i].occupied = true;
    slots[i].busy = threads_[i]->busy != 0;
    slots[i].queued = threads_[i]->queued;
  }
  return slots;
}

void ThreadPool::RunTask(const Upp::Callback& task) {
  if (task) task();
}

unsigned __stdcall ThreadPool::ThreadMain(void* param) {
  auto* self = static_cast<TheThread*>(param);
  ThreadPool* pool = self->pool;
  try {
    pool->WorkerLoop(self);
  } catch (...) {
    // Tasks are guarded one by one, so this is the pool's own bookkeeping
    // failing (out of memory). Give the slot up so destruction does not wait
    // for a thread that is gone.
    try {
      KV_LOG_ERROR << "base::ThreadPool::ThreadMain 工作线程异常退出";
    } catch (...) {
    }
    pool->LeaveIfUnwanted(self, true);
  }
  return 0;
}

void ThreadPool::WorkerLoop(TheThread* self) {
  for (;;) {
    if (self->queued == 0 && pending_ > 0) StealInto(self);
    if (self->queued == 0) WaitForSingleObject(self->wake.Get(), INFINITE);
    self->busy = 1;
    RunQueued(self);
    self->busy = 0;
    if (self->index < wanted_) continue;
    if (LeaveIfUnwanted(self, false)) return;
  }
}

void ThreadPool::StealInto(TheThread* self) {
  AutoLock pool(lock_);
  std::vector<int> queued(threads_.size(), -1);
  for (size_t i = 0; i < threads_.size(); ++i) {
    if (threads_[i]) queued[i] = threads_[i]->queued;
  }
  const int slot = pool_policy::ChooseVictim(queued);
  // A Post may have filled our own queue since we looked; then it is no
  // victim, we simply have work.
  if (slot < 0 || slot == self->index) return;

  TheThread* victim = threads_[slot].get();
  AutoLock victim_lock(victim->lock);
  AutoLock own_lock(self->lock);
  pool_policy::DealAlternately(victim->queue, self->queue);
  victim->queued = static_cast<int32_t>(victim->queue.size());
  self->queued = static_cast<int32_t>(self->queue.size());
}

void ThreadPool::RunQueued(TheThread* self) {
  for (;;) {
    // The task's shared reference lives here, so the callback outlasts the
    // call even if every other copy is dropped meanwhile.
    Upp::Callback task;
    {
      AutoLock own(self->lock);
      if (self->queue.empty() || shutting_down_) return;
      task = std::move(self->queue.front());
      self->queue.pop_front();
      self->queued = static_cast<int32_t>(self->queue.size());
      --pending_;
    }
    RunGuarded(task);
  }
}

void ThreadPool::RunGuarded(const Upp::Callback& task) {
  // One failing task must not take the worker, and with it every later
  // task of its queue, down.
  try {
    RunTask(task);
  } catch (const std::exception& e) {
    KV_LOG_ERROR << "base::ThreadPool::RunTask 任务抛出异常 " << e.what();
  } catch (...) {
    KV_LOG_ERROR << "base::ThreadPool::RunTask 任务抛出未知异常";
  }
}

bool ThreadPool::LeaveIfUnwanted(TheThread* self, bool forced) {
  std::unique_ptr<TheThread> record;
  {
    AutoLock pool(lock_);
    // Re-checked under the lock: a SetThreadCount that grew the pool again
    // meanwhile keeps this worker in its slot.
    if (!forced && self->index < wanted_) return false;
    record = std::move(threads_[self->index]);
    if (--live_ == 0 && shutting_down_) ReleaseSemaphore(all_exited_.Get(), 1, nullptr);
  }
  // Out of the table, the record is ours alone: closing our own handle and
  // dropping leftover tasks needs no lock. The pool is not touched again.
  record.reset();
  return true;
}

}  // namespace base
