// Links that are slow in one place: a source that drips bytes on one
// connection, never silent long enough for the stall timer, must not hold
// the download.
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

}  // namespace
}  // namespace enginetest
