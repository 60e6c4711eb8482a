#include "app/download_manager.h"

#include <atomic>
#include <cwchar>
#include <utility>

#include "app/client_manager.h"
#include "app/config_manager.h"
#include "app/disk_check.h"
#include "app/engine_link.h"
#include "app/installer_hold.h"
#include "app/main_wnd_manager.h"
#include "app/report_manager.h"
#include "app/thread_manager.h"
#include "base/controller.h"
#include "base/file_util.h"
#include "base/message_loop.h"
#include "base/post_to_ui.h"
#include "base/scoped_handle.h"
#include "base/thread_pool.h"
#include "engine/fetch_contract.h"
#include "log/log.h"

namespace korvan {
namespace {

constexpr DWORD kPollIntervalMs = 1000;
constexpr int64_t kNoSpeed = -1;

// False when the pool is gone (the controller is being torn down).
bool PostToDownloadPool(Upp::Callback task) {
  base::ThreadPool* pool = GetLogicObject<ThreadManager>()->DownloadPool();
  return pool && pool->Post(std::move(task));
}

}  // namespace

class DownloadManager::Pimpl : public Upp::Pte<Pimpl> {
 public:
  explicit Pimpl(DownloadManager* owner);
  ~Pimpl();

  void Initialize();
  void StartDownload();
  bool PauseDownload();
  bool ResumeDownload();
  void RetryDownload();
  void ReleaseEngine();
  int32_t CurrentState() const { return shared_->state.load(std::memory_order_acquire); }
  HandOff CheckHandOff(const std::wstring& installer_path) const;

  void set_engine_path(const std::wstring& path) { engine_path_ = path; }
  void set_install_step(Upp::Callback step) { install_step_ = std::move(step); }
  void set_state_trace(std::function<void(int32_t)> trace) { shared_->state_trace = std::move(trace); }

 private:
  // What the user-interface thread and the download-pool jobs share. A job
  // holds it by shared_ptr, so it outlives a manager destroyed meanwhile;
  // the job reaches the manager only by posting to the weak `ui`.
  struct Shared {
    explicit Shared(Pimpl* owner);

    void SetState(int32_t value);
    // Engine check: silent once the program is ending, else a missing
    // engine is logged and shown.
    bool EngineUsable(bool present);
    // Engine check, then `call` with the engine while it cannot be
    // unloaded. False when the check failed.
    template <class Call>
    bool WithEngine(Call call);
    void HandleFailure(int32_t code, const wchar_t* text, int display_code);
    void PostProgress(int64_t received, int64_t total, int64_t speed, bool animate);
    void PostError(const wchar_t* text, int code);
    template <class Fn>
    void Post(Fn fn);

    const Upp::Ptr<Pimpl> ui;
    EngineLink link;
    std::atomic<int32_t> state{kInitial};
    std::atomic<int64_t> total{0};
    std::atomic<bool> job_running{false};
    std::atomic<bool> abandoned{false};
    base::ScopedHandle stop_event;  // set when the manager goes: ends the poll wait
    // Taken before state 9 is stored, let go when a transfer starts again.
    InstallerHold installer;
    std::function<void(int32_t)> state_trace;
  };

  void OnPackagesPrepared(bool ok);
  void LoadEngine();
  // False when the engine check failed: the set-up stops there.
  bool QueryEarlierDownload();
  void PostStatusCheck();
  void PostTransferJob();
  void NotifyProgress(int64_t received, int64_t total, int64_t speed, bool animate);
  void NotifyError(const std::wstring& text, int code);
  void OnFinished();
  void RunInstallStep();

  static void HoldInstaller(Shared& shared, ConfigManager* config);
  static void RunStatusCheck(Shared& shared);
  static void RunTransferJob(Shared& shared, ConfigManager* config, ReportManager* report);
  // True when the download is finished.
  static bool HandlePoll(Shared& shared, int32_t code, const fetch::Result& result,
                         ConfigManager* config);

