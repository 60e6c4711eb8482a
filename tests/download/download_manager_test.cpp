// The download manager against a scripted engine: its states, its failure
// table, pause, resume and retry, the earlier-download cases and the texts
// it hands to the progress panel.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/message_loop.h"
#include "base/scoped_handle.h"
#include "download/fake_engine_fixture.h"

namespace {

using korvan::DownloadManager;

using dmtest::FakeEngineTest;
using dmtest::FakePath;

TEST_F(FakeEngineTest, NewDownloadRunsThroughEveryStateToTheHandOver) {
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  EXPECT_EQ(observer_.root_changes, 1);
  ASSERT_EQ(observer_.progress.size(), 2u);
  EXPECT_TRUE(Logged(L"未发现上次下载信息"));
  EXPECT_EQ(observer_.progress[0].size, L"");  // the reset at the set-up
  EXPECT_EQ(LastProgress().size, L"大小：0B/4.0KB");
  EXPECT_EQ(LastProgress().speed, L"速度：0B/s");

  ASSERT_TRUE(StartTo(DownloadManager::kDownloading));
  ASSERT_TRUE(testutil::PumpUntil([&] { return LastProgress().animate; }, 20000));
  EXPECT_FLOAT_EQ(LastProgress().fraction, 999.0f / 4096.0f);
  EXPECT_EQ(LastProgress().speed, L"速度：2.0KB/s");
  EXPECT_EQ(LastProgress().size, L"大小：999B/4.0KB");
  EXPECT_EQ(std::wstring(Calls().start_folder), root_ + L"\\KorvanInstall");
  EXPECT_TRUE(testutil::FolderExists(root_ + L"\\KorvanInstall"));

  script_.progress.received = 4096;  // every byte is in, the engine still checks
  Apply();
  ASSERT_TRUE(WaitState(DownloadManager::kAllReceived));
  script_.progress.completed = 1;
  Apply();
  ASSERT_TRUE(WaitState(DownloadManager::kFinished));
  ASSERT_TRUE(testutil::PumpUntil([&] { return install_steps_ == 1 && observer_.finished == 1; }, 10000));
  EXPECT_EQ(Trace(), (std::vector<int32_t>{0, 1, 3, 5, 6, 7, 9}));
  EXPECT_GE(observer_.state_changes, 7);
  EXPECT_NE(testutil::ReadFileBytes(config_->GetChannelFilePath()).find("UserChannel"), std::string::npos);
  ASSERT_TRUE(stats_.WaitForRequests(2, 20000));
  EXPECT_EQ(Reports("status=8&"), 1u);
  EXPECT_EQ(Reports("first_time=1"), 1u);
  EXPECT_EQ(Reports("status=9&"), 1u);
  EXPECT_TRUE(observer_.errors.empty());
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(Logged(L"启动下载成功"));
  EXPECT_TRUE(Logged(L"下载完成"));
}

TEST_F(FakeEngineTest, EarlierDownloadMakesTheFolderAboveItTheRoot) {
  const struct {
    const wchar_t* path;
    const wchar_t* root;
  } cases[] = {
      {L"D:\\Games\\KorvanInstall\\", L"D:\\Games"},
      {L"D:\\Games\\KorvanInstall", L"D:\\Games"},
      {L"D:/Games/KorvanInstall/", L"D:/Games"},
  };
  for (const auto& c : cases) {
    script_.earlier = {0, 4096, 500, 0, L""};
    wcscpy(script_.earlier.path, c.path);
    Apply();
    DownloadManager manager;
    manager.SetEnginePathForTesting(FakePath());
    manager.Progress.connect(&observer_, &dmtest::Observer::OnProgress);
    const int root_changes = observer_.root_changes;
    manager.Initialize();
    ASSERT_TRUE(testutil::PumpUntil([&] { return manager.CurrentState() == DownloadManager::kReadyResume; }, 20000))
        << manager.CurrentState();
    ASSERT_TRUE(WaitIdle());  // the status check's progress came last
    EXPECT_EQ(config_->GetInstallRoot(), c.root);
    EXPECT_EQ(observer_.root_changes, root_changes + 1);
    EXPECT_EQ(observer_.progress[observer_.progress.size() - 2].size, L"大小：500B/4.0KB");
    EXPECT_TRUE(observer_.progress[observer_.progress.size() - 2].animate);
    manager.ReleaseEngine();
    ASSERT_TRUE(WaitIdle());
  }
  EXPECT_TRUE(Logged(L"发现上次下载信息，path:D:\\Games\\KorvanInstall\\ 已下载：500 总大小：4096"));
}

TEST_F(FakeEngineTest, FinishedEarlierDownloadNeedsNoStatusCheck) {
  script_.earlier = {1, 4096, 4096, 0, L""};
  wcscpy(script_.earlier.path, (root_ + L"\\KorvanInstall").c_str());
  ASSERT_TRUE(InitializeTo(DownloadManager::kFinished));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Calls().calls[fetch::kSlotCheckStatus], 0);
  EXPECT_EQ(Trace(), (std::vector<int32_t>{0, 9}));
  EXPECT_FLOAT_EQ(LastProgress().fraction, 1.0f);
  EXPECT_EQ(LastProgress().size, L"大小：4.0KB/4.0KB");
  EXPECT_FALSE(LastProgress().animate);
  dm_->StartDownload();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Calls().calls[fetch::kSlotStart], 0);
}

