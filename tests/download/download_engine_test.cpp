// The download manager with the real engine against the loopback nginx:
// a whole new download, and a file that fails its check.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_servers.h"
#include "download/manager_fixture.h"
#include "engine/engine_harness.h"

namespace {

using korvan::DownloadManager;

class RealEngineTest : public dmtest::ManagerTest {
 protected:
  void SetUp() override {
    ManagerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string why;
    ASSERT_TRUE(testutil::TestNginx::Available(&why)) << why;
    dm_->SetEnginePathForTesting(enginetest::EngineDllPath());
    name_ = L"dm_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) + L".bin";
  }
  void TearDown() override {
    ManagerTest::TearDown();
    DeleteFileW((testutil::TestNginx::Www() + L"\\" + name_).c_str());
  }
  // Serves `bytes` and describes them to the engine with `sha256`.
  void Publish(const std::string& bytes, const std::string& sha256) {
    ASSERT_TRUE(testutil::WriteFileBytes(testutil::TestNginx::Www() + L"\\" + name_, bytes));
    sandbox_.WriteTask({testutil::TestNginx::BaseUrl() + L"/" + name_}, bytes.size(), sha256);
  }

  enginetest::TaskSandbox sandbox_;
  std::wstring name_;
};

TEST_F(RealEngineTest, NewDownloadRunsToFinishedAndLeavesTheInstaller) {
  const std::string body = enginetest::RandomBytes(3 * 1024 * 1024 + 11, 41);
  Publish(body, enginetest::Sha256Hex(body));
  dm_->Initialize();
  ASSERT_TRUE(WaitState(DownloadManager::kReadyNew, 60000)) << dm_->CurrentState();
  dm_->StartDownload();
  ASSERT_TRUE(WaitState(DownloadManager::kFinished, 60000)) << dm_->CurrentState();
  ASSERT_TRUE(testutil::PumpUntil([&] { return install_steps_ == 1 && observer_.finished == 1; }, 20000));

  const std::vector<int32_t> trace = Trace();
  ASSERT_GE(trace.size(), 6u);
  EXPECT_EQ(std::vector<int32_t>(trace.begin(), trace.begin() + 5), (std::vector<int32_t>{0, 1, 3, 5, 6}));
  EXPECT_EQ(trace.back(), DownloadManager::kFinished);
  for (int32_t state : trace) EXPECT_LT(state, DownloadManager::kFailedRetryable);
  EXPECT_TRUE(testutil::ReadFileBytes(config_->GetInstallerPath()) == body);
  EXPECT_EQ(observer_.progress.back().size, L"大小：3.0MB/3.0MB");
  EXPECT_FLOAT_EQ(observer_.progress.back().fraction, 1.0f);
  EXPECT_TRUE(observer_.errors.empty());
}

TEST_F(RealEngineTest, FileThatFailsItsCheckEndsInState11WithoutAnInstaller) {
  const std::string body = enginetest::RandomBytes(1024 * 1024 + 3, 42);
  Publish(body, enginetest::Sha256Hex(body + "tampered"));
  dm_->Initialize();
  ASSERT_TRUE(WaitState(DownloadManager::kReadyNew, 60000)) << dm_->CurrentState();
  dm_->StartDownload();
  ASSERT_TRUE(WaitState(DownloadManager::kFailedFileCheck, 60000)) << dm_->CurrentState();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(observer_.errors, std::vector<std::wstring>{L"下载文件检查出错"});
  EXPECT_TRUE(Logged(L"下载进度查询失败，errorcode:5"));
  // The loop hands over as always, but there is nothing to start.
  EXPECT_EQ(install_steps_, 1);
  EXPECT_FALSE(testutil::FileExists(config_->GetInstallerPath()));
  EXPECT_EQ(observer_.finished, 0);
}

}  // namespace
