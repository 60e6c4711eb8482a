#include "engine/fetch_engine.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>

#include "engine/http_conn.h"
#include "engine/state_record.h"

namespace fetch {

namespace {

std::wstring Text(const wchar_t* s) { return s ? std::wstring(s) : std::wstring(); }

// Looks the request's task up; kOk or the slot's failure code.
int32_t FindTask(const Request* request, Task* task) {
  if (!request) return kBadArgument;
  switch (LoadTask(Text(request->product_key), Text(request->task_id), task)) {
    case TaskLookup::kFound:
      return kOk;
    case TaskLookup::kIncomplete:
      return kTaskIncomplete;
    case TaskLookup::kUnknown:
      break;
  }
  return kUnknownTask;
}

std::wstring PointerPath(const Task& task) { return EngineHomeDir() + L"\\" + task.id + L".where"; }

// The save folder an earlier start of `task` used, if it remembered one.
std::wstring RememberedFolder(const Task& task) {
  std::string bytes;
  if (!ReadWholeFile(PointerPath(task), &bytes, 64 * 1024)) return std::wstring();
  return Utf8ToWide(bytes);
}

void Remember(const Task& task, const std::wstring& folder) {
  const std::wstring home = EngineHomeDir();
  SHCreateDirectoryExW(nullptr, home.c_str(), nullptr);
  // Losing this pointer costs only the "earlier download" hint; the
  // download itself still resumes when started into the same folder.
  WriteFileAtomically(PointerPath(task), WideToUtf8(folder));
}

// The folder as an absolute path without a trailing separator ("" when it
// cannot be made one): a relative one would name another folder for a
// later start from another working folder, and the pointer record would
// lose the download.
std::wstring AbsoluteFolder(const std::wstring& folder) {
  if (folder.empty()) return std::wstring();
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  }
  if (n == 0 || n >= full.size()) return std::wstring();
  full.resize(n);
  for (wchar_t& c : full) {
    if (c == L'/') c = L'\\';
  }
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

void CopyPath(const std::wstring& path, Result* result) {
  const size_t n = std::min(path.size(), kPathChars - 1);
  wmemcpy(result->path, path.data(), n);
  result->path[n] = L'\0';
}

constexpr ULONGLONG kProbeDeadlineMs = 20000;

// Asks `url` for its first byte, following redirects. The file's size, or
// false when the source gave no usable answer.
bool ProbeSize(const std::wstring& wide_url, const std::atomic<bool>& cancel, uint64_t* size) {
  HttpUrl url;
  if (!ParseHttpUrl(WideToUtf8(wide_url), &url)) return false;
  // One deadline for the whole probe (lookup, connect, redirects), so the
  // status check answers in bounded time even from a source that trickles.
  const ULONGLONG deadline = GetTickCount64() + kProbeDeadlineMs;
  HttpConnection conn([&cancel, deadline] { return cancel.load() || GetTickCount64() > deadline; }, 10000);
  HttpResponse response;
  for (int redirects = 0;; ++redirects) {
    if (conn.Get(url, 0, 0, std::string(), &response) != IoResult::kOk) return false;
    if ((response.status == 301 || response.status == 302 || response.status == 303 ||
         response.status == 307 || response.status == 308) && !response.location.empty()) {
      conn.Close();
      if (redirects >= 5 || !ParseHttpUrl(ResolveLocation(url, response.location), &url)) {
        return false;
      }
      continue;
    }
    break;
  }
  if (response.status == 206 && response.has_range && response.range_total_known) {
    *size = response.range_total;
    return true;
  }
  if (response.status == 200 && response.has_length) {
    *size = response.content_length;
    return true;
  }
  return false;
}

}  // namespace

FetchEngine::FetchEngine() : Engine{nullptr} {}

FetchEngine::~FetchEngine() {
  ShutDown();
  alive_ = 0;
}

FetchEngine* FetchEngine::From(Engine* engine) {
  auto* self = static_cast<FetchEngine*>(engine);
  return self && self->alive_ == kAlive ? self : nullptr;
}

std::shared_ptr<TransferJob> FetchEngine::CurrentJob() const {
  std::lock_guard<std::mutex> guard(job_lock_);
  return job_;
}

int32_t FetchEngine::QueryEarlier(const Request* request, Result* result) {
  Task task;
  if (!result) return kBadArgument;
  const int32_t found = FindTask(request, &task);
  if (found != kOk) return found;
  const std::wstring folder = RememberedFolder(task);
  if (folder.empty()) return kOk;
  StateRecord record;
  if (!ReadStateFile(StatePath(folder, task), &record) || record.total != task.size ||
      record.sha256 != task.sha256) {
    return kOk;  // nothing usable left there: no earlier download
  }
  WIN32_FILE_ATTRIBUTE_DATA info;
  const bool finished =
      record.verified && GetFileAttributesExW(FinalPath(folder, task).c_str(), GetFileExInfoStandard, &info) &&
      ((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) == task.size;
  const bool partial = GetFileAttributesW(PartPath(folder, task).c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!finished && !partial) return kOk;
  CopyPath(folder, result);
  // A finished file is not reported complete here: it may have changed
  // since, and only the start's check of every piece (or of its digest)
  // may say so, through slot 7.
  result->completed = 0;
  result->total = static_cast<int64_t>(task.size);
  result->received = finished ? static_cast<int64_t>(task.size) : static_cast<int64_t>(record.DoneBytes());
  return kOk;
}

int32_t FetchEngine::CheckStatus(const Request* request, Result* result) {
  Task task;
  if (!result) return kBadArgument;
  const int32_t found = FindTask(request, &task);
  if (found != kOk) return found;
  for (const std::wstring& url : task.urls) {
    uint64_t size = 0;
    if (shutting_down_) return kSourceUnreachable;
    if (!ProbeSize(url, shutting_down_, &size)) continue;
    if (size != task.size) return kSizeMismatch;
    result->total = static_cast<int64_t>(task.size);
    if (std::shared_ptr<TransferJob> job = CurrentJob()) {
      result->received = job->Snapshot().received;
    } else {
      const std::wstring folder = RememberedFolder(task);
      StateRecord record;
      if (!folder.empty() && ReadStateFile(StatePath(folder, task), &record) && record.total == task.size &&
          record.sha256 == task.sha256) {
        result->received = static_cast<int64_t>(record.verified ? task.size : record.DoneBytes());
      }
    }
    return kOk;
  }
  return kSourceUnreachable;
}

int32_t FetchEngine::Start(const Request* request) {
  Task task;
  const int32_t found = FindTask(request, &task);
  if (found != kOk) return found;
  std::wstring folder = AbsoluteFolder(Text(request->save_folder));
  if (folder.empty()) return kBadArgument;

  std::lock_guard<std::mutex> control(control_lock_);
  shutting_down_ = false;
  std::shared_ptr<TransferJob> old = CurrentJob();
  if (old) {
    const JobSnapshot s = old->Snapshot();
    const bool active = !s.stopped && (s.phase == JobPhase::kRunning || s.phase == JobPhase::kVerifying);
    if (active && _wcsicmp(old->folder().c_str(), folder.c_str()) == 0) {
      old->Resume();
      return kOk;
    }
    if (active) return kBusy;
    old->RequestStop();
    old->Join();
  }
  auto job = std::make_shared<TransferJob>(task, folder);
  const int32_t opened = job->Open();
  if (opened != kOk) return opened;
  Remember(task, folder);
  std::lock_guard<std::mutex> guard(job_lock_);
  job_ = job;
  return kOk;
}

int32_t FetchEngine::ShutDown() {
  shutting_down_ = true;
  std::lock_guard<std::mutex> control(control_lock_);
  if (std::shared_ptr<TransferJob> job = CurrentJob()) {
    job->RequestStop();
    job->Join();
  }
  return kOk;
}

int32_t FetchEngine::Pause() {
  std::shared_ptr<TransferJob> job = CurrentJob();
  if (!job || job->Snapshot().stopped || job->Snapshot().phase != JobPhase::kRunning) return kNotStarted;
  job->Pause();
  return kOk;
}

int32_t FetchEngine::Resume() {
  std::shared_ptr<TransferJob> job = CurrentJob();
  if (!job || job->Snapshot().stopped || job->Snapshot().phase != JobPhase::kRunning) return kNotStarted;
  job->Resume();
  return kOk;
}

int32_t FetchEngine::QueryProgress(Result* result) {
  if (!result) return kBadArgument;
  std::shared_ptr<TransferJob> job = CurrentJob();
  if (!job) return kNotStarted;
  const JobSnapshot s = job->Snapshot();
  result->total = s.total;
  result->received = s.received;
  result->speed = s.speed;
  result->completed = s.phase == JobPhase::kDone ? 1 : 0;
  switch (s.phase) {
    case JobPhase::kFailed:
      return kTransferFailed;
    case JobPhase::kCheckFailed:
      return kCheckFailed;
    default:
      return kOk;
  }
}

}  // namespace fetch
