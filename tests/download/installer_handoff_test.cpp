// The installer hand-off (ClientManager::InstallExe) after the download
// manager ran against the scripted engine: only the file verified in this
// run starts, once, held so that it cannot be swapped; after a failed
// transfer or check nothing starts and nothing is reported. The installer is
// a real program (kv_test_child.exe writes "started.txt" beside itself).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "app/client_manager.h"
#include "base/message_loop.h"
#include "base/process_util.h"
#include "download/fake_engine_fixture.h"
#include "upp/timer_queue.h"

namespace {

using dmtest::FakeEngineTest;
using korvan::DownloadManager;

class InstallerHandOffTest : public FakeEngineTest {
 protected:
  void SetUp() override {
    FakeEngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    root_ = dir_.Join(L"my games");  // a space: the path must be quoted
    config_->SetInstallRoot(root_, false);
    installer_ = config_->GetInstallerPath();
    marker_ = root_ + L"\\KorvanInstall\\started.txt";
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root_ + L"\\KorvanInstall").c_str(), nullptr));
  }

  void PutInstaller(const std::wstring& from) { ASSERT_TRUE(CopyFileW(from.c_str(), installer_.c_str(), FALSE)); }
  static std::wstring ChildProgram() { return testutil::TestBinDir() + L"\\kv_test_child.exe"; }

  // A new download that the engine reports complete and verified.
  void FinishDownload() {
    ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
    script_.progress = {1, 4096, 4096, 0, L""};
    Apply();
    ASSERT_TRUE(StartTo(DownloadManager::kFinished));
    ASSERT_TRUE(WaitIdle());
  }

  std::wstring Started() {
    const std::string bytes = testutil::ReadFileBytes(marker_);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
  }

  std::wstring installer_, marker_;
};

