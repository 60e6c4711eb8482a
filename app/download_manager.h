// The download of the game installer from start to hand-off: unpacks and
// loads the engine (FetchCore.dll), finds a download left by an earlier
// run, checks the status and the disk, starts the transfer, polls it once a
// second, pauses, resumes and retries, reports the funnel statuses, and
// releases the engine at shutdown. Holds the verified installer open until
// the hand-off, so nothing can swap it in between. Turns the engine's figures into the texts
// the progress panel shows.
//
// Thread-safety: every public operation and every signal belongs to the
// user-interface thread. The set-up, the status check and the transfer job
// run on the download pool; they reach observers only through PostToUI.
// The state is one aligned 32-bit value written from both sides.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/logic_object.h"
#include "upp/callback.h"
#include "upp/signal.h"

namespace korvan {

class DownloadManager : public base::LogicObject {
 public:
  enum State : int32_t {
    kInitial = 0,
    kNoEarlierDownload = 1,
    kEarlierDownloadFound = 2,
    kReadyNew = 3,
    kReadyResume = 4,
    kStarting = 5,
    kDownloading = 6,
    kAllReceived = 7,
    kPaused = 8,
    kFinished = 9,
    kFailedRetryable = 10,
    kFailedFileCheck = 11,
  };

  // "No code" for error notifications: the text is shown without a code.
  static constexpr int kNoCode = -1;
  // Extra room the disk check asks for beyond the installer's size.
  static constexpr int64_t kDiskReserveBytes = 10485760;

  DownloadManager();
  ~DownloadManager() override;

  // Unpacks the engine on a download-pool worker, loads it, looks for an
  // earlier download and checks the status. Once: a loaded engine ends it.
  void Initialize();
  // States 3 and 4 only (the disk check first in state 3); otherwise
  // nothing happens.
  void StartDownload();
  // True when the engine paused (state 6 → 8) / resumed (8 → 6).
  bool PauseDownload();
  bool ResumeDownload();
  // State 10 only: runs the transfer job again.
  void RetryDownload();
  // Shuts the engine down, calls "Release" and unloads the library.
  void ReleaseEngine();
  int32_t CurrentState() const;

  // Whether `installer_path` may be handed off: kVerified only in state
  // kFinished for the file the engine reported complete and verified in this
  // run, held open without write or delete sharing since then (until
  // ReleaseEngine), so it cannot have been swapped. kUnavailable: finished,
  // but that file could not be held (gone, or open for writing elsewhere).
  enum class HandOff { kVerified, kNotVerified, kUnavailable };
  HandOff CheckHandOff(const std::wstring& installer_path) const;

  // Observers (user-interface thread).
  // fraction 0..1, speed text, size text, animate.
  sigslot::signal4<float, const std::wstring&, const std::wstring&, bool> Progress;
  sigslot::signal1<const std::wstring&> Error;
  sigslot::signal0<> Finished;
  sigslot::signal0<> StateChanged;
  // Offered for the progress panel; the manager itself never emits it.
  sigslot::signal3<const std::wstring&, COLORREF, bool> Status;
  // The set-up finished; true when the engine's files are in place.
  sigslot::signal1<bool> PackagesPrepared;

  // "999B", "1.0KB", "1000.0KB", "1.0MB", ... (one decimal, from 1000 B).
  static std::wstring SizeText(int64_t bytes);
  // "速度：" + SizeText(speed) + "/s"; "速度：0B/s" for no speed (-1).
  static std::wstring SpeedText(int64_t bytes_per_second);
  // "大小：" + SizeText(received) + "/" + SizeText(total).
  static std::wstring AmountText(int64_t received, int64_t total);
  // The given text, then "错误码：" and the code unless it is kNoCode.
  static std::wstring ErrorText(const std::wstring& text, int code);

  // For tests: load the engine from this file instead of the temporary
  // folder's FetchCore.dll, and skip unpacking the packages.
  void SetEnginePathForTesting(const std::wstring& dll_path);
  // For tests: run `step` instead of ClientManager::InstallExe when the
  // transfer loop ends (it starts a process and opens the file explorer).
  void SetInstallStepForTesting(Upp::Callback step);
  // For tests: called with every state stored, on the thread that stored it
  // (a download-pool worker or the user-interface thread), before the
  // state-changed notification is posted. Set it before Initialize.
  void SetStateTraceForTesting(std::function<void(int32_t)> trace);

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
