// The HTTP client against real servers on loopback: the test nginx for
// ordinary answers and files with ranges, the in-process fault server for
// the answers nginx will not give.
#include "net/http_down_impl.h"

#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/fault_server.h"
#include "common/test_servers.h"
#include "common/test_util.h"

namespace {

using testutil::FaultServer;
using testutil::TestNginx;

struct RecordingObserver : net::HttpDownObserver {
  void OnUrl(const std::wstring& url) override { urls.push_back(url); }
  void OnStatus(const std::wstring& text) override { statuses.push_back(text); }
  void OnHeaders(const wchar_t* h, DWORD length) override { headers.assign(h, length); }
  void OnProgress(uint64_t n) override {
    progress.push_back(n);
  }
  void OnFileSize(int64_t length) override { sizes.push_back(length); }
  void OnDone(const wchar_t* path, bool ok) override {
    done.push_back(ok);
    done_paths.push_back(path ? path : L"(null)");
  }
  bool IsCancelled() override { return cancel_after_progress > 0 && progress.size() >= cancel_after_progress; }
  void OnError(const wchar_t* call, DWORD code) override {
    errors.push_back(std::wstring(call) + L":" + std::to_wstring(code));
  }
  bool HasStatus(const std::wstring& text) const {
    for (const auto& s : statuses) {
      if (s == text) return true;
    }
    return false;
  }

  std::vector<std::wstring> urls, statuses, done_paths, errors;
  std::wstring headers;
  std::vector<uint64_t> progress;
  std::vector<int64_t> sizes;
  std::vector<bool> done;
  size_t cancel_after_progress = 0;
};

// Bytes that differ at every offset, so a splice at the wrong place shows.
std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 16);
  }
  return s;
}

std::string ToString(const std::vector<char>& v) { return std::string(v.begin(), v.end()); }

// A port on which nothing listens: bound once by the fault server, then freed.
int ClosedPort() {
  FaultServer probe(FaultServer::Answer::kOk, "");
  if (!probe.Start()) return 0;
  return probe.port();
}

// A file of the test nginx, removed again at the end of the test.
class NginxFile {
 public:
  NginxFile(const std::wstring& name, const std::string& bytes) {
    path_ = TestNginx::Www() + L"\\" + name;
    ok_ = testutil::WriteFileBytes(path_, bytes);
    url_ = TestNginx::BaseUrl() + L"/" + name;
  }
  ~NginxFile() { DeleteFileW(path_.c_str()); }
  bool ok() const { return ok_; }
  const std::wstring& url() const { return url_; }

 private:
  std::wstring path_, url_;
  bool ok_ = false;
};

std::wstring UniqueName(const wchar_t* stem) {
  return std::wstring(stem) + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(GetTickCount64()) + L".bin";
}

std::string WideToNarrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

class NginxTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(TestNginx::Available(&why)) << why;
  }
};

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize;
}

}  // namespace

// --- Request: what the server receives -------------------------------------

TEST(HttpRequest, GetSendsHttp10RequestLineAndFormHeaders) {
  FaultServer server(FaultServer::Answer::kOk, "hello");
  ASSERT_TRUE(server.Start());
  net::CHttpDownImpl http;
  http.SetAgentName(L"KVTestAgent");
  std::vector<char> body;
  ASSERT_TRUE(http.Request(server.Url(L"/path/x?q=1&r=%41"), L"GET", "", 0, false, &body));
  EXPECT_EQ("hello", ToString(body));
  EXPECT_EQ(200u, http.last_status());

  ASSERT_TRUE(server.WaitForRequests(1, 2000));
  const testutil::RecordedRequest r = server.Requests()[0];
  EXPECT_EQ("GET /path/x?q=1&r=%41 HTTP/1.0", r.request_line);
  EXPECT_EQ("*/*", r.Header("Accept"));
  EXPECT_EQ("application/x-www-form-urlencoded", r.Header("Content-Type"));
  EXPECT_EQ("KVTestAgent", r.Header("User-Agent"));
  EXPECT_EQ("127.0.0.1:" + std::to_string(server.port()), r.Header("Host"));
  EXPECT_EQ("no-cache", r.Header("Pragma"));
}