// A failed query leaves state 0, and the status check then offers a resume:
// the start skips the disk check (this root cannot even be created) and
// reports a resumed download.
TEST_F(FakeEngineTest, FailedEarlierQueryLeadsToResumeWithoutDiskCheck) {
  ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(L"file"), "x"));
  config_->SetInstallRoot(dir_.Join(L"file\\games"), false);
  script_.codes[fetch::kSlotQueryEarlier] = fetch::kInternal;
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyResume));
  EXPECT_TRUE(Logged(L"查询上次下载状态出错，error_code:11"));
  EXPECT_TRUE(observer_.errors.empty());
  EXPECT_EQ(Trace(), (std::vector<int32_t>{0, 4}));
  ASSERT_TRUE(StartTo(DownloadManager::kDownloading));
  EXPECT_TRUE(messages_.empty());
  ASSERT_TRUE(stats_.WaitForRequests(1, 20000));
  EXPECT_EQ(Reports("first_time=0"), 1u);
}

struct FailureRow {
  const char* name;
  int slot;
  int32_t code;
  int32_t state;
  const wchar_t* error;
  const wchar_t* log;
  bool hand_over;  // the transfer loop ended and posted the installer step
};

class FailureTableTest : public FakeEngineTest, public testing::WithParamInterface<FailureRow> {};

