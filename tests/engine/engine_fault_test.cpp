// The engine against a server that misbehaves in every way nginx will not:
// each case must end in a checked file or a clear failure code, never in a
// wrong file at the installer's path.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "engine/engine_harness.h"
#include "scripted_server.h"

namespace enginetest {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

class EngineFaultTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded"; }

  // Starts the engine on `urls` for `body` and waits for its end.
  int32_t Run(const std::vector<std::wstring>& urls, const std::string& body, const std::string& extra,
              fetch::Result* result) {
    sandbox_.WriteTask(urls, body.size(), Sha256Hex(body), extra);
    EngineRef engine(library_);
    int32_t started = engine.Start(sandbox_.save_folder());
    if (started != fetch::kOk) return started;
    return engine.WaitForEnd(90000, result);
  }
  bool FinalIs(const std::string& body) { return testutil::ReadFileBytes(sandbox_.FinalPath()) == body; }

  TaskSandbox sandbox_;
  EngineLibrary library_;
};

TEST_F(EngineFaultTest, ResetInMidBodyIsRetriedToAGoodFile) {
  const std::string body = RandomBytes(6 * kMiB + 100, 11);
  std::atomic<int> resets{0};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    if (resets++ < 3) {
      conn.Send("HTTP/1.1 206 Partial Content\r\nContent-Length: 1000000\r\n\r\n" + body.substr(0, 5000));
      Sleep(50);
      conn.Reset();
      return;
    }
    ServeFile(conn, request, body);
  });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(Run({server.Url(L"/f")}, body, "connections=2\n", result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(FinalIs(body));
  EXPECT_GE(resets.load(), 4);
}

TEST_F(EngineFaultTest, TruncatedBodyIsNotTakenAsComplete) {
  const std::string body = RandomBytes(4 * kMiB + 1, 12);
  std::atomic<int> truncations{0};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    if (request.has_range && truncations++ < 2) {
      // The right head for the asked range, half the bytes, a clean close.
      const uint64_t last = std::min<uint64_t>(request.last, body.size() - 1);
      const uint64_t length = last - request.first + 1;
      conn.Send("HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(length) +
                "\r\nContent-Range: bytes " + std::to_string(request.first) + "-" + std::to_string(last) + "/" +
                std::to_string(body.size()) + "\r\nETag: \"v1\"\r\n\r\n" +
                body.substr(static_cast<size_t>(request.first), static_cast<size_t>(length / 2)));
      conn.Close();
      return;
    }
    ServeFile(conn, request, body);
  });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(Run({server.Url(L"/f")}, body, "connections=1\n", result.get()), fetch::kOk);
  EXPECT_TRUE(FinalIs(body));
}

TEST_F(EngineFaultTest, ServiceUnavailableWithRetryAfterIsWaitedOut) {
  const std::string body = RandomBytes(kMiB + 10, 13);
  std::atomic<int> refusals{0};
  std::atomic<ULONGLONG> refused_at{0}, next_at{0};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    if (refusals++ == 0) {
      refused_at = GetTickCount64();
      conn.Send("HTTP/1.1 503 Service Unavailable\r\nRetry-After: 2\r\nContent-Length: 0\r\n\r\n");
      return;
    }
    if (next_at == 0) next_at = GetTickCount64();
    ServeFile(conn, request, body);
  });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(Run({server.Url(L"/f")}, body, "connections=1\n", result.get()), fetch::kOk);
  EXPECT_TRUE(FinalIs(body));
  // The server asked for two seconds; the engine must not come back sooner.
  EXPECT_GE(next_at - refused_at, 1900u);
}

TEST_F(EngineFaultTest, PersistentServerErrorEndsWithTransferFailed) {
  const std::string body = RandomBytes(kMiB, 14);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest&) {
    conn.Send("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
  });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(Run({server.Url(L"/f")}, body, "connections=2\nretry_limit=2\n", result.get()),
            fetch::kTransferFailed);
  EXPECT_FALSE(testutil::FileExists(sandbox_.FinalPath()));
  EXPECT_GE(server.Requests().size(), 3u);  // it did retry before giving up
}