TEST(HttpRequest, PostSendsTheBodyWithItsLength) {
  FaultServer server(FaultServer::Answer::kOk, "accepted");
  ASSERT_TRUE(server.Start());
  net::CHttpDownImpl http;
  const std::string form = "a=1&b=two&c=%E4%B8%AD";
  std::vector<char> body;
  ASSERT_TRUE(http.Request(server.Url(L"/submit"), L"POST", form.data(), form.size(), false, &body));
  EXPECT_EQ("accepted", ToString(body));
  ASSERT_TRUE(server.WaitForRequests(1, 2000));
  const testutil::RecordedRequest r = server.Requests()[0];
  EXPECT_EQ("POST /submit HTTP/1.0", r.request_line);
  EXPECT_EQ(std::to_string(form.size()), r.Header("Content-Length"));
  EXPECT_EQ(form, r.body);
}

TEST(HttpRequest, UrlWithoutSchemeReachesThePortItNames) {
  FaultServer server(FaultServer::Answer::kOk, "port");
  ASSERT_TRUE(server.Start());
  ASSERT_NE(80, server.port());
  net::CHttpDownImpl http;
  std::vector<char> body;
  EXPECT_TRUE(http.Request(L"127.0.0.1:" + std::to_wstring(server.port()) + L"/p", L"GET", "", 0,
                           false, &body));
  EXPECT_EQ("port", ToString(body));
  EXPECT_TRUE(server.WaitForRequests(1, 2000));
}

TEST(HttpRequest, HttpsUrlFailsWithoutContactingAnyone) {
  FaultServer server(FaultServer::Answer::kOk, "x");
  ASSERT_TRUE(server.Start());
  net::CHttpDownImpl http;
  std::vector<char> body;
  EXPECT_FALSE(http.Request(L"https://127.0.0.1:" + std::to_wstring(server.port()) + L"/", L"GET",
                            "", 0, false, &body));
  Sleep(200);
  EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpRequest, NotifiesStatusSizeAndDoneInOrder) {
  FaultServer server(FaultServer::Answer::kOk, "12345");
  ASSERT_TRUE(server.Start());
  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  std::vector<char> body;
  ASSERT_TRUE(http.Request(server.Url(L"/n"), L"GET", "", 0, true, &body));
  const std::vector<std::wstring> expected = {L"正在解析url...", L"正在连接服务器...",
                                              L"已经连接服务器，请求下载文件...",
                                              L"正在获取文件大小请稍候..."};
  EXPECT_EQ(expected, observer.statuses);
  EXPECT_EQ(std::vector<int64_t>{5}, observer.sizes);
  EXPECT_EQ(std::vector<bool>{true}, observer.done);
  EXPECT_EQ(L"(null)", observer.done_paths.at(0));
}

// --- Request: faults ---------------------------------------------------------

TEST(HttpRequestFaults, NotFoundFailsEvenWithABodyAndKeepsItsStatus) {
  FaultServer server(FaultServer::Answer::kNotFoundWithBody, "<html>no such page</html>");
  ASSERT_TRUE(server.Start());
  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  std::vector<char> body;
  EXPECT_FALSE(http.Request(server.Url(L"/missing"), L"GET", "", 0, true, &body));
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(404u, http.last_status());
  EXPECT_EQ(std::vector<std::wstring>{L"HttpStatus:404"}, observer.errors);
  EXPECT_TRUE(observer.done.empty()) << "a 404 ends the request without a completion";
}

TEST_F(NginxTest, RequestAnsweredWithAnErrorStatusFails) {
  net::CHttpDownImpl http;
  std::vector<char> body;
  // nginx answers a POST to a static file with 405 and an HTML body.
  NginxFile file(UniqueName(L"post_target"), "static");
  ASSERT_TRUE(file.ok());
  EXPECT_FALSE(http.Request(file.url(), L"POST", "a=1", 3, false, &body));
  EXPECT_EQ(405u, http.last_status());
  EXPECT_TRUE(body.empty());
}

TEST(HttpRequestFaults, CloseDelimitedBodyIsReadWhole) {
  const std::string payload = Pattern(20000, 7);
  FaultServer server(FaultServer::Answer::kCloseDelimited, payload);
  ASSERT_TRUE(server.Start());
  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  std::vector<char> body;
  EXPECT_TRUE(http.Request(server.Url(L"/stream"), L"GET", "", 0, true, &body));
  EXPECT_EQ(payload.size(), body.size());
  EXPECT_TRUE(ToString(body) == payload);
  EXPECT_EQ(std::vector<int64_t>{-1}, observer.sizes);
}

