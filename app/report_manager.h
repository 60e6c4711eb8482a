// The install-funnel reports: one HTTP GET to the statistics host per step a
// user reaches (launched 7, download started 8 with first_time=1, resumed 8
// with first_time=0, finished 9, installer step 10).
//
// Reports are fire-and-forget: no retry, no queue, nothing stored. A report
// that cannot be delivered is lost silently and never holds up the caller;
// the request itself runs on a RequestPool worker (HttpAsk).
//
// IMPORTANT: Thread-safety. Create the manager on the user-interface thread.
// The Report* calls build the URL (machine identifier and version computed
// afresh each time) on the calling thread: the user-interface thread, or a
// DownloadPool worker for the two status-8 reports.
//
// Ownership: nothing is kept between reports besides the settings below.
#pragma once

#include <memory>
#include <string>

#include "app/http_ask.h"
#include "base/logic_object.h"

namespace korvan {

class ReportManager : public base::LogicObject {
 public:
  ReportManager();
  ~ReportManager() override;
  ReportManager(const ReportManager&) = delete;
  ReportManager& operator=(const ReportManager&) = delete;

  bool CanRelease() override { return true; }

  void ReportLaunch();          // 7
  void ReportDownloadStart();   // 8, first_time=1
  void ReportDownloadResume();  // 8, first_time=0
  void ReportDownloadDone();    // 9
  void ReportInstallStep();     // 10

  // "http://<host>/b/duan/s/ginstall/?user_from=...&first_time=<first_time>",
  // values exactly as given (they are hex, digits and dots).
  static std::wstring BuildReportUrl(const std::wstring& host, const std::wstring& mid,
                                     int status, const std::wstring& version,
                                     const std::wstring& first_time);

  // This program's file version ("a.b.c.d", "0.0.0.0" without a version block).
  static std::wstring ProgramVersion();

  // For tests: another statistics host ("host[:port]") than the deployment's,
  // and a completion to hear when each report ended. Any thread.
  void SetStatsHostForTesting(const std::wstring& host);
  void SetCompletionForTesting(HttpAsk::Completion done);

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
