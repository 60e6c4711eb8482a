#include "app/report_manager.h"

#include <windows.h>

#include <mutex>
#include <sstream>
#include <utility>

#include "base/controller.h"
#include "base/file_util.h"
#include "deployment_settings.h"
#include "net/machine_id.h"

namespace korvan {

namespace {

// The channel this build is distributed through; the same values the
// configuration writes into the channel data file.
constexpr wchar_t kUserFrom[] = L"253200010098";
constexpr wchar_t kUserChannel[] = L"617340001";
constexpr wchar_t kUserSubsite[] = L"173401";

std::wstring MachineIdText() {
  char mid[259] = {};
  net::GetMachineId(mid, sizeof(mid));
  // Hex digits only (net/machine_id.h), so a byte is a character.
  return std::wstring(mid, mid + strnlen(mid, sizeof(mid)));
}

}  // namespace

class ReportManager::Pimpl : public Upp::Pte<Pimpl> {
 public:
  Pimpl() {
    // Built now, on the user-interface thread: the status-8 reports look the
    // request helper up from a download worker.
    GetLogicObject<HttpAsk>();
  }

  void Report(int status, const wchar_t* first_time) {
    std::wstring host;
    HttpAsk::Completion done;
    {
      std::lock_guard<std::mutex> guard(lock_);
      host = host_;
      done = done_;
    }
    const std::wstring url =
        BuildReportUrl(host, MachineIdText(), status, ProgramVersion(), first_time);
    GetLogicObject<HttpAsk>()->AskGet(url, std::string(), done);
  }

  void SetHost(const std::wstring& host) {
    std::lock_guard<std::mutex> guard(lock_);
    host_ = host;
  }

  void SetCompletion(HttpAsk::Completion done) {
    std::lock_guard<std::mutex> guard(lock_);
    done_ = std::move(done);
  }

 private:
  std::mutex lock_;  // the two settings are read from download workers too
  std::wstring host_ = settings::kStatsHost;
  HttpAsk::Completion done_;
};

ReportManager::ReportManager() : pimpl_(std::make_unique<Pimpl>()) {}

ReportManager::~ReportManager() = default;

void ReportManager::ReportLaunch() { pimpl_->Report(7, L""); }
void ReportManager::ReportDownloadStart() { pimpl_->Report(8, L"1"); }
void ReportManager::ReportDownloadResume() { pimpl_->Report(8, L"0"); }
void ReportManager::ReportDownloadDone() { pimpl_->Report(9, L""); }
void ReportManager::ReportInstallStep() { pimpl_->Report(10, L""); }

std::wstring ReportManager::BuildReportUrl(const std::wstring& host, const std::wstring& mid,
                                           int status, const std::wstring& version,
                                           const std::wstring& first_time) {
  std::wostringstream url;
  url << L"http://" << host << L"/b/duan/s/ginstall/"
      << L"?user_from=" << kUserFrom
      << L"&user_channel=" << kUserChannel
      << L"&user_subsite=" << kUserSubsite
      << L"&mid=" << mid
      << L"&status=" << status
      << L"&gkey=kv"
      << L"&ver=" << version
      << L"&first_time=" << first_time;
  return url.str();
}

std::wstring ReportManager::ProgramVersion() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return L"0.0.0.0";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return base::GetFileVersionText(path);
}

void ReportManager::SetStatsHostForTesting(const std::wstring& host) { pimpl_->SetHost(host); }

void ReportManager::SetCompletionForTesting(HttpAsk::Completion done) {
  pimpl_->SetCompletion(std::move(done));
}

}  // namespace korvan