TEST(HttpRequestFaults, DeclaredLengthOfFourGigabytesFails) {
  FaultServer server(FaultServer::Answer::kDeclaredLength, "tiny", 4294967296ull);
  ASSERT_TRUE(server.Start());
  net::CHttpDownImpl http;
  std::vector<char> body;
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(http.Request(server.Url(L"/huge"), L"GET", "", 0, false, &body));
  EXPECT_LT(GetTickCount64() - start, 5000u);
  EXPECT_TRUE(body.empty());
}

TEST(HttpRequestFaults, DeclaredLengthOver64MiBFailsWithoutAllocating) {
  // 100 MB fits a 32-bit process, so only the limit keeps it from being
  // allocated (and zero-filled, which the peak working set would show).
  FaultServer server(FaultServer::Answer::kDeclaredLength, "tiny", 100000000ull);
  ASSERT_TRUE(server.Start());
  const SIZE_T peak_before = PeakWorkingSet();
  net::CHttpDownImpl http;
  std::vector<char> body;
  EXPECT_FALSE(http.Request(server.Url(L"/big"), L"GET", "", 0, false, &body));
  EXPECT_TRUE(body.empty());
  EXPECT_LT(PeakWorkingSet() - peak_before, static_cast<SIZE_T>(32 * 1024 * 1024));
}

TEST(HttpRequestFaults, StalledServerTimesOut) {
  FaultServer server(FaultServer::Answer::kStall, "");
  ASSERT_TRUE(server.Start());
  net::CHttpDownImpl http;
  http.SetTimeout(1000);
  std::vector<char> body;
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(http.Request(server.Url(L"/stall"), L"GET", "", 0, false, &body));
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 800u);
  EXPECT_LT(elapsed, 15000u);
  EXPECT_EQ(0u, http.last_status());
  EXPECT_TRUE(server.WaitForRequests(1, 1000)) << "the request did reach the server";
}

TEST(HttpRequestFaults, ResetInMidBodyFails) {
  const std::string payload = Pattern(20000, 3);
  FaultServer server(FaultServer::Answer::kResetMidBody, payload);
  ASSERT_TRUE(server.Start());
  net::CHttpDownImpl http;
  std::vector<char> body;
  EXPECT_FALSE(http.Request(server.Url(L"/reset"), L"GET", "", 0, false, &body));
  EXPECT_LT(body.size(), payload.size());
  EXPECT_TRUE(ToString(body) == payload.substr(0, body.size())) << "what arrived is the start";
}

TEST(HttpRequestFaults, NothingListeningFailsQuicklyWithoutStatus) {
  const int port = ClosedPort();
  ASSERT_NE(0, port);
  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  std::vector<char> body;
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(http.Request(L"http://127.0.0.1:" + std::to_wstring(port) + L"/", L"GET", "", 0,
                            false, &body));
  EXPECT_LT(GetTickCount64() - start, 5000u);
  EXPECT_EQ(0u, http.last_status());
  ASSERT_FALSE(observer.errors.empty());
  EXPECT_EQ(0u, observer.errors[0].rfind(L"HttpSendRequest:", 0)) << observer.errors[0];
}

// --- Request and downloads against nginx ------------------------------------

TEST_F(NginxTest, RequestReadsAFileOfKnownLength) {
  const std::string content = Pattern(300000, 11);
  NginxFile file(UniqueName(L"known"), content);
  ASSERT_TRUE(file.ok());
  net::CHttpDownImpl http;
  std::vector<char> body;
  ASSERT_TRUE(http.Request(file.url(), L"GET", "", 0, false, &body));
  EXPECT_TRUE(ToString(body) == content);
}

