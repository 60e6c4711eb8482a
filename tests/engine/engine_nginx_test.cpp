// Transfers from the loopback nginx: several ranged connections into one
// file, the check, the final name, the earlier-download record.
#include <gtest/gtest.h>

#include <memory>

#include "common/test_servers.h"
#include "engine/engine_harness.h"

namespace enginetest {
namespace {

class EngineNginxTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(testutil::TestNginx::Available(&why)) << why;
    ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded";
    name_ = L"engine_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(GetTickCount()) + L".bin";
  }
  void TearDown() override { DeleteFileW((testutil::TestNginx::Www() + L"\\" + name_).c_str()); }

  std::wstring Publish(const std::string& bytes) {
    EXPECT_TRUE(testutil::WriteFileBytes(testutil::TestNginx::Www() + L"\\" + name_, bytes));
    return testutil::TestNginx::BaseUrl() + L"/" + name_;
  }

  EngineLibrary library_;
  std::wstring name_;
};

TEST_F(EngineNginxTest, DownloadsOverSeveralRangesAndNamesOnlyTheCheckedFile) {
  TaskSandbox sandbox;
  const std::string body = RandomBytes(24 * 1024 * 1024 + 12345, 1);
  const std::wstring url = Publish(body);
  sandbox.WriteTask({url}, body.size(), Sha256Hex(body), "connections=4\n");
  const size_t log_offset = testutil::TestNginx::AccessLogSize();

  EngineRef engine(library_);
  auto status = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.CheckStatus(status.get()), fetch::kOk);
  EXPECT_EQ(status->total, static_cast<int64_t>(body.size()));
  ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  ASSERT_EQ(result->completed, 1u);
  EXPECT_EQ(result->total, static_cast<int64_t>(body.size()));
  EXPECT_EQ(result->received, static_cast<int64_t>(body.size()));
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox.FinalPath()) == body) << "final file differs from the source";
  EXPECT_FALSE(testutil::FileExists(sandbox.PartPath()));

  // Several distinct ranges were asked for (the file is split between connections).
  EXPECT_GE(DistinctRangesServed(log_offset, name_), 3u);
}

TEST_F(EngineNginxTest, FinishedDownloadIsReportedWithItsFolderAndCompleteOnlyAfterItsCheck) {
  TaskSandbox sandbox;
  const std::string body = RandomBytes(3 * 1024 * 1024 + 7, 2);
  sandbox.WriteTask({Publish(body)}, body.size(), Sha256Hex(body));
  {
    EngineRef engine(library_);
    ASSERT_EQ(engine.Start(sandbox.save_folder() + L"\\"), fetch::kOk);
    ASSERT_EQ(engine.WaitForEnd(60000, nullptr), fetch::kOk);
  }
  EngineRef later(library_);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(later.QueryEarlier(result.get()), fetch::kOk);
  EXPECT_EQ(std::wstring(result->path), sandbox.save_folder());
  // On disk whole, but not complete until this run has checked it again.
  EXPECT_EQ(result->completed, 0u);
  EXPECT_EQ(result->total, static_cast<int64_t>(body.size()));
  EXPECT_EQ(result->received, static_cast<int64_t>(body.size()));
  // Starting again checks the file and fetches nothing.
  const size_t log_offset = testutil::TestNginx::AccessLogSize();
  ASSERT_EQ(later.Start(sandbox.save_folder()), fetch::kOk);
  ASSERT_EQ(later.WaitForEnd(10000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  Sleep(300);
  std::vector<testutil::NginxLogLine> lines;
  const std::string uri = "/" + std::string(name_.begin(), name_.end());
  testutil::TestNginx::WaitForLogLines(
      log_offset, [&](const testutil::NginxLogLine& l) { return l.uri == uri; }, 1, 200, &lines);
  EXPECT_TRUE(lines.empty());
}

TEST_F(EngineNginxTest, DeclaredSizeOtherThanTheTaskFailsStatusAndTransfer) {
  TaskSandbox sandbox;
  const std::string body = RandomBytes(2 * 1024 * 1024, 3);
  sandbox.WriteTask({Publish(body)}, body.size() + 1, Sha256Hex(body), "retry_limit=1\n");
  EngineRef engine(library_);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.CheckStatus(result.get()), fetch::kSizeMismatch);
  ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
  EXPECT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kTransferFailed);
  EXPECT_FALSE(testutil::FileExists(sandbox.FinalPath()));
}

TEST_F(EngineNginxTest, FileFailingItsDigestIsRemovedWithCodeFive) {
  TaskSandbox sandbox;
  const std::string body = RandomBytes(2 * 1024 * 1024 + 3, 4);
  std::string wrong = Sha256Hex(body);
  wrong[0] = wrong[0] == '0' ? '1' : '0';
  sandbox.WriteTask({Publish(body)}, body.size(), wrong);
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kCheckFailed);
  EXPECT_EQ(result->completed, 0u);
  EXPECT_FALSE(testutil::FileExists(sandbox.FinalPath()));
  EXPECT_FALSE(testutil::FileExists(sandbox.PartPath()));
  EXPECT_FALSE(testutil::FileExists(sandbox.StatePath()));
}

TEST_F(EngineNginxTest, FallsBackToTheNextSourceWhenTheFirstIsMissing) {
  TaskSandbox sandbox;
  const std::string body = RandomBytes(2 * 1024 * 1024 + 5, 5);
  const std::wstring good = Publish(body);
  sandbox.WriteTask({testutil::TestNginx::BaseUrl() + L"/no_such_file_" + name_, good}, body.size(),
                    Sha256Hex(body), "retry_limit=1\n");
  EngineRef engine(library_);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.CheckStatus(result.get()), fetch::kOk);
  ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox.FinalPath()) == body);
}

}  // namespace
}  // namespace enginetest