TEST_P(FailureTableTest, EndsInItsStateWithItsErrorAndLogLine) {
  const FailureRow& row = GetParam();
  script_.codes[row.slot] = row.code;
  Apply();
  dm_->Initialize();
  if (row.slot != fetch::kSlotCheckStatus) {
    ASSERT_TRUE(WaitState(DownloadManager::kReadyNew));
    dm_->StartDownload();
  }
  ASSERT_TRUE(WaitState(row.state));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(observer_.errors, std::vector<std::wstring>{row.error});
  EXPECT_TRUE(Logged(row.log));
  EXPECT_EQ(install_steps_, row.hand_over ? 1 : 0);
  EXPECT_TRUE(messages_.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FailureTableTest,
    testing::Values(
        FailureRow{"StatusCheck", fetch::kSlotCheckStatus, 6, 10, L"下载状态检查失败错误码：6", L"下载状态检查失败", false},
        FailureRow{"StartCheckFailed", fetch::kSlotStart, 5, 11, L"下载文件检查出错", L"启动下载失败，errorcode:5", false},
        FailureRow{"StartOther", fetch::kSlotStart, 9, 10, L"启动下载失败错误码：9", L"启动下载失败，errorcode:9", false},
        FailureRow{"PollCheckFailed", fetch::kSlotQueryProgress, 5, 11, L"下载文件检查出错", L"下载进度查询失败，errorcode:5", true},
        FailureRow{"PollTransferFailed", fetch::kSlotQueryProgress, 3, 10, L"下载失败，请重试", L"下载进度查询失败，errorcode:3", true}),
    [](const testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });

TEST_F(FakeEngineTest, OtherPollCodesAreOnlyLoggedAndPollingGoesOn) {
  script_.codes[fetch::kSlotQueryProgress] = fetch::kNotStarted;
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  ASSERT_TRUE(StartTo(DownloadManager::kDownloading));
  ASSERT_TRUE(testutil::PumpUntil([&] { return Calls().calls[fetch::kSlotQueryProgress] >= 2; }, 20000));
  EXPECT_EQ(dm_->CurrentState(), DownloadManager::kDownloading);
  EXPECT_TRUE(observer_.errors.empty());
  EXPECT_TRUE(Logged(L"下载进度查询失败，errorcode:4"));
}

TEST_F(FakeEngineTest, MissingEngineIsShownAtEveryCall) {
  const struct {
    std::wstring path;
    int32_t null_instance;
    const wchar_t* log;
  } cases[] = {
      {dir_.Join(L"none\\FetchCore.dll"), 0, L"FetchCore.dll 载入失败"},
      {L"shlwapi.dll", 0, L"获取接口失败 FetchCore.dll GetInstance"},
      {FakePath(), 1, L"FetchCore.dll GetInstance 调用返回失败"},
  };
  for (const auto& c : cases) {
    script_.null_instance = c.null_instance;
    Apply();
    DownloadManager manager;
    manager.SetEnginePathForTesting(c.path);
    manager.Error.connect(&observer_, &dmtest::Observer::OnError);
    observer_.errors.clear();
    manager.Initialize();
    ASSERT_TRUE(testutil::PumpUntil([&] { return observer_.errors.size() == 1; }, 20000)) << c.log;
    EXPECT_TRUE(Logged(c.log)) << c.log;
    EXPECT_FALSE(manager.PauseDownload());
    manager.RetryDownload();
    testutil::PumpUntil([&] { return observer_.errors.size() == 3; }, 5000);
    EXPECT_EQ(observer_.errors, std::vector<std::wstring>(3, L"下载模块失效"));
    EXPECT_EQ(manager.CurrentState(), DownloadManager::kInitial);
    ASSERT_TRUE(WaitIdle());
  }
  EXPECT_EQ(Calls().calls[fetch::kSlotQueryEarlier], 0);
  EXPECT_EQ(Calls().calls[fetch::kSlotCheckStatus], 0);
}

// This test program carries no package resources, so the real unpacking
// fails.
class PackagesTest : public dmtest::ManagerTest {};

TEST_F(PackagesTest, PackagesThatCannotBeUnpackedStopTheSetUp) {
  dm_->Initialize();
  ASSERT_TRUE(testutil::PumpUntil([&] { return !messages_.empty(); }, 20000));
  EXPECT_EQ(messages_, std::vector<std::wstring>{L"下载模块加载失败|"});
  EXPECT_TRUE(Logged(L"释放模块组失败"));
  EXPECT_TRUE(Logged(L"下载模块加载失败"));
  EXPECT_EQ(dm_->CurrentState(), DownloadManager::kInitial);
}

TEST_F(FakeEngineTest, PauseResumeAndTheirRefusals) {
  script_.hold_start = 1;
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  dm_->StartDownload();
  ASSERT_TRUE(testutil::PumpUntil(
      [&] { return Calls().start_waiting && dm_->CurrentState() == DownloadManager::kStarting; }, 20000));
  EXPECT_FALSE(dm_->PauseDownload());
  EXPECT_TRUE(Logged(L"调用暂停无效，下载状态不符，current_state_:5"));
  open_start_();
  ASSERT_TRUE(WaitState(DownloadManager::kDownloading));

  EXPECT_TRUE(dm_->PauseDownload());
  EXPECT_EQ(dm_->CurrentState(), DownloadManager::kPaused);
  EXPECT_FALSE(dm_->PauseDownload());
  EXPECT_TRUE(Logged(L"调用暂停无效，下载状态不符，current_state_:8"));
  EXPECT_TRUE(dm_->ResumeDownload());
  EXPECT_EQ(dm_->CurrentState(), DownloadManager::kDownloading);
  EXPECT_FALSE(dm_->ResumeDownload());
  EXPECT_TRUE(Logged(L"调用恢复无效，下载状态不符，current_state_:6"));
  EXPECT_EQ(Calls().calls[fetch::kSlotPause], 1);
  EXPECT_EQ(Calls().calls[fetch::kSlotResume], 1);
  EXPECT_TRUE(Logged(L"下载暂停成功"));
  EXPECT_TRUE(Logged(L"恢复下载成功"));

  script_.codes[fetch::kSlotPause] = fetch::kSizeMismatch;
  Apply();
  EXPECT_FALSE(dm_->PauseDownload());
  EXPECT_TRUE(Logged(L"下载暂停失败，错误码：7"));
  EXPECT_EQ(dm_->CurrentState(), DownloadManager::kDownloading);
}

TEST_F(FakeEngineTest, RetryRunsOnlyInState10AndReportsNoSecondStart) {
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  dm_->RetryDownload();
  EXPECT_TRUE(Logged(L"调用重试无效，下载状态不符，current_state_:3"));
  script_.codes[fetch::kSlotQueryProgress] = fetch::kTransferFailed;
  Apply();
  ASSERT_TRUE(StartTo(DownloadManager::kFailedRetryable));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(install_steps_, 1);

  script_.codes[fetch::kSlotQueryProgress] = fetch::kOk;
  script_.progress = {1, 4096, 4096, 0, L""};
  Apply();
  dm_->RetryDownload();
  ASSERT_TRUE(WaitState(DownloadManager::kFinished));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Calls().calls[fetch::kSlotStart], 1);
  EXPECT_EQ(install_steps_, 2);
  ASSERT_TRUE(stats_.WaitForRequests(2, 20000));
  testutil::PumpFor(200);
  EXPECT_EQ(Reports("status=8&"), 1u);
  EXPECT_EQ(Reports("status=9&"), 1u);
}