TEST_F(EngineFaultTest, StalledConnectionIsAbandonedAfterTheStallTimeout) {
  const std::string body = RandomBytes(kMiB + 10, 15);
  std::atomic<int> count{0};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    if (count++ == 0) {
      conn.StallUntilStopped();
      return;
    }
    ServeFile(conn, request, body);
  });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(Run({server.Url(L"/f")}, body, "connections=1\nstall_timeout_ms=1000\n", result.get()), fetch::kOk);
  EXPECT_TRUE(FinalIs(body));
  EXPECT_GE(count.load(), 2);
}

TEST_F(EngineFaultTest, ServerIgnoringRangesIsReadAsOneWholeBody) {
  const std::string body = RandomBytes(5 * kMiB + 3, 16);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    ServeOptions options;
    options.ignore_range = true;
    ServeFile(conn, request, body, options);
  });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(Run({server.Url(L"/f")}, body, "connections=4\n", result.get()), fetch::kOk);
  EXPECT_TRUE(FinalIs(body));
}

TEST_F(EngineFaultTest, WrongContentRangeIsNeverWrittenAndFallsBackToTheNextSource) {
  const std::string body = RandomBytes(3 * kMiB + 9, 17);
  ScriptedServer liar([&](ServerConn& conn, const ServedRequest& request) {
    // Always answers with the first bytes, whatever was asked.
    const std::string part = body.substr(0, 1000);
    conn.Send("HTTP/1.1 206 Partial Content\r\nContent-Length: 1000\r\nContent-Range: bytes 0-999/" +
              std::to_string(body.size()) + "\r\n\r\n" + part);
  });
  ScriptedServer honest([&](ServerConn& conn, const ServedRequest& request) { ServeFile(conn, request, body); });
  ASSERT_TRUE(liar.Start());
  ASSERT_TRUE(honest.Start());
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(Run({liar.Url(L"/f"), honest.Url(L"/f")}, body, "connections=2\nretry_limit=1\n", result.get()),
            fetch::kOk);
  EXPECT_TRUE(FinalIs(body));
  EXPECT_FALSE(liar.Requests().empty());
}

TEST_F(EngineFaultTest, RedirectLoopFailsTheSource) {
  const std::string body = RandomBytes(kMiB, 18);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    const std::string next = request.target == "/a" ? "/b" : "/a";
    conn.Send("HTTP/1.1 302 Found\r\nLocation: " + next + "\r\nContent-Length: 0\r\n\r\n");
  });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(Run({server.Url(L"/a")}, body, "connections=1\nretry_limit=1\n", result.get()),
            fetch::kTransferFailed);
  // Each attempt follows at most five redirects.
  EXPECT_LE(server.Requests().size(), 2u * 6u + 6u);
  EngineRef engine(library_);
  EXPECT_EQ(engine.CheckStatus(result.get()), fetch::kSourceUnreachable);
}

TEST_F(EngineFaultTest, RedirectIsFollowedToTheFile) {
  const std::string body = RandomBytes(2 * kMiB + 1, 19);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    if (request.target == "/old") {
      conn.Send("HTTP/1.1 301 Moved Permanently\r\nLocation: /new/file\r\nContent-Length: 0\r\n\r\n");
      return;
    }
    ServeFile(conn, request, body);
  });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(Run({server.Url(L"/old")}, body, "", result.get()), fetch::kOk);
  EXPECT_TRUE(FinalIs(body));
}

TEST_F(EngineFaultTest, BytesFailingTheDigestGiveCodeFiveAndNoFile) {
  const std::string body = RandomBytes(2 * kMiB, 20);
  std::string tampered = body;
  tampered[kMiB + 17] ^= 0x5A;
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) { ServeFile(conn, request, tampered); });
  ASSERT_TRUE(server.Start());
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(Run({server.Url(L"/f")}, body, "", result.get()), fetch::kCheckFailed);
  EXPECT_FALSE(testutil::FileExists(sandbox_.FinalPath()));
  EXPECT_FALSE(testutil::FileExists(sandbox_.PartPath()));
}

TEST_F(EngineFaultTest, DeclaredLengthOtherThanTheTaskIsRefused) {
  const std::string body = RandomBytes(kMiB + 1, 21);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    ServeOptions options;
    options.declared_size = static_cast<int64_t>(body.size() - 1);
    ServeFile(conn, request, body, options);
  });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), "retry_limit=1\n");
  EngineRef engine(library_);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.CheckStatus(result.get()), fetch::kSizeMismatch);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  EXPECT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kTransferFailed);
  EXPECT_FALSE(testutil::FileExists(sandbox_.FinalPath()));
}

}  // namespace
}  // namespace enginetest
