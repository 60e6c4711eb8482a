// The digest that runs alongside the transfer must still judge the file as
// it is on disk: bytes changed between runs in a part already hashed are
// caught, and a file replaced on the server in mid-transfer is hashed
// afresh, not as a mix of old and new.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "engine/engine_harness.h"
#include "scripted_server.h"

namespace enginetest {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

class EngineHashTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded"; }
  TaskSandbox sandbox_;
  EngineLibrary library_;
};

TEST_F(EngineHashTest, ByteChangedOnDiskBetweenRunsInAHashedPartIsCaught) {
  const std::string body = RandomBytes(16 * kMiB, 61);
  ServeOptions paced;
  paced.bytes_per_second = 4 * kMiB;
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body, paced); });
  ASSERT_TRUE(server.Start());
  // One connection: what is received is one prefix, which the first run
  // hashes as it grows.
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), "connections=1\n");
  {
    EngineRef engine(library_);
    ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
    ASSERT_TRUE(engine.WaitForReceived(8 * kMiB, 60000));
    Sleep(500);
    ASSERT_EQ(engine.ShutDown(), fetch::kOk);
  }
  // Damage one byte well inside the part the first run recorded and hashed.
  std::string part = testutil::ReadFileBytes(sandbox_.PartPath());
  ASSERT_EQ(part.size(), body.size());
  ASSERT_EQ(part.substr(0, 4 * kMiB), body.substr(0, 4 * kMiB));
  part[3 * kMiB + 5] ^= 0x01;
  ASSERT_TRUE(testutil::WriteFileBytes(sandbox_.PartPath(), part));

  EngineRef later(library_);
  ASSERT_EQ(later.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(later.WaitForEnd(90000, result.get()), fetch::kCheckFailed);
  EXPECT_EQ(result->completed, 0u);
  EXPECT_FALSE(testutil::FileExists(sandbox_.FinalPath()));
  // The resumed run fetched only the rest: the damage came from the disk.
  for (const auto& r : server.Requests()) {
    if (r.Header("if-range").empty()) continue;
    EXPECT_GE(r.first, 4 * kMiB);
  }
}

TEST_F(EngineHashTest, FileReplacedOnTheServerInMidTransferIsHashedAfresh) {
  const std::string old_body = RandomBytes(12 * kMiB, 62);
  const std::string new_body = RandomBytes(12 * kMiB, 63);
  std::atomic<int> met_new{0};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) {
    // The new file appears once a third of the old one has gone out.
    const bool replaced = CurrentServer()->BodyBytesSent() >= 4 * kMiB;
    if (replaced && r.Header("if-range") == "\"v1\"") ++met_new;
    ServeOptions options;
    options.bytes_per_second = replaced ? 0 : 2 * kMiB;
    options.etag = replaced ? "\"v2\"" : "\"v1\"";
    ServeFile(conn, r, replaced ? new_body : old_body, options);
  });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, new_body.size(), Sha256Hex(new_body), "connections=2\n");
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == new_body);
  EXPECT_GT(met_new.load(), 0) << "the transfer never met the replaced file";
}

}  // namespace
}  // namespace enginetest