  DownloadManager* const owner_;
  std::shared_ptr<Shared> shared_;
  std::wstring engine_path_;
  Upp::Callback install_step_;
  bool preparing_ = false;
};

// Shared ---------------------------------------------------------------------

DownloadManager::Pimpl::Shared::Shared(Pimpl* owner)
    : ui(owner), stop_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

template <class Fn>
void DownloadManager::Pimpl::Shared::Post(Fn fn) {
  base::PostToUI([target = ui, fn] {
    if (Pimpl* p = target.Get()) fn(p);
  });
}

void DownloadManager::Pimpl::Shared::SetState(int32_t value) {
  state.store(value, std::memory_order_release);
  if (state_trace) state_trace(value);
  Post([](Pimpl* p) { p->owner_->StateChanged.emit(); });
}

bool DownloadManager::Pimpl::Shared::EngineUsable(bool present) {
  if (base::IsExiting()) return false;
  if (present) return true;
  KV_LOG_ERROR << "下载模块失效";
  PostError(L"下载模块失效", kNoCode);
  return false;
}

template <class Call>
bool DownloadManager::Pimpl::Shared::WithEngine(Call call) {
  bool present = false;
  {
    EngineLink::Hold hold(link);
    present = hold.engine() != nullptr;
    if (present && !base::IsExiting()) {
      call(hold.engine());
      return true;
    }
  }
  // Logged and posted outside the hold, so an unload never waits for it.
  EngineUsable(present);
  return false;
}

void DownloadManager::Pimpl::Shared::HandleFailure(int32_t code, const wchar_t* text,
                                                   int display_code) {
  if (code == fetch::kOk) return;
  if (code == fetch::kCheckFailed) {
    SetState(kFailedFileCheck);
    PostError(L"下载文件检查出错", kNoCode);
    return;
  }
  SetState(kFailedRetryable);
  PostError(text, display_code);
}

void DownloadManager::Pimpl::Shared::PostProgress(int64_t received, int64_t total_bytes,
                                                  int64_t speed, bool animate) {
  Post([=](Pimpl* p) { p->NotifyProgress(received, total_bytes, speed, animate); });
}

void DownloadManager::Pimpl::Shared::PostError(const wchar_t* text, int code) {
  Post([message = std::wstring(text), code](Pimpl* p) { p->NotifyError(message, code); });
}

// User-interface thread -----------------------------------------------------

DownloadManager::Pimpl::Pimpl(DownloadManager* owner)
    : owner_(owner), shared_(std::make_shared<Shared>(this)) {}

DownloadManager::Pimpl::~Pimpl() {
  // A job still running ends at its next step without touching managers.
  shared_->abandoned.store(true, std::memory_order_release);
  SetEvent(shared_->stop_event.Get());
  shared_->link.Unload();
}

void DownloadManager::Pimpl::Initialize() {
  KV_LOG_MESSAGE << "初始化下载模块";
  if (shared_->link.HasInterface() || preparing_) return;
  preparing_ = true;
  owner_->Progress.emit(0.0f, std::wstring(), std::wstring(), false);
  shared_->SetState(kInitial);

  // A test engine comes ready to load: nothing to unpack.
  ClientManager* client = engine_path_.empty() ? GetLogicObject<ClientManager>() : nullptr;
  Upp::Ptr<Pimpl> self(this);
  PostToDownloadPool([self, client] {
    const bool ok = !client || client->PreparePackages();
    if (!ok) KV_LOG_ERROR << "释放模块组失败";
    base::PostToUI([self, ok] {
      if (Pimpl* p = self.Get()) p->OnPackagesPrepared(ok);
    });
  });
}

void DownloadManager::Pimpl::OnPackagesPrepared(bool ok) {
  preparing_ = false;
  if (!ok) {
    KV_LOG_ERROR << "下载模块加载失败";
    GetLogicObject<MainWndManager>()->ShowMessage(L"下载模块加载失败", L"");
    owner_->PackagesPrepared.emit(false);
    return;
  }
  owner_->PackagesPrepared.emit(true);
  LoadEngine();
  if (!QueryEarlierDownload()) return;
  // A file finished by an earlier run leaves nothing to download.
  if (CurrentState() == kFinished) return;
  PostStatusCheck();
}

void DownloadManager::Pimpl::LoadEngine() {
  const std::wstring path = engine_path_.empty()
                                ? GetLogicObject<ConfigManager>()->GetTempDir() + L"\\" + fetch::kLibraryName
                                : engine_path_;
  DWORD error = 0;
  // Every failure goes on to the earlier-download query, whose engine check
  // tells the user that the engine is missing.
  switch (shared_->link.Load(path, &error)) {
    case EngineLink::LoadResult::kLoaded:
      break;
    case EngineLink::LoadResult::kNoLibrary:
      KV_LOG_ERROR << "FetchCore.dll 载入失败 error_code:" << error << " path:" << path;
      break;
    case EngineLink::LoadResult::kNoExport:
      KV_LOG_ERROR << "获取接口失败 FetchCore.dll GetInstance error_code:" << error;
      break;
    case EngineLink::LoadResult::kNoInstance:
      KV_LOG_ERROR << "FetchCore.dll GetInstance 调用返回失败";
      break;
  }
}

bool DownloadManager::Pimpl::QueryEarlierDownload() {
  if (!shared_->EngineUsable(shared_->link.IsPresent())) return false;
  fetch::Engine* engine = shared_->link.engine();
  const fetch::Request request = {fetch::kProductKey, L"", fetch::kInstallerTaskId};
  fetch::Result result = {};
  const int32_t code = engine->table->query_earlier(engine, &request, &result);
  if (code != fetch::kOk) {
    KV_LOG_ERROR << "查询上次下载状态出错，error_code:" << code;
    return true;
  }
  KV_LOG_MESSAGE << "查询上次下载状态成功";
  ConfigManager* config = GetLogicObject<ConfigManager>();
  const std::wstring path(result.path, wcsnlen(result.path, fetch::kPathChars));
  if (path.empty()) {
    KV_LOG_MESSAGE << "未发现上次下载信息";
    shared_->SetState(kNoEarlierDownload);
    // The panels show the install root they find now.
    config->InstallRootChanged.emit();
    return true;
  }
  config->SetInstallRoot(base::GetParentFolder(path), true);
  KV_LOG_MESSAGE << "发现上次下载信息，path:" << path << " 已下载：" << result.received
                 << " 总大小：" << result.total;
  // The engine has checked the finished file again at this query; from here
  // on it must stay that file.
  if (result.completed != 0) HoldInstaller(*shared_, config);
  shared_->SetState(result.completed != 0 ? kFinished : kEarlierDownloadFound);
  NotifyProgress(result.received, result.total, kNoSpeed, result.completed != 1);
  return true;
}

void DownloadManager::Pimpl::PostStatusCheck() {
  std::shared_ptr<Shared> shared = shared_;
  PostToDownloadPool([shared] { RunStatusCheck(*shared); });
}

void DownloadManager::Pimpl::StartDownload() {
  const int32_t state = CurrentState();
  if (state != kReadyNew && state != kReadyResume) return;
  // The state stays 3 or 4 until the job's start call: one job at a time.
  if (shared_->job_running.load(std::memory_order_acquire)) return;
  if (state == kReadyNew) {
    const DiskCheckResult check =
        CheckDownloadDisk(GetLogicObject<ConfigManager>()->GetInstallRoot(),
                          shared_->total.load(std::memory_order_acquire), DiskProbe());
    if (!check.passed) {
      GetLogicObject<MainWndManager>()->ShowMessage(check.message, L"");
      return;
    }
  }
  PostTransferJob();
}

void DownloadManager::Pimpl::PostTransferJob() {
  // Looked up here: a worker may only find managers, and these exist now.
  ConfigManager* config = GetLogicObject<ConfigManager>();
  ReportManager* report = GetLogicObject<ReportManager>();
  std::shared_ptr<Shared> shared = shared_;
  shared->job_running.store(true, std::memory_order_release);
  const bool posted = PostToDownloadPool([shared, config, report] {
    RunTransferJob(*shared, config, report);
    shared->job_running.store(false, std::memory_order_release);
  });
  if (!posted) shared->job_running.store(false, std::memory_order_release);
}

bool DownloadManager::Pimpl::PauseDownload() {
  if (!shared_->EngineUsable(shared_->link.IsPresent())) return false;
  const int32_t state = CurrentState();
  if (state != kDownloading) {
    KV_LOG_MESSAGE << "调用暂停无效，下载状态不符，current_state_:" << state;
    return false;
  }
  fetch::Engine* engine = shared_->link.engine();
  const int32_t code = engine->table->pause(engine);
  if (code != fetch::kOk) {
    KV_LOG_ERROR << "下载暂停失败，错误码：" << code;
    return false;
  }
  KV_LOG_MESSAGE << "下载暂停成功";
  shared_->SetState(kPaused);
  return true;
}

bool DownloadManager::Pimpl::ResumeDownload() {
  if (!shared_->EngineUsable(shared_->link.IsPresent())) return false;
  const int32_t state = CurrentState();
  if (state != kPaused) {
    KV_LOG_MESSAGE << "调用恢复无效，下载状态不符，current_state_:" << state;
    return false;
  }
  fetch::Engine* engine = shared_->link.engine();
  const int32_t code = engine->table->resume(engine);
  if (code != fetch::kOk) {
    KV_LOG_ERROR << "恢复下载失败，错误码：" << code;
    return false;
  }
  KV_LOG_MESSAGE << "恢复下载成功";
  shared_->SetState(kDownloading);
  return true;
}

void DownloadManager::Pimpl::RetryDownload() {
  if (!shared_->EngineUsable(shared_->link.IsPresent())) return;
  const int32_t state = CurrentState();
  if (state != kFailedRetryable || shared_->job_running.load(std::memory_order_acquire)) {
    KV_LOG_MESSAGE << "调用重试无效，下载状态不符，current_state_:" << state;
    return;
  }
  PostTransferJob();
}

void DownloadManager::Pimpl::ReleaseEngine() {
  if (shared_->link.Unload()) KV_LOG_MESSAGE << "release download api suc";
  shared_->installer.Release();
}

DownloadManager::HandOff DownloadManager::Pimpl::CheckHandOff(const std::wstring& installer_path) const {
  if (CurrentState() != kFinished) return HandOff::kNotVerified;
  return shared_->installer.Holds(installer_path) ? HandOff::kVerified : HandOff::kUnavailable;
}

void DownloadManager::Pimpl::HoldInstaller(Shared& shared, ConfigManager* config) {
  const std::wstring installer = config->GetInstallerPath();
  if (!shared.installer.Hold(installer)) {
    KV_LOG_ERROR << "安装包锁定失败 error_code:" << GetLastError() << " path:" << installer;
  }
}

void DownloadManager::Pimpl::NotifyProgress(int64_t received, int64_t total, int64_t speed,
                                            bool animate) {
  const float fraction =
      total > 0 ? static_cast<float>(static_cast<double>(received) / static_cast<double>(total)) : 0.0f;
  owner_->Progress.emit(fraction, SpeedText(speed), AmountText(received, total), animate);
}

void DownloadManager::Pimpl::NotifyError(const std::wstring& text, int code) {
  owner_->Error.emit(ErrorText(text, code));
}

void DownloadManager::Pimpl::OnFinished() {
  GetLogicObject<ReportManager>()->ReportDownloadDone();
  owner_->Finished.emit();
}

void DownloadManager::Pimpl::RunInstallStep() {
  if (install_step_) {
    install_step_();
    return;
  }
  GetLogicObject<ClientManager>()->InstallExe();
}

// Download-pool workers -----------------------------------------------------

void DownloadManager::Pimpl::RunStatusCheck(Shared& shared) {
  KV_LOG_MESSAGE << "获取下载状态";
  const fetch::Request request = {fetch::kProductKey, L"", fetch::kInstallerTaskId};
  fetch::Result result = {};
  int32_t code = fetch::kOk;
  if (!shared.WithEngine([&](fetch::Engine* e) { code = e->table->check_status(e, &request, &result); })) {
    return;
  }
  if (code != fetch::kOk) {
    shared.SetState(kFailedRetryable);
    KV_LOG_ERROR << "下载状态检查失败 error_code:" << code;
    shared.PostError(L"下载状态检查失败", code);
    return;
  }
  shared.total.store(result.total, std::memory_order_release);
  // Only a run that found no earlier download starts afresh; a failed
  // earlier-download query leaves state 0 and resumes whatever is there.
  shared.SetState(shared.state.load(std::memory_order_acquire) == kNoEarlierDownload ? kReadyNew
                                                                                     : kReadyResume);
  KV_LOG_MESSAGE << "下载状态查询成功";
  shared.PostProgress(result.received, result.total, kNoSpeed, false);
}

void DownloadManager::Pimpl::RunTransferJob(Shared& shared, ConfigManager* config,
                                            ReportManager* report) {
  KV_LOG_MESSAGE << "启动下载";
  if (shared.abandoned.load(std::memory_order_acquire) || !shared.EngineUsable(shared.link.IsPresent())) {
    return;
  }
  const int32_t state = shared.state.load(std::memory_order_acquire);
  if (state == kReadyNew) {
    report->ReportDownloadStart();
  } else if (state == kReadyResume) {
    report->ReportDownloadResume();
  }

  // A file held from an earlier finish is no longer the one to hand off.
  shared.installer.Release();
  const std::wstring save_folder = config->GetInstallDir();
  base::CreateFolderTree(save_folder);
  shared.SetState(kStarting);
  const fetch::Request request = {fetch::kProductKey, save_folder.c_str(), fetch::kInstallerTaskId};
  int32_t code = fetch::kOk;
  if (!shared.WithEngine([&](fetch::Engine* e) { code = e->table->start(e, &request); })) return;
  if (code != fetch::kOk) {
    KV_LOG_ERROR << "启动下载失败，errorcode:" << code;
    shared.HandleFailure(code, L"启动下载失败", code);
    return;
  }
  shared.SetState(kDownloading);
  KV_LOG_MESSAGE << "启动下载成功";

  for (;;) {
    if (shared.abandoned.load(std::memory_order_acquire)) return;
    fetch::Result result = {};
    code = fetch::kOk;
    if (!shared.WithEngine([&](fetch::Engine* e) { code = e->table->query_progress(e, &result); })) {
      return;
    }
    if (HandlePoll(shared, code, result, config)) break;
    const int32_t now = shared.state.load(std::memory_order_acquire);
    if (now == kFailedFileCheck || now == kFailedRetryable) break;
    WaitForSingleObject(shared.stop_event.Get(), kPollIntervalMs);
  }
  shared.Post([](Pimpl* p) { p->RunInstallStep(); });
}

bool DownloadManager::Pimpl::HandlePoll(Shared& shared, int32_t code, const fetch::Result& result,
                                        ConfigManager* config) {
  if (code != fetch::kOk) {
    KV_LOG_ERROR << "下载进度查询失败，errorcode:" << code;
    if (code == fetch::kTransferFailed || code == fetch::kCheckFailed) {
      shared.HandleFailure(code, L"下载失败，请重试", kNoCode);
    }
    return false;
  }
  shared.PostProgress(result.received, result.total, result.speed, true);
  if (result.completed == 0) {
    if (result.received >= result.total && result.total > 0) shared.SetState(kAllReceived);
    return false;
  }
  KV_LOG_MESSAGE << "下载完成";
  config->WriteChannelFile();
  // Held before state 9 is stored: a hand-off that sees 9 finds it held.
  HoldInstaller(shared, config);
  shared.SetState(kFinished);
  shared.Post([](Pimpl* p) { p->OnFinished(); });
  return true;
}

// DownloadManager -----------------------------------------------------------

DownloadManager::DownloadManager() : pimpl_(std::make_unique<Pimpl>(this)) {}
DownloadManager::~DownloadManager() = default;

void DownloadManager::Initialize() { pimpl_->Initialize(); }
void DownloadManager::StartDownload() { pimpl_->StartDownload(); }
bool DownloadManager::PauseDownload() { return pimpl_->PauseDownload(); }
bool DownloadManager::ResumeDownload() { return pimpl_->ResumeDownload(); }
void DownloadManager::RetryDownload() { pimpl_->RetryDownload(); }
void DownloadManager::ReleaseEngine() { pimpl_->ReleaseEngine(); }
int32_t DownloadManager::CurrentState() const { return pimpl_->CurrentState(); }
DownloadManager::HandOff DownloadManager::CheckHandOff(const std::wstring& installer_path) const {
  return pimpl_->CheckHandOff(installer_path);
}

void DownloadManager::SetEnginePathForTesting(const std::wstring& dll_path) {
  pimpl_->set_engine_path(dll_path);
}
void DownloadManager::SetInstallStepForTesting(Upp::Callback step) {
  pimpl_->set_install_step(std::move(step));
}
void DownloadManager::SetStateTraceForTesting(std::function<void(int32_t)> trace) {
  pimpl_->set_state_trace(std::move(trace));
}

}  // namespace korvan