TEST_F(InstallerHandOffTest, VerifiedInstallerCannotBeSwappedAndStartsOnceThenTheProgramStops) {
  PutInstaller(ChildProgram());
  FinishDownload();
  // Held since the engine reported it: no writer, no delete, no rename or
  // copy over it.
  const std::wstring other = dir_.Join(L"other.exe");
  ASSERT_TRUE(testutil::WriteFileBytes(other, "MZ not the checked file"));
  base::ScopedHandle writer(CreateFileW(installer_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer.IsValid());
  EXPECT_FALSE(DeleteFileW(installer_.c_str()));
  EXPECT_FALSE(MoveFileExW(other.c_str(), installer_.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(CopyFileW(other.c_str(), installer_.c_str(), FALSE));

  // The install button pressed again in the second before the program ends
  // starts no second installer.
  base::MessageLoop loop;
  GetLogicObject<korvan::ClientManager>()->InstallExe();
  EXPECT_TRUE(base::IsExiting());
  Upp::SetTimeCallback(300, [] { GetLogicObject<korvan::ClientManager>()->InstallExe(); }, this);
  const ULONGLONG before_loop = GetTickCount64();
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_GE(GetTickCount64() - before_loop, 900u) << "the program did not wait its second";
  Upp::KillTimeCallback(this);
  ASSERT_TRUE(testutil::PumpUntil([&] { return testutil::FileExists(marker_); }, 5000)) << "nothing started";
  testutil::PumpFor(1500);  // time for a second copy to write its line
  // Started with the quoted path alone, once.
  EXPECT_EQ(Started(), L"\"" + installer_ + L"\"");
  ASSERT_TRUE(stats_.WaitForRequests(3, 20000));
  EXPECT_EQ(Reports("status=10&"), 1u);
  EXPECT_TRUE(messages_.empty());
}

// A download an earlier run finished, which the engine has checked again
// at this start: held from then on, started by the install button.
TEST_F(InstallerHandOffTest, EarlierDownloadVerifiedAtStartIsHeldAndStartsFromTheButton) {
  PutInstaller(ChildProgram());
  script_.earlier = {1, 4096, 4096, 0, L""};
  wcscpy(script_.earlier.path, (root_ + L"\\KorvanInstall").c_str());
  ASSERT_TRUE(InitializeTo(DownloadManager::kFinished));
  EXPECT_FALSE(DeleteFileW(installer_.c_str())) << "the verified installer is not held";
  base::MessageLoop loop;
  GetLogicObject<korvan::ClientManager>()->InstallExe();
  EXPECT_EQ(loop.Run(), 0);
  ASSERT_TRUE(testutil::PumpUntil([&] { return testutil::FileExists(marker_); }, 5000)) << "nothing started";
  EXPECT_EQ(Started(), L"\"" + installer_ + L"\"");
  EXPECT_TRUE(messages_.empty());
}

// An earlier installer (another digest: the scripted engine never checked
// it) sits at the installer's path throughout.
TEST_F(InstallerHandOffTest, FailedTransferOrCheckStartsNothingAndReportsNothing) {
  PutInstaller(ChildProgram());
  ASSERT_TRUE(InitializeTo(DownloadManager::kReadyNew));
  script_.codes[fetch::kSlotQueryProgress] = fetch::kTransferFailed;
  Apply();
  ASSERT_TRUE(StartTo(DownloadManager::kFailedRetryable));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(install_steps_, 1);  // the loop's end still asks for the hand-off
  GetLogicObject<korvan::ClientManager>()->InstallExe();

  script_.codes[fetch::kSlotQueryProgress] = fetch::kCheckFailed;
  Apply();
  dm_->RetryDownload();
  ASSERT_TRUE(WaitState(DownloadManager::kFailedFileCheck));
  ASSERT_TRUE(WaitIdle());
  GetLogicObject<korvan::ClientManager>()->InstallExe();
  testutil::PumpFor(1500);

  EXPECT_FALSE(testutil::FileExists(marker_)) << "started: " << Started();
  EXPECT_FALSE(base::IsExiting());
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(observer_.errors, (std::vector<std::wstring>{L"下载失败，请重试", L"下载文件检查出错"}));
  ASSERT_TRUE(stats_.WaitForRequests(1, 20000)) << "the start report went missing";
  EXPECT_EQ(Reports("status=10&"), 0u);
  EXPECT_TRUE(Logged(L"InstallExe未启动，安装包未在本次校验通过，current_state_:10"));
  EXPECT_TRUE(Logged(L"InstallExe未启动，安装包未在本次校验通过，current_state_:11"));
  // Not held either: the next download may replace it.
  EXPECT_TRUE(DeleteFileW(installer_.c_str()));
}

// The verified file that still cannot run (here: not a program) gets the
// "run it by hand" message and the install folder; the program goes on.
TEST_F(InstallerHandOffTest, VerifiedFileThatCannotStartShowsTheMessageAndTheFolder) {
  ASSERT_TRUE(testutil::WriteFileBytes(installer_, "not a program"));
  FinishDownload();
  const std::vector<DWORD> before = base::FindProcessesByName(L"explorer.exe");
  GetLogicObject<korvan::ClientManager>()->InstallExe();
  EXPECT_EQ(messages_, std::vector<std::wstring>{L"请尝试手动运行游戏安装程序KorvanInstall.exe|安装包启动失败"});
  EXPECT_FALSE(base::IsExiting());
  // One file explorer opened on the install folder. It inherited this
  // program's output, so it must not outlive the test.
  std::vector<DWORD> opened;
  testutil::PumpUntil([&] {
    opened.clear();
    for (DWORD pid : base::FindProcessesByName(L"explorer.exe")) {
      if (std::find(before.begin(), before.end(), pid) == before.end()) opened.push_back(pid);
    }
    return !opened.empty();
  }, 10000);
  EXPECT_EQ(opened.size(), 1u);
  for (DWORD pid : opened) {
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
      TerminateProcess(process, 0);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }
}

}  // namespace
