#include "app/thread_manager.h"

#include <array>
#include <mutex>
#include <utility>

#include "base/thread_pool.h"
#include "log/log.h"
#include "upp/toolkit.h"

namespace korvan {

namespace {

enum PoolSlot {
  kDownloadSlot = 0,
  kRequestSlot = 1,
  // Three more slots are sized but nothing asks for them yet.
  kReservedSlot1 = 2,
  kReservedSlot2 = 3,
  kReservedSlot3 = 4,
  kPoolSlotCount = 5,
};

constexpr std::array<int, kPoolSlotCount> kPoolThreads = {2, 4, 1, 2, 1};

}  // namespace

class ThreadManager::Pimpl {
 public:
  ~Pimpl() {
    std::array<std::unique_ptr<base::ThreadPool>, kPoolSlotCount> pools;
    {
      std::lock_guard<std::mutex> guard(lock_);
      closing_ = true;
      pools.swap(pools_);
    }
    // Outside the lock: a task still running may ask for a pool and must
    // get null rather than wait on us while we wait on it.
    for (auto& pool : pools) pool.reset();
  }

  base::ThreadPool* Get(PoolSlot slot) {
    std::lock_guard<std::mutex> guard(lock_);
    if (closing_) {
      KV_LOG_WARNING << "korvan::ThreadManager::Get 管理器正在销毁 " << static_cast<int>(slot);
      return nullptr;
    }
    std::unique_ptr<base::ThreadPool>& pool = pools_[slot];
    if (!pool) {
      if (!Upp::IsUIThread()) {
        KV_LOG_WARNING << "korvan::ThreadManager::Get 首次请求不在界面线程 " << static_cast<int>(slot);
      }
      pool = std::make_unique<base::ThreadPool>();
      pool->SetThreadCount(kPoolThreads[slot]);
    }
    return pool.get();
  }

 private:
  std::mutex lock_;
  bool closing_ = false;
  std::array<std::unique_ptr<base::ThreadPool>, kPoolSlotCount> pools_;
};

ThreadManager::ThreadManager() : pimpl_(std::make_unique<Pimpl>()) {}

ThreadManager::~ThreadManager() = default;

base::ThreadPool* ThreadManager::DownloadPool() { return pimpl_->Get(kDownloadSlot); }

base::ThreadPool* ThreadManager::RequestPool() { return pimpl_->Get(kRequestSlot); }

}  // namespace korvan
