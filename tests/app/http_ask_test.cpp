// The request helper: requests leave on a RequestPool worker, answers come
// back on the user-interface thread (the test thread), and the caller never
// waits for the network.
#include "common/test_controller.h"
#include "app/http_ask.h"

#include <windows.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/thread_manager.h"
#include "base/controller.h"
#include "base/thread_pool.h"
#include "common/fault_server.h"
#include "common/log_capture.h"
#include "common/test_util.h"
#include "upp/timer_queue.h"

using korvan::HttpAsk;
using testutil::FaultServer;

namespace {

using testutil::TestController;

// What a completion callback saw; shared with the callback, which may
// outlive the test body in the timer queue.
struct Answer {
  int calls = 0;
  bool ok = false;
  std::string body;
  DWORD thread = 0;
};

HttpAsk::Completion Record(const std::shared_ptr<Answer>& answer) {
  return HttpAsk::Completion([answer](bool ok, std::string body) {
    ++answer->calls;
    answer->ok = ok;
    answer->body = body;
    answer->thread = GetCurrentThreadId();
  });
}

int ClosedPort() {
  FaultServer probe(FaultServer::Answer::kOk, "");
  return probe.Start() ? probe.port() : 0;
}

class HttpAskTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = base::GetController();
    base::SetController(&controller_);
    log_ = std::make_unique<testutil::ScopedLogCapture>(dir_.Join(L"log.txt"));
    ASSERT_TRUE(log_->ok());
    ask_ = GetLogicObject<HttpAsk>();
  }
  void TearDown() override {
    log_.reset();
    base::SetController(previous_);
  }

  std::wstring Log() const { return log_->Text(); }

  // Waits, without running the timer queue, until no request task is queued
  // or running.
  bool WaitForIdlePool(DWORD timeout_ms) {
    base::ThreadPool* pool = GetLogicObject<korvan::ThreadManager>()->RequestPool();
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    while (GetTickCount64() < end) {
      bool busy = pool->PendingTaskCount() > 0;
      for (const auto& slot : pool->Slots()) busy = busy || slot.busy;
      if (!busy) return true;
      Sleep(10);
    }
    return false;
  }

  testutil::ScopedTempDir dir_;
  TestController controller_;
  base::Controller* previous_ = nullptr;
  std::unique_ptr<testutil::ScopedLogCapture> log_;
  HttpAsk* ask_ = nullptr;
};

}  // namespace

TEST_F(HttpAskTest, AskGetReturnsAtOnceAndAnswersOnTheUiThread) {
  FaultServer server(FaultServer::Answer::kOk, "hello");
  ASSERT_TRUE(server.Start());
  auto answer = std::make_shared<Answer>();
  ask_->AskGet(server.Url(L"/ask?x=1"), "", Record(answer));
  EXPECT_EQ(0, answer->calls) << "the answer must not arrive inside AskGet";
  ASSERT_TRUE(testutil::PumpUntil([&] { return answer->calls > 0; }, 10000));
  EXPECT_EQ(1, answer->calls);
  EXPECT_TRUE(answer->ok);
  EXPECT_EQ("hello", answer->body);
  EXPECT_EQ(GetCurrentThreadId(), answer->thread);

  ASSERT_TRUE(server.WaitForRequests(1, 2000));
  const testutil::RecordedRequest r = server.Requests()[0];
  EXPECT_EQ("GET /ask?x=1 HTTP/1.0", r.request_line);
  const std::wstring agent = HttpAsk::UserAgent();
  EXPECT_EQ(std::string(agent.begin(), agent.end()), r.Header("User-Agent"));
}

TEST_F(HttpAskTest, AskPostSendsTheBody) {
  FaultServer server(FaultServer::Answer::kOk, "stored");
  ASSERT_TRUE(server.Start());
  auto answer = std::make_shared<Answer>();
  ask_->AskPost(server.Url(L"/post"), "name=korvan&step=3", Record(answer));
  ASSERT_TRUE(testutil::PumpUntil([&] { return answer->calls > 0; }, 10000));
  EXPECT_TRUE(answer->ok);
  EXPECT_EQ("stored", answer->body);
  ASSERT_TRUE(server.WaitForRequests(1, 2000));
  const testutil::RecordedRequest r = server.Requests()[0];
  EXPECT_EQ("POST /post HTTP/1.0", r.request_line);
  EXPECT_EQ("name=korvan&step=3", r.body);
  EXPECT_EQ("application/x-www-form-urlencoded", r.Header("Content-Type"));
}

