#include "ctrls/shell_notifier.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "log/log.h"

namespace ctrls {
namespace {

struct Call {
  DWORD op;
  NOTIFYICONDATAW data;
};

class Notifier {
 public:
  Notifier() { std::thread([this] { Run(); }).detach(); }

  void Post(DWORD op, const NOTIFYICONDATAW& data) {
    Call call = {op, data};
    // The caller destroys its icon as soon as it likes.
    call.data.hIcon = data.hIcon ? CopyIcon(data.hIcon) : nullptr;
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(call);
    ++posted_;
    wake_.notify_all();
  }

  bool Flush(DWORD timeout_ms) {
    std::unique_lock<std::mutex> guard(lock_);
    const uint64_t target = posted_;
    return done_changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [&] { return made_ >= target; });
  }

 private:
  void Run() {
    for (;;) {
      Call call;
      {
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait(guard, [this] { return !calls_.empty(); });
        call = calls_.front();
        calls_.pop_front();
      }
      if (!Shell_NotifyIconW(call.op, &call.data)) {
        KV_LOG_ERROR << "ctrls::PostShellNotify Shell_NotifyIcon " << call.op << " failed";
      }
      if (call.data.hIcon) DestroyIcon(call.data.hIcon);
      std::lock_guard<std::mutex> guard(lock_);
      ++made_;
      done_changed_.notify_all();
    }
  }

  std::mutex lock_;
  std::condition_variable wake_, done_changed_;
  std::deque<Call> calls_;
  uint64_t posted_ = 0, made_ = 0;
};

Notifier& TheNotifier() {
  // Never destroyed: its thread may be inside the shell when the process ends.
  static Notifier* notifier = new Notifier;
  return *notifier;
}

}  // namespace

BOOL PostShellNotify(DWORD op, NOTIFYICONDATAW* data) {
  if (!data) return FALSE;
  TheNotifier().Post(op, *data);
  return TRUE;
}

bool FlushShellNotify(DWORD timeout_ms) { return TheNotifier().Flush(timeout_ms); }

}  // namespace ctrls
