// Links that are slow in one place: a connection that drips bytes, never
// silent long enough for the stall timer, or one that is merely slow when
// the rest are done (the end-game), must not hold the download.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>

#include "engine/engine_harness.h"
#include "scripted_server.h"

namespace enginetest {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

class EngineFarLinkTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded"; }

  // Downloads `body` from `server` into a fresh sandbox; the time it took.
  ULONGLONG Download(const ScriptedServer& server, const std::string& body, int32_t* code) {
    TaskSandbox sandbox;
    sandbox.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), "connections=4\nstall_timeout_ms=2000\n");
    EngineRef engine(library_);
    const ULONGLONG started = GetTickCount64();
    *code = engine.Start(sandbox.save_folder());
    if (*code == fetch::kOk) *code = engine.WaitForEnd(90000, nullptr);
    const ULONGLONG took = GetTickCount64() - started;
    if (*code == fetch::kOk && testutil::ReadFileBytes(sandbox.FinalPath()) != body) *code = -1;
    return took;
  }

  EngineLibrary library_;
};

TEST_F(EngineFarLinkTest, SourceThatDripsOnOneConnectionIsLeftBehind) {
  const std::string body = RandomBytes(8 * kMiB + 77, 51);
  ServeOptions paced;
  paced.bytes_per_second = 2 * kMiB;  // per connection: the clean run takes seconds
  ScriptedServer clean([&](ServerConn& conn, const ServedRequest& request) { ServeFile(conn, request, body, paced); });
  ASSERT_TRUE(clean.Start());
  int32_t code = 0;
  const ULONGLONG clean_ms = Download(clean, body, &code);
  ASSERT_EQ(code, fetch::kOk);

  std::atomic<int> ranged{0};
  std::atomic<bool> drip_dropped{false};
  ScriptedServer dripping([&](ServerConn& conn, const ServedRequest& request) {
    if (request.has_range && request.first > 0 && ranged++ == 0) {
      // The right head, then a byte every 100 ms: never silent for the
      // stall timer, never getting anywhere.
      const uint64_t last = std::min<uint64_t>(request.last, body.size() - 1);
      conn.Send("HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(last - request.first + 1) +
                "\r\nContent-Range: bytes " + std::to_string(request.first) + "-" + std::to_string(last) + "/" +
                std::to_string(body.size()) + "\r\nETag: \"v1\"\r\n\r\n");
      for (uint64_t at = request.first; at <= last && at < request.first + 600; ++at) {
        if (!conn.Send(body.substr(static_cast<size_t>(at), 1))) {
          drip_dropped = true;
          break;
        }
        Sleep(100);
      }
      conn.Close();
      return;
    }
    ServeFile(conn, request, body, paced);
  });
  ASSERT_TRUE(dripping.Start());
  const ULONGLONG drip_ms = Download(dripping, body, &code);
  ASSERT_EQ(code, fetch::kOk);
  EXPECT_TRUE(drip_dropped.load()) << "the engine kept the dripping connection to the end";
  std::printf("drip on one connection: %llu ms against %llu ms clean, %.2fx\n", drip_ms, clean_ms,
              clean_ms ? static_cast<double>(drip_ms) / static_cast<double>(clean_ms) : 0.0);
}

TEST_F(EngineFarLinkTest, SlowLastSpanIsSharedOutAndTheLoserEndsCleanly) {
  const std::string body = RandomBytes(4 * kMiB + 5, 52);
  // The first span that starts past the first MiB is served slowly.
  const uint64_t slow_from = kMiB;
  std::atomic<int> slow_requests{0};
  std::atomic<uint64_t> slow_first{0}, slow_last{0};
  std::atomic<bool> slow_cut{false};
  std::atomic<uint64_t> duplicate_requests{0};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& request) {
    if (request.has_range && request.first >= slow_from && slow_requests++ == 0) {
      // 32 KiB/s: over the lowest speed, but its span would take seconds.
      const uint64_t last = std::min<uint64_t>(request.last, body.size() - 1);
      slow_first = request.first;
      slow_last = last;
      conn.Send("HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(last - request.first + 1) +
                "\r\nContent-Range: bytes " + std::to_string(request.first) + "-" + std::to_string(last) + "/" +
                std::to_string(body.size()) + "\r\nETag: \"v1\"\r\n\r\n");
      if (!conn.SendPaced(body.data() + request.first, static_cast<size_t>(last - request.first + 1), 32 * 1024,
                          false)) {
        slow_cut = true;
      }
      conn.Close();
      return;
    }
    if (request.has_range && slow_requests > 0 && request.first > slow_first && request.first <= slow_last) {
      ++duplicate_requests;
    }
    ServeFile(conn, request, body);
  });
  ASSERT_TRUE(server.Start());
  TaskSandbox sandbox;
  sandbox.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), "connections=4\n");
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox.FinalPath()) == body);
  EXPECT_GE(duplicate_requests.load(), 1u) << "nobody helped the slow connection";
  // The slow one was let go once its chunks were in, not read to its end.
  for (int i = 0; i < 50 && !slow_cut; ++i) Sleep(100);
  EXPECT_TRUE(slow_cut.load());
}

}  // namespace
}  // namespace enginetest
