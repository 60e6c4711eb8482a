// The install-funnel reports, checked where they land: the URL the test
// nginx logged, character for character. Without a server a report is lost
// quickly and silently.
#include "common/test_controller.h"
#include "app/report_manager.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/controller.h"
#include "common/fault_server.h"
#include "common/log_capture.h"
#include "common/test_servers.h"
#include "common/test_util.h"
#include "net/machine_id.h"

using korvan::HttpAsk;
using korvan::ReportManager;
using testutil::TestNginx;

namespace {

using testutil::TestController;

struct Results {
  int calls = 0;
  int failures = 0;
  DWORD thread = 0;
};

HttpAsk::Completion Count(const std::shared_ptr<Results>& results) {
  return HttpAsk::Completion([results](bool ok, std::string) {
    ++results->calls;
    if (!ok) ++results->failures;
    results->thread = GetCurrentThreadId();
  });
}

// The version block of this test program, read here without the program's
// helpers.
std::string ThisProgramVersion() {
  wchar_t path[MAX_PATH * 2];
  GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return "0.0.0.0";
  std::vector<char> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path, 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) {
    return "0.0.0.0";
  }
  char text[64];
  snprintf(text, sizeof(text), "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
           LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
           LOWORD(info->dwFileVersionLS));
  return text;
}

std::string MachineId() {
  char mid[259] = {};
  net::GetMachineId(mid, sizeof(mid));
  return mid;
}

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

class ReportManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = base::GetController();
    base::SetController(&controller_);
    log_ = std::make_unique<testutil::ScopedLogCapture>(dir_.Join(L"log.txt"));
    ASSERT_TRUE(log_->ok());
    reports_ = GetLogicObject<ReportManager>();
    reports_->SetCompletionForTesting(Count(results_));
    // The identifier must not change under us while another test program
    // plays with the stored one.
    ASSERT_TRUE(mid_lock_.held());
  }
  void TearDown() override {
    log_.reset();
    base::SetController(previous_);
  }

  std::wstring Log() const { return log_->Text(); }

  testutil::ScopedMachineIdLock mid_lock_;
  testutil::ScopedTempDir dir_;
  TestController controller_;
  base::Controller* previous_ = nullptr;
  std::unique_ptr<testutil::ScopedLogCapture> log_;
  ReportManager* reports_ = nullptr;
  std::shared_ptr<Results> results_ = std::make_shared<Results>();
};

struct ReportCase {
  const char* name;
  void (ReportManager::*report)();
  const char* status;
  const char* first_time;
};

const ReportCase kReports[] = {
    {"Launch", &ReportManager::ReportLaunch, "7", ""},
    {"DownloadStart", &ReportManager::ReportDownloadStart, "8", "1"},
    {"DownloadResume", &ReportManager::ReportDownloadResume, "8", "0"},
    {"DownloadDone", &ReportManager::ReportDownloadDone, "9", ""},
    {"InstallStep", &ReportManager::ReportInstallStep, "10", ""},
};

std::string ExpectedUri(const ReportCase& c) {
  return std::string("/b/duan/s/ginstall/?user_from=253200010098&user_channel=617340001"
                     "&user_subsite=173401&mid=") +
         MachineId() + "&status=" + c.status + "&gkey=kv&ver=" + ThisProgramVersion() +
         "&first_time=" + c.first_time;
}

// Waits for the line of `expected`; on failure says what the server did see.
void ExpectLogged(size_t offset, const std::string& expected) {
  std::vector<testutil::NginxLogLine> lines;
  if (TestNginx::WaitForLogLines(
          offset, [&](const testutil::NginxLogLine& l) { return l.uri == expected; }, 1, 5000,
          &lines)) {
    EXPECT_EQ(1u, lines.size());
    EXPECT_EQ("GET", lines[0].method);
    EXPECT_EQ(200, lines[0].status);
    EXPECT_EQ(Narrow(HttpAsk::UserAgent()), lines[0].user_agent);
    return;
  }
  std::string seen;
  TestNginx::WaitForLogLines(
      offset,
      [](const testutil::NginxLogLine& l) { return l.uri.rfind("/b/duan/s/ginstall/", 0) == 0; },
      1000, 0, &lines);
  for (const auto& l : lines) seen += "\n  " + l.uri;
  ADD_FAILURE() << "not logged: " << expected << "\nreport lines seen:" << seen;
}

