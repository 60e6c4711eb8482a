// Owner of the worker pools the application uses.
//
// Two pools are handed out: DownloadPool() (2 threads) for the download
// manager's engine work, RequestPool() (4 threads) for HTTP requests. Each is
// created on its first request and lives until the manager dies; the
// controller keeps the manager until the process exits.
//
// IMPORTANT: Thread-safety. The first call of DownloadPool()/RequestPool()
// is made on the user-interface thread (the managers that post work are
// built there); later calls may come from any thread. Creation is guarded by
// a lock regardless, so a worker asking first cannot build a second pool.
// Destroy the manager on the user-interface thread, never from a task of one
// of its pools.
//
// Ownership: the manager owns the pools; callers get a borrowed pointer that
// stays valid for the manager's lifetime. While the manager is being
// destroyed the getters return null.
#pragma once

#include <memory>

#include "base/logic_object.h"

namespace base {
class ThreadPool;
}

namespace korvan {

class ThreadManager : public base::LogicObject {
 public:
  ThreadManager();
  ~ThreadManager() override;
  ThreadManager(const ThreadManager&) = delete;
  ThreadManager& operator=(const ThreadManager&) = delete;

  // Nothing to hand over at tear-down: the pools just stop.
  bool CanRelease() override { return true; }

  base::ThreadPool* DownloadPool();
  base::ThreadPool* RequestPool();

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
