// Pause, resume, shut down, a killed process, a changed file on the server,
// a damaged record, two engines on one task: every path must end in the
// right file without fetching again what is already on disk.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "base/scoped_handle.h"
#include "engine/engine_harness.h"
#include "scripted_server.h"

namespace enginetest {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

class EngineResumeTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded"; }
  int64_t Received(EngineRef& engine) {
    auto result = std::make_unique<fetch::Result>();
    engine.QueryProgress(result.get());
    return result->received;
  }

  // A server sending `body` at `rate` bytes per second and connection, and
  // the task that fetches it over `connections`.
  std::unique_ptr<ScriptedServer> ServePaced(const std::string& body, uint64_t rate, int connections) {
    ServeOptions paced;
    paced.bytes_per_second = rate;
    auto server = std::make_unique<ScriptedServer>(
        [&body, paced](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body, paced); });
    if (!server->Start()) return nullptr;
    sandbox_.WriteTask({server->Url(L"/f")}, body.size(), Sha256Hex(body),
                       "connections=" + std::to_string(connections) + "\n");
    return server;
  }

  TaskSandbox sandbox_;
  EngineLibrary library_;
};

TEST_F(EngineResumeTest, ShutDownIsQuickAndTheNextEngineResumesWhereItStopped) {
  const std::string body = RandomBytes(32 * kMiB, 31);
  std::unique_ptr<ScriptedServer> server = ServePaced(body, 2 * kMiB, 4);
  ASSERT_TRUE(server);
  size_t first_run_requests = 0;
  {
    EngineRef engine(library_);
    ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
    ASSERT_TRUE(engine.WaitForReceived(10 * kMiB, 60000));
    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(engine.ShutDown(), fetch::kOk);
    // Promised: 2 s; the bound leaves room for a loaded machine.
    EXPECT_LT(GetTickCount64() - before, 4000u);
    first_run_requests = server->Requests().size();
  }
  ASSERT_TRUE(testutil::FileExists(sandbox_.StatePath()));
  EXPECT_FALSE(testutil::FileExists(sandbox_.FinalPath()));

  EngineRef later(library_);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(later.QueryEarlier(result.get()), fetch::kOk);
  EXPECT_EQ(std::wstring(result->path), sandbox_.save_folder());
  EXPECT_EQ(result->completed, 0u);
  EXPECT_GE(result->received, static_cast<int64_t>(8 * kMiB));
  ASSERT_EQ(later.Start(sandbox_.save_folder()), fetch::kOk);
  ASSERT_EQ(later.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
  // The second run never asked for the start of the file again.
  const auto requests = server->Requests();
  for (size_t i = first_run_requests; i < requests.size(); ++i) {
    EXPECT_GE(requests[i].first, kMiB) << "request " << i << " fetched the first chunk again";
  }
  EXPECT_LE(server->BodyBytesSent(), body.size() + 12 * kMiB);
}

TEST_F(EngineResumeTest, PauseHaltsTheTransferAndResumeFinishesIt) {
  const std::string body = RandomBytes(24 * kMiB, 32);
  std::unique_ptr<ScriptedServer> server = ServePaced(body, 2 * kMiB, 4);
  ASSERT_TRUE(server);
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  ASSERT_TRUE(engine.WaitForReceived(4 * kMiB, 60000));
  ASSERT_EQ(engine.Pause(), fetch::kOk);
  Sleep(1500);  // the connections wind down
  const int64_t paused_at = Received(engine);
  const uint64_t sent_at = server->BodyBytesSent();
  Sleep(1500);
  EXPECT_EQ(Received(engine), paused_at);
  EXPECT_LE(server->BodyBytesSent() - sent_at, 64 * 1024u);  // at most a piece in flight
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.QueryProgress(result.get()), fetch::kOk);
  EXPECT_EQ(result->speed, 0);
  EXPECT_LT(paused_at, static_cast<int64_t>(body.size()));
  ASSERT_EQ(engine.Resume(), fetch::kOk);
  ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
}

TEST_F(EngineResumeTest, CallsFromTwoThreadsAtOnceNeverBlock) {
  const std::string body = RandomBytes(16 * kMiB, 33);
  std::unique_ptr<ScriptedServer> server = ServePaced(body, 2 * kMiB, 4);
  ASSERT_TRUE(server);
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  std::atomic<bool> done{false};
  std::atomic<ULONGLONG> slowest_poll{0};
  std::thread poller([&] {
    auto result = std::make_unique<fetch::Result>();
    while (!done) {
      const ULONGLONG t = GetTickCount64();
      engine.QueryProgress(result.get());
      slowest_poll = std::max<ULONGLONG>(slowest_poll, GetTickCount64() - t);
    }
  });
  ULONGLONG slowest_toggle = 0;
  for (int i = 0; i < 40; ++i) {
    const ULONGLONG t = GetTickCount64();
    (i % 2 ? engine.Resume() : engine.Pause());
    slowest_toggle = std::max<ULONGLONG>(slowest_toggle, GetTickCount64() - t);
    Sleep(25);
  }
  engine.Resume();
  done = true;
  poller.join();
  // A few milliseconds are promised; a loaded machine may stretch them.
  EXPECT_LT(slowest_poll.load(), 250u);
  EXPECT_LT(slowest_toggle, 250u);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
}