class ReportUrlTest : public ReportManagerTest,
                      public testing::WithParamInterface<ReportCase> {};

}  // namespace

TEST(ReportUrl, IsBuiltInTheFixedOrderWithoutEncoding) {
  EXPECT_EQ(L"http://stats.example.com:8080/b/duan/s/ginstall/?user_from=253200010098"
            L"&user_channel=617340001&user_subsite=173401&mid=0123456789abcdef0123456789abcdef"
            L"&status=8&gkey=kv&ver=1.2.3.4&first_time=1",
            ReportManager::BuildReportUrl(L"stats.example.com:8080",
                                          L"0123456789abcdef0123456789abcdef", 8, L"1.2.3.4",
                                          L"1"));
  EXPECT_EQ(L"http://h/b/duan/s/ginstall/?user_from=253200010098&user_channel=617340001"
            L"&user_subsite=173401&mid=m&status=10&gkey=kv&ver=0.0.0.0&first_time=",
            ReportManager::BuildReportUrl(L"h", L"m", 10, L"0.0.0.0", L""));
}

TEST(ReportUrl, VersionComesFromThisProgramsVersionBlock) {
  EXPECT_EQ(ThisProgramVersion(), Narrow(ReportManager::ProgramVersion()));
}

TEST_P(ReportUrlTest, ServerLogsTheExactUrl) {
  std::string why;
  ASSERT_TRUE(TestNginx::Available(&why)) << why;
  const ReportCase& c = GetParam();
  reports_->SetStatsHostForTesting(TestNginx::Host());
  const size_t offset = TestNginx::AccessLogSize();
  (reports_->*c.report)();
  ASSERT_TRUE(testutil::PumpUntil([&] { return results_->calls > 0; }, 15000));
  EXPECT_EQ(0, results_->failures);
  ExpectLogged(offset, ExpectedUri(c));
  EXPECT_EQ(L"", Log()) << "a delivered report writes nothing to the log";
}

INSTANTIATE_TEST_SUITE_P(Statuses, ReportUrlTest, testing::ValuesIn(kReports),
                         [](const testing::TestParamInfo<ReportCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(ReportManagerTest, DownloadStartFromAWorkerThreadIsDelivered) {
  std::string why;
  ASSERT_TRUE(TestNginx::Available(&why)) << why;
  reports_->SetStatsHostForTesting(TestNginx::Host());
  const size_t offset = TestNginx::AccessLogSize();
  std::thread worker([this] { reports_->ReportDownloadStart(); });
  worker.join();
  ASSERT_TRUE(testutil::PumpUntil([&] { return results_->calls > 0; }, 15000));
  EXPECT_EQ(0, results_->failures);
  EXPECT_EQ(GetCurrentThreadId(), results_->thread);
  ExpectLogged(offset, ExpectedUri(kReports[1]));
}

TEST_F(ReportManagerTest, WithoutAServerEveryReportIsLostQuicklyAndSilently) {
  int port = 0;
  {
    testutil::FaultServer probe(testutil::FaultServer::Answer::kOk, "");
    ASSERT_TRUE(probe.Start());
    port = probe.port();
  }
  reports_->SetStatsHostForTesting(L"127.0.0.1:" + std::to_wstring(port));
  for (const ReportCase& c : kReports) {
    const ULONGLONG start = GetTickCount64();
    (reports_->*c.report)();
    // The caller (the user-interface thread) only builds the URL.
    EXPECT_LT(GetTickCount64() - start, 500u) << c.name;
  }
  EXPECT_EQ(0, results_->calls) << "nothing is answered inside the calls";
  ASSERT_TRUE(testutil::PumpUntil([&] { return results_->calls == 5; }, 10000))
      << results_->calls << " of 5 reports ended";
  EXPECT_EQ(5, results_->failures);
  testutil::PumpFor(200);
  EXPECT_EQ(L"", Log());
}