TEST_F(NginxTest, DownloadWritesTheWholeFileAndReportsProgress) {
  const std::string content = Pattern(200000, 5);
  NginxFile file(UniqueName(L"whole"), content);
  ASSERT_TRUE(file.ok());
  testutil::ScopedTempDir dir;
  const std::wstring target = dir.Join(L"whole.bin");
  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  ASSERT_TRUE(http.Download(file.url(), target, false, false));
  EXPECT_TRUE(testutil::ReadFileBytes(target) == content);
  EXPECT_EQ(std::vector<std::wstring>{file.url()}, observer.urls);
  EXPECT_EQ(std::vector<int64_t>{200000}, observer.sizes);
  ASSERT_FALSE(observer.progress.empty());
  EXPECT_EQ(200000u, observer.progress.back());
  EXPECT_EQ(std::vector<bool>{true}, observer.done);
  EXPECT_EQ(target, observer.done_paths.at(0));
}

TEST_F(NginxTest, DownloadResumeContinuesFromTheExistingSize) {
  const std::string content = Pattern(150000, 9);
  NginxFile file(UniqueName(L"resume"), content);
  ASSERT_TRUE(file.ok());
  testutil::ScopedTempDir dir;
  const std::wstring target = dir.Join(L"resume.bin");
  ASSERT_TRUE(testutil::WriteFileBytes(target, content.substr(0, 70000)));
  const size_t log_offset = TestNginx::AccessLogSize();

  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  ASSERT_TRUE(http.Download(file.url(), target, false, true));
  EXPECT_TRUE(testutil::ReadFileBytes(target) == content);
  EXPECT_TRUE(observer.HasStatus(L"断点续传...，开始位置70000"));
  ASSERT_FALSE(observer.progress.empty());
  EXPECT_GT(observer.progress.front(), 70000u) << "the resumed part counts as transferred";
  EXPECT_EQ(150000u, observer.progress.back());

  // The server was asked for the rest only.
  const std::string uri = WideToNarrow(file.url().substr(TestNginx::BaseUrl().size()));
  std::vector<testutil::NginxLogLine> lines;
  ASSERT_TRUE(TestNginx::WaitForLogLines(
      log_offset, [&](const testutil::NginxLogLine& l) { return l.uri == uri && l.status == 206; },
      1, 3000, &lines));
  EXPECT_EQ("bytes=70000-", lines[0].range);
}

TEST_F(NginxTest, DownloadResumeOfACompleteFileFetchesNothingMore) {
  const std::string content = Pattern(50000, 13);
  NginxFile file(UniqueName(L"complete"), content);
  ASSERT_TRUE(file.ok());
  testutil::ScopedTempDir dir;
  const std::wstring target = dir.Join(L"complete.bin");
  ASSERT_TRUE(testutil::WriteFileBytes(target, content));
  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  EXPECT_TRUE(http.Download(file.url(), target, false, true));
  EXPECT_TRUE(observer.progress.empty());
  EXPECT_TRUE(testutil::ReadFileBytes(target) == content);
}

TEST_F(NginxTest, DownloadResumeOfALongerFileAsksBeforeOverwriting) {
  const std::string content = Pattern(40000, 17);
  NginxFile file(UniqueName(L"longer"), content);
  ASSERT_TRUE(file.ok());
  testutil::ScopedTempDir dir;
  const std::wstring target = dir.Join(L"longer.bin");
  const std::string longer = Pattern(60000, 99);
  ASSERT_TRUE(testutil::WriteFileBytes(target, longer));

  std::vector<std::wstring> asked;
  net::CHttpDownImpl http;
  http.SetOverwriteQuestion([&](const std::wstring& path) {
    asked.push_back(path);
    return false;
  });
  EXPECT_FALSE(http.Download(file.url(), target, false, true));
  EXPECT_EQ(std::vector<std::wstring>{target}, asked);
  EXPECT_TRUE(testutil::ReadFileBytes(target) == longer) << "'no' leaves the file alone";

  http.SetOverwriteQuestion([&](const std::wstring& path) { return true; });
  EXPECT_TRUE(http.Download(file.url(), target, false, true));
  EXPECT_TRUE(testutil::ReadFileBytes(target) == content);
}

TEST_F(NginxTest, DownloadOfAMissingFileFailsAndKeepsThePartialFile) {
  testutil::ScopedTempDir dir;
  const std::wstring target = dir.Join(L"partial.bin");
  ASSERT_TRUE(testutil::WriteFileBytes(target, "partial data"));
  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  EXPECT_FALSE(http.Download(TestNginx::BaseUrl() + L"/" + UniqueName(L"absent"), target, false,
                             true));
  EXPECT_EQ(404u, http.last_status());
  EXPECT_EQ("partial data", testutil::ReadFileBytes(target));
  EXPECT_EQ(std::vector<bool>{false}, observer.done);
}