TEST_F(EngineResumeTest, FileChangedOnTheServerBetweenRunsStartsOver) {
  const std::string old_body = RandomBytes(16 * kMiB, 34);
  const std::string new_body = RandomBytes(16 * kMiB, 35);
  std::atomic<bool> published_new{false};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) {
    ServeOptions options;
    options.bytes_per_second = published_new ? 0 : 2 * kMiB;
    options.etag = published_new ? "\"v2\"" : "\"v1\"";
    ServeFile(conn, r, published_new ? new_body : old_body, options);
  });
  ASSERT_TRUE(server.Start());
  // The task already names the new file; the server still has the old one.
  sandbox_.WriteTask({server.Url(L"/f")}, new_body.size(), Sha256Hex(new_body), "connections=2\n");
  {
    EngineRef engine(library_);
    ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
    ASSERT_TRUE(engine.WaitForReceived(4 * kMiB, 60000));
    engine.ShutDown();
  }
  published_new = true;
  EngineRef later(library_);
  ASSERT_EQ(later.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(later.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == new_body);
  // The resumed run sent the old validator back.
  bool sent_if_range = false;
  for (const auto& r : server.Requests()) sent_if_range |= r.Header("if-range") == "\"v1\"";
  EXPECT_TRUE(sent_if_range);
}

TEST_F(EngineResumeTest, DamagedStateRecordIsIgnoredAndTheFileFetchedWhole) {
  const std::string body = RandomBytes(3 * kMiB + 77, 36);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body); });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body));
  // A partial file of the right size full of wrong bytes, and a record cut short.
  ASSERT_TRUE(testutil::WriteFileBytes(sandbox_.PartPath(), std::string(body.size(), 'x')));
  ASSERT_TRUE(testutil::WriteFileBytes(sandbox_.StatePath(), "KVFSTAT1\x01\x02"));
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
}

TEST_F(EngineResumeTest, SecondEngineOnTheSameTaskIsRefusedWhileTheFirstRuns) {
  const std::string body = RandomBytes(8 * kMiB, 37);
  std::unique_ptr<ScriptedServer> server = ServePaced(body, 2 * kMiB, 2);
  ASSERT_TRUE(server);
  EngineRef first(library_);
  EngineRef second(library_);
  ASSERT_EQ(first.Start(sandbox_.save_folder()), fetch::kOk);
  EXPECT_EQ(second.Start(sandbox_.save_folder()), fetch::kBusy);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(first.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
}

TEST_F(EngineResumeTest, StartAfterAFailedTransferRetriesInTheSameEngine) {
  const std::string body = RandomBytes(2 * kMiB + 5, 39);
  std::atomic<bool> healthy{false};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) {
    if (!healthy) {
      conn.Send("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
      return;
    }
    ServeFile(conn, r, body);
  });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), "connections=2\nretry_limit=1\n");
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kTransferFailed);
  healthy = true;
  // The retry button of the program calls start again on the same engine.
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
}

TEST_F(EngineResumeTest, StartAfterShutDownContinuesInTheSameEngine) {
  const std::string body = RandomBytes(12 * kMiB, 40);
  std::unique_ptr<ScriptedServer> server = ServePaced(body, 2 * kMiB, 4);
  ASSERT_TRUE(server);
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  ASSERT_TRUE(engine.WaitForReceived(2 * kMiB, 60000));
  ASSERT_EQ(engine.ShutDown(), fetch::kOk);
  EXPECT_NE(engine.Pause(), fetch::kOk);  // nothing runs any more
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
}

// Starts the driver on the sandbox's task; the process handle.
base::ScopedHandle StartDriver(const std::wstring& folder) {
  std::wstring command = L"\"" + testutil::TestBinDir() + L"\\kv_engine_driver.exe\" \"" + EngineDllPath() +
                         L"\" \"" + folder + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return base::ScopedHandle();
  }
  CloseHandle(info.hThread);
  return base::ScopedHandle(info.hProcess);
}

