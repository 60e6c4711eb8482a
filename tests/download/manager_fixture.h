// Drives the real DownloadManager as the program does: the controller and
// its managers, the download pool, a pumped message loop, and a log file
// read back. A local server stands in for the statistics host; message
// boxes and the installer start are captured instead of shown or run.
//
// Test thread only, except the state trace (any thread, under its lock).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/config_manager.h"
#include "app/download_manager.h"
#include "app/main_wnd_manager.h"
#include "app/report_manager.h"
#include "app/thread_manager.h"
#include "base/controller.h"
#include "base/message_loop.h"
#include "base/thread_pool.h"
#include "common/fault_server.h"
#include "common/log_capture.h"
#include "common/test_controller.h"
#include "common/test_util.h"
#include "upp/signal.h"
#include "upp/timer_queue.h"

namespace dmtest {

struct ProgressEvent {
  float fraction;
  std::wstring speed, size;
  bool animate;
};

class Observer : public sigslot::has_slots<> {
 public:
  void OnProgress(float f, const std::wstring& speed, const std::wstring& size, bool animate) {
    progress.push_back({f, speed, size, animate});
  }
  void OnError(const std::wstring& text) { errors.push_back(text); }
  void OnFinished() { ++finished; }
  void OnStateChanged() { ++state_changes; }
  void OnRootChanged() { ++root_changes; }

  std::vector<ProgressEvent> progress;
  std::vector<std::wstring> errors;
  int finished = 0, state_changes = 0, root_changes = 0;
};

class ManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    // The exit flag cannot be cleared; it is set only by the last test.
    if (base::IsExiting()) GTEST_SKIP() << "an earlier test of this process set the exit flag";
    base::SetController(&controller_);
    log_ = std::make_unique<testutil::ScopedLogCapture>(dir_.Join(L"log.txt"));
    ASSERT_TRUE(log_->ok());
    ASSERT_TRUE(stats_.Start());
    GetLogicObject<korvan::ReportManager>()->SetStatsHostForTesting(L"127.0.0.1:" +
                                                                    std::to_wstring(stats_.port()));
    config_ = GetLogicObject<korvan::ConfigManager>();
    root_ = dir_.Join(L"games");
    config_->SetInstallRoot(root_, false);
    config_->InstallRootChanged.connect(&observer_, &Observer::OnRootChanged);
    GetLogicObject<korvan::MainWndManager>()->SetMessageSinkForTesting(
        [this](const std::wstring& text, const std::wstring& caption) { messages_.push_back(text + L"|" + caption); });
    pool_ = GetLogicObject<korvan::ThreadManager>()->DownloadPool();
    dm_ = GetLogicObject<korvan::DownloadManager>();
    dm_->SetInstallStepForTesting([this] { ++install_steps_; });
    dm_->SetStateTraceForTesting([this](int32_t state) {
      std::lock_guard<std::mutex> guard(trace_lock_);
      if (trace_.empty() || trace_.back() != state) trace_.push_back(state);
    });
    dm_->Progress.connect(&observer_, &Observer::OnProgress);
    dm_->Error.connect(&observer_, &Observer::OnError);
    dm_->Finished.connect(&observer_, &Observer::OnFinished);
    dm_->StateChanged.connect(&observer_, &Observer::OnStateChanged);
  }

  void TearDown() override {
    if (dm_) {
      dm_->ReleaseEngine();
      EXPECT_TRUE(WaitIdle()) << "a download job did not end";
    }
    log_.reset();
  }

  // No job queued or running on the download pool, and what the jobs
  // posted has run.
  bool WaitIdle(DWORD timeout_ms = 20000) {
    const bool idle = testutil::PumpUntil(
        [this] {
          if (pool_->PendingTaskCount() != 0) return false;
          for (const auto& slot : pool_->Slots()) {
            if (slot.busy) return false;
          }
          return true;
        },
        timeout_ms);
    // PostToUI goes through the timer queue: let it run dry.
    testutil::PumpUntil([] { return Upp::PendingTimeCallbacks() == 0; }, 2000);
    return idle;
  }
  bool WaitState(int32_t state, DWORD timeout_ms = 20000) {
    return testutil::PumpUntil([&] { return dm_->CurrentState() == state; }, timeout_ms);
  }
  std::wstring Log() { return log_->Text(); }
  bool Logged(const std::wstring& text) { return log_->Contains(text); }
  std::vector<int32_t> Trace() {
    std::lock_guard<std::mutex> guard(trace_lock_);
    return trace_;
  }
  // Request lines the statistics host received that contain `part`.
  size_t Reports(const std::string& part) {
    const auto requests = stats_.Requests();
    return std::count_if(requests.begin(), requests.end(), [&](const testutil::RecordedRequest& r) {
      return r.request_line.find(part) != std::string::npos;
    });
  }

  testutil::ScopedTempDir dir_;
  testutil::FaultServer stats_{testutil::FaultServer::Answer::kOk, "ok"};
  Observer observer_;
  std::vector<std::wstring> messages_;  // "text|caption"
  int install_steps_ = 0;
  std::wstring root_;
  std::unique_ptr<testutil::ScopedLogCapture> log_;
  korvan::ConfigManager* config_ = nullptr;
  korvan::DownloadManager* dm_ = nullptr;
  base::ThreadPool* pool_ = nullptr;
  std::mutex trace_lock_;
  std::vector<int32_t> trace_;
  // Last: its managers go first.
  testutil::TestController controller_;
};

}  // namespace dmtest