TEST_F(FakeEngineTest, ProgressTextsFollowTheEngineFigures) {
  script_.status.total = 0;
  script_.progress = {0, 1024000, 1023999, -1, L""};
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  EXPECT_EQ(LastProgress().fraction, 0.0f);
  EXPECT_EQ(LastProgress().size, L"大小：0B/0B");
  ASSERT_TRUE(StartTo(DownloadManager::kDownloading));
  ASSERT_TRUE(testutil::PumpUntil([&] { return LastProgress().animate; }, 20000));
  EXPECT_EQ(LastProgress().size, L"大小：1000.0KB/1.0MB");
  EXPECT_EQ(LastProgress().speed, L"速度：0B/s");
  EXPECT_FLOAT_EQ(LastProgress().fraction, 1023999.0f / 1024000.0f);
}

TEST_F(FakeEngineTest, FailedDiskCheckShowsItsMessageAndStartsNothing) {
  // A root below a file can never be created.
  ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(L"file"), "x"));
  config_->SetInstallRoot(dir_.Join(L"file\\games"), false);
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  dm_->StartDownload();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(messages_, std::vector<std::wstring>{L"下载盘无读写权限|"});
  EXPECT_EQ(dm_->CurrentState(), DownloadManager::kReadyNew);
  EXPECT_EQ(Calls().calls[fetch::kSlotStart], 0);
  EXPECT_EQ(Reports("status=8&"), 0u);
}

TEST_F(FakeEngineTest, ReleaseEngineEndsTheLoopAndLeavesTheEngineMissing) {
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  ASSERT_TRUE(StartTo(DownloadManager::kDownloading));
  dm_->ReleaseEngine();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Calls().calls[fetch::kSlotShutDown], 1);
  EXPECT_EQ(Calls().releases, 1);
  EXPECT_TRUE(Logged(L"release download api suc"));
  EXPECT_EQ(observer_.errors, std::vector<std::wstring>{L"下载模块失效"});
  EXPECT_EQ(install_steps_, 0);
  EXPECT_FALSE(dm_->PauseDownload());
  dm_->ReleaseEngine();
  EXPECT_EQ(Calls().releases, 1);
}

// Sets the process-wide exit flag. ctest runs each test in its own process;
// in one process the tests after this one skip themselves.
TEST_F(FakeEngineTest, OnceExitingEngineChecksFailSilently) {
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  ASSERT_TRUE(StartTo(DownloadManager::kDownloading));
  base::SetExiting();
  ASSERT_TRUE(WaitIdle());
  EXPECT_FALSE(dm_->PauseDownload());
  testutil::PumpFor(200);  // a wrongly posted error would arrive within this
  EXPECT_TRUE(observer_.errors.empty());
  EXPECT_FALSE(Logged(L"下载模块失效"));
  EXPECT_EQ(install_steps_, 0);
}

}  // namespace