TEST_F(EngineResumeTest, KilledProcessResumesToAFileWithTheRightDigest) {
  const std::string body = RandomBytes(64 * kMiB, 38);
  std::unique_ptr<ScriptedServer> server = ServePaced(body, 8 * kMiB, 4);
  ASSERT_TRUE(server);

  base::ScopedHandle first = StartDriver(sandbox_.save_folder());
  ASSERT_TRUE(first.IsValid()) << GetLastError();
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (server->BodyBytesSent() < 32 * kMiB && GetTickCount64() < deadline &&
         WaitForSingleObject(first.Get(), 20) == WAIT_TIMEOUT) {
  }
  ASSERT_EQ(WaitForSingleObject(first.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the driver ended early";
  ASSERT_TRUE(TerminateProcess(first.Get(), 99));
  WaitForSingleObject(first.Get(), 10000);
  const uint64_t sent_before_kill = server->BodyBytesSent();
  const size_t requests_before = server->Requests().size();

  base::ScopedHandle second = StartDriver(sandbox_.save_folder());
  ASSERT_TRUE(second.IsValid());
  ASSERT_EQ(WaitForSingleObject(second.Get(), 120000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD exit_code = 1234;
  GetExitCodeProcess(second.Get(), &exit_code);
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(Sha256Hex(testutil::ReadFileBytes(sandbox_.FinalPath())), Sha256Hex(body));
  const uint64_t refetched = server->BodyBytesSent() - body.size();
  std::printf("killed after %llu MiB sent; refetched %.1f MiB on resume\n",
              static_cast<unsigned long long>(sent_before_kill / kMiB), refetched / double(kMiB));
  // Without resume the second run would fetch all 64 MiB again.
  EXPECT_LT(refetched, 20 * kMiB);
  const auto requests = server->Requests();
  for (size_t i = requests_before; i < requests.size(); ++i) EXPECT_GE(requests[i].first, kMiB);
}

// Kills the driver at random instants, again and again, until one run
// finishes; prints what each resume had to fetch again. The default is a
// short campaign; KV_ENGINE_KILLS and KV_ENGINE_KILL_MIB make it the long
// one (20 kills of a 256 MiB transfer).
TEST_F(EngineResumeTest, CampaignOfKillsAtRandomInstantsEndsInTheRightFile) {
  auto env = [](const wchar_t* name, uint64_t fallback) {
    wchar_t value[32];
    DWORD n = GetEnvironmentVariableW(name, value, 32);
    return n > 0 && n < 32 ? static_cast<uint64_t>(_wtoi64(value)) : fallback;
  };
  const int kills = static_cast<int>(env(L"KV_ENGINE_KILLS", 4));
  const std::string body = RandomBytes(static_cast<size_t>(env(L"KV_ENGINE_KILL_MIB", 48) * kMiB), 41);
  std::unique_ptr<ScriptedServer> server = ServePaced(body, 8 * kMiB, 4);
  ASSERT_TRUE(server);
  std::mt19937 random(GetTickCount());
  uint64_t worst_refetch = 0;
  for (int kill = 0; kill < kills; ++kill) {
    const uint64_t sent_before = server->BodyBytesSent();
    base::ScopedHandle driver = StartDriver(sandbox_.save_folder());
    ASSERT_TRUE(driver.IsValid());
    const DWORD delay = 150 + random() % 900;
    if (WaitForSingleObject(driver.Get(), delay) != WAIT_TIMEOUT) break;  // finished early
    ASSERT_TRUE(TerminateProcess(driver.Get(), 99));
    WaitForSingleObject(driver.Get(), 10000);
    std::printf("kill %d after %lu ms: %.1f MiB sent in this run\n", kill + 1, delay,
                (server->BodyBytesSent() - sent_before) / double(kMiB));
  }
  base::ScopedHandle last = StartDriver(sandbox_.save_folder());
  ASSERT_TRUE(last.IsValid());
  ASSERT_EQ(WaitForSingleObject(last.Get(), 300000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD exit_code = 1234;
  GetExitCodeProcess(last.Get(), &exit_code);
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(Sha256Hex(testutil::ReadFileBytes(sandbox_.FinalPath())), Sha256Hex(body));
  const uint64_t refetched = server->BodyBytesSent() - body.size();
  worst_refetch = refetched;
  std::printf("%d kills; %.1f MiB fetched again in all (%.1f MiB per resume)\n", kills, refetched / double(kMiB),
              kills ? refetched / double(kMiB) / kills : 0.0);
  // Each resume may lose the chunks in flight and the last second's work,
  // never the whole file.
  EXPECT_LT(worst_refetch, static_cast<uint64_t>(kills) * 12 * kMiB + kMiB);
}

}  // namespace
}  // namespace enginetest