TEST_F(NginxTest, DownloadPassesTheRawHeadersWhenAsked) {
  NginxFile file(UniqueName(L"headers"), "12345");
  ASSERT_TRUE(file.ok());
  testutil::ScopedTempDir dir;
  RecordingObserver observer;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  ASSERT_TRUE(http.Download(file.url(), dir.Join(L"h.bin"), true, false));
  EXPECT_EQ(0u, observer.headers.find(L"HTTP/1.1 200 OK")) << WideToNarrow(observer.headers);
  EXPECT_NE(std::wstring::npos, observer.headers.find(L"Content-Length: 5"));
}

TEST_F(NginxTest, DownloadStopsAndFailsWhenCancelled) {
  const std::string content = Pattern(100000, 21);
  NginxFile file(UniqueName(L"cancel"), content);
  ASSERT_TRUE(file.ok());
  testutil::ScopedTempDir dir;
  const std::wstring target = dir.Join(L"cancel.bin");
  RecordingObserver observer;
  observer.cancel_after_progress = 2;
  net::CHttpDownImpl http;
  http.SetObserver(&observer);
  EXPECT_FALSE(http.Download(file.url(), target, false, false));
  EXPECT_TRUE(observer.HasStatus(L"取消文件下载"));
  EXPECT_EQ(2u, observer.progress.size());
  const std::string partial = testutil::ReadFileBytes(target);
  EXPECT_EQ(observer.progress.back(), partial.size());
  EXPECT_TRUE(partial == content.substr(0, partial.size()));
}

TEST_F(NginxTest, FetchHeadersSendsHeadAndReturnsTheHeaders) {
  NginxFile file(UniqueName(L"head"), Pattern(1234, 1));
  ASSERT_TRUE(file.ok());
  const size_t log_offset = TestNginx::AccessLogSize();
  net::CHttpDownImpl http;
  std::wstring headers;
  ASSERT_TRUE(http.FetchHeaders(file.url(), &headers));
  EXPECT_EQ(200u, http.last_status());
  EXPECT_NE(std::wstring::npos, headers.find(L"Content-Length: 1234"));
  const std::string uri = WideToNarrow(file.url().substr(TestNginx::BaseUrl().size()));
  std::vector<testutil::NginxLogLine> lines;
  EXPECT_TRUE(TestNginx::WaitForLogLines(
      log_offset,
      [&](const testutil::NginxLogLine& l) { return l.uri == uri && l.method == "HEAD"; }, 1, 3000,
      &lines));
}

TEST(HttpDownload, WithBodySendsTheBodyOnAGet) {
  const std::string payload = Pattern(30000, 4);
  FaultServer server(FaultServer::Answer::kOk, payload);
  ASSERT_TRUE(server.Start());
  testutil::ScopedTempDir dir;
  const std::wstring target = dir.Join(L"body.bin");
  net::CHttpDownImpl http;
  ASSERT_TRUE(http.DownloadWithBody(server.Url(L"/get-with-body"), "k=v", target, false));
  EXPECT_TRUE(testutil::ReadFileBytes(target) == payload);
  ASSERT_TRUE(server.WaitForRequests(1, 2000));
  const testutil::RecordedRequest r = server.Requests()[0];
  EXPECT_EQ("GET /get-with-body HTTP/1.0", r.request_line);
  EXPECT_EQ("k=v", r.body);
}

TEST(HttpDownload, ResetInMidBodyFailsAndKeepsWhatArrived) {
  const std::string payload = Pattern(40000, 8);
  FaultServer server(FaultServer::Answer::kResetMidBody, payload);
  ASSERT_TRUE(server.Start());
  testutil::ScopedTempDir dir;
  const std::wstring target = dir.Join(L"reset.bin");
  net::CHttpDownImpl http;
  EXPECT_FALSE(http.Download(server.Url(L"/reset"), target, false, false));
  const std::string partial = testutil::ReadFileBytes(target);
  EXPECT_LT(partial.size(), payload.size());
  EXPECT_TRUE(partial == payload.substr(0, partial.size()));
}