TEST_F(HttpAskTest, NotFoundReachesTheCallbackAsFalseAndEmptyAndIsLoggedWithItsStatus) {
  FaultServer server(FaultServer::Answer::kNotFoundWithBody, "<html>missing</html>");
  ASSERT_TRUE(server.Start());
  auto answer = std::make_shared<Answer>();
  ask_->AskGet(server.Url(L"/missing"), "", Record(answer));
  ASSERT_TRUE(testutil::PumpUntil([&] { return answer->calls > 0; }, 10000));
  EXPECT_FALSE(answer->ok);
  EXPECT_EQ("", answer->body);
  const std::wstring log = Log();
  EXPECT_NE(std::wstring::npos, log.find(L"404")) << std::string(log.begin(), log.end());
  EXPECT_NE(std::wstring::npos, log.find(server.Url(L"/missing")));
}

TEST_F(HttpAskTest, EmptyCallbackSendsTheRequestAndPostsNothing) {
  FaultServer server(FaultServer::Answer::kOk, "ignored");
  ASSERT_TRUE(server.Start());
  // Nothing pumps the timer queue here, so whatever a worker posts stays
  // counted in it.
  const size_t before = Upp::PendingTimeCallbacks();
  ask_->AskGet(server.Url(L"/silent"), "", HttpAsk::Completion());
  ASSERT_TRUE(server.WaitForRequests(1, 5000));
  ASSERT_TRUE(WaitForIdlePool(5000));
  EXPECT_EQ(before, Upp::PendingTimeCallbacks());

  // The same measure sees a real completion.
  auto answer = std::make_shared<Answer>();
  ask_->AskGet(server.Url(L"/loud"), "", Record(answer));
  ASSERT_TRUE(server.WaitForRequests(2, 5000));
  ASSERT_TRUE(WaitForIdlePool(5000));
  EXPECT_EQ(before + 1, Upp::PendingTimeCallbacks());
  testutil::PumpUntil([&] { return answer->calls > 0; }, 5000);
}

TEST_F(HttpAskTest, AskGetNowAnswersOnTheCallingThread) {
  FaultServer server(FaultServer::Answer::kOk, "now");
  ASSERT_TRUE(server.Start());
  bool ok = false;
  EXPECT_EQ("now", ask_->AskGetNow(server.Url(L"/now"), "q=1", &ok));
  EXPECT_TRUE(ok);
  ASSERT_TRUE(server.WaitForRequests(1, 2000));
  EXPECT_EQ("GET /now HTTP/1.0", server.Requests()[0].request_line);
  EXPECT_EQ("q=1", server.Requests()[0].body);

  FaultServer missing(FaultServer::Answer::kNotFoundWithBody, "gone");
  ASSERT_TRUE(missing.Start());
  EXPECT_EQ("", ask_->AskGetNow(missing.Url(L"/x"), "", &ok));
  EXPECT_FALSE(ok);
}

TEST_F(HttpAskTest, WithoutAServerTheCallReturnsAtOnceAndFailsLaterWithoutLogging) {
  const int port = ClosedPort();
  ASSERT_NE(0, port);
  auto answer = std::make_shared<Answer>();
  const ULONGLONG start = GetTickCount64();
  ask_->AskGet(L"http://127.0.0.1:" + std::to_wstring(port) + L"/", "", Record(answer));
  EXPECT_LT(GetTickCount64() - start, 100u);
  EXPECT_EQ(0, answer->calls);
  ASSERT_TRUE(testutil::PumpUntil([&] { return answer->calls > 0; }, 10000));
  EXPECT_FALSE(answer->ok);
  EXPECT_EQ(GetCurrentThreadId(), answer->thread);
  EXPECT_EQ(L"", Log());
}

TEST(HttpAskUserAgent, IsThePlatformAgentWithLumenAppended) {
  char platform[1024] = {};
  DWORD size = sizeof(platform) - 1;
  ASSERT_EQ(S_OK, ObtainUserAgentString(0, platform, &size));
  const std::string expected = std::string(platform) + "lumen";
  const std::wstring agent = HttpAsk::UserAgent();
  EXPECT_EQ(expected, std::string(agent.begin(), agent.end()));
  EXPECT_GT(agent.size(), 5u);
}
