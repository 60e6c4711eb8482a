// The engine object behind the exported interface: one per "GetInstance".
// It answers the eight slots of fetch_contract.h and owns at most one
// transfer job at a time.
//
// Thread-safety: every method may be called from any thread, two at once.
// The quick slots (query earlier, start, pause, resume, query progress)
// only take `job_lock_` for a pointer copy and never wait for I/O; check
// status talks to the sources; shut down waits for the job (under 2 s).
// Start and shut down are serialised by `control_lock_`.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "engine/fetch_contract.h"
#include "engine/task_table.h"
#include "engine/transfer_job.h"

namespace fetch {

class FetchEngine : public Engine {
 public:
  FetchEngine();
  ~FetchEngine();
  FetchEngine(const FetchEngine&) = delete;
  FetchEngine& operator=(const FetchEngine&) = delete;

  // Null unless `engine` is a live engine of this library.
  static FetchEngine* From(Engine* engine);

  int32_t QueryEarlier(const Request* request, Result* result);
  int32_t CheckStatus(const Request* request, Result* result);
  int32_t ShutDown();
  int32_t Start(const Request* request);
  int32_t Pause();
  int32_t Resume();
  int32_t QueryProgress(Result* result);

 private:
  std::shared_ptr<TransferJob> CurrentJob() const;

  static constexpr uint32_t kAlive = 0x4B564643;  // "KVFC"
  uint32_t alive_ = kAlive;
  std::atomic<bool> shutting_down_{false};
  std::mutex control_lock_;
  mutable std::mutex job_lock_;
  std::shared_ptr<TransferJob> job_;
};

}  // namespace fetch
