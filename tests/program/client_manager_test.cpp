// The client flow's single-instance guard and stop path, in this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/test_controller.h"
#include "app/client_manager.h"
#include "app/config_manager.h"
#include "app/instance_wnd_manager.h"
#include "app/main_wnd_manager.h"
#include "base/controller.h"
#include "base/message_loop.h"
#include "base/process_util.h"
#include "common/test_util.h"
#include "upp/timer_queue.h"

namespace {

using testutil::TestController;

class ClientManagerTest : public testing::Test {
 protected:
  void SetUp() override { base::SetController(&controller_); }
  // This test program carries no engine archives: keep the download set-up
  // that the start schedules from running (and failing with a message box).
  bool StartClient(korvan::ClientManager* client, const std::wstring& command_line = L"") {
    const bool started = client->Start(command_line);
    Upp::KillTimeCallback(GetLogicObject<korvan::MainWndManager>());
    return started;
  }
  void TearDown() override { base::SetController(nullptr); }
  TestController controller_;
};

bool QuitPosted() {
  MSG msg;
  return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

TEST_F(ClientManagerTest, FirstStartRunsAndCreatesTheFindableGuardWindow) {
  korvan::ClientManager* client = GetLogicObject<korvan::ClientManager>();
  EXPECT_TRUE(StartClient(client));
  EXPECT_FALSE(client->IsAnotherInstance());
  HWND guard = FindWindowW(korvan::kInstanceName, nullptr);
  ASSERT_NE(guard, nullptr);
  EXPECT_EQ(guard, GetLogicObject<korvan::InstanceWndManager>()->window());
  EXPECT_FALSE(IsWindowVisible(guard));
  EXPECT_FALSE(QuitPosted());
}

TEST_F(ClientManagerTest, SecondStartWakesTheFirstAndQuitsAtOnce) {
  ASSERT_TRUE(StartClient(GetLogicObject<korvan::ClientManager>()));
  korvan::ClientManager second;
  EXPECT_FALSE(second.Start(L"whatever the command line"));
  EXPECT_TRUE(second.IsAnotherInstance());
  EXPECT_TRUE(QuitPosted());
  EXPECT_TRUE(base::IsExiting());
  auto* main_wnd = GetLogicObject<korvan::MainWndManager>();
  EXPECT_TRUE(testutil::PumpUntil([&] { return main_wnd->activation_count() == 1; }, 3000));
}

TEST_F(ClientManagerTest, StopRemovesTheWindowFreesTheMutexAndQuitsAboutOneSecondLater) {
  korvan::ClientManager* client = GetLogicObject<korvan::ClientManager>();
  ASSERT_TRUE(StartClient(client));
  base::MessageLoop loop;
  ULONGLONG start = GetTickCount64();
  client->Stop();
  client->Stop();  // a second stop changes nothing
  EXPECT_TRUE(base::IsExiting());
  EXPECT_EQ(FindWindowW(korvan::kInstanceName, nullptr), nullptr);
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, korvan::kInstanceName);
  EXPECT_EQ(mutex, nullptr);
  if (mutex) CloseHandle(mutex);
  EXPECT_EQ(loop.Run(), 0);
  ULONGLONG took = GetTickCount64() - start;
  EXPECT_GE(took, 1000u);
  // Not at once, and not hanging: Wine's removal of the tray icon alone
  // takes about 2 s, and over 8 s on a loaded machine, so the upper bound
  // is generous.
  EXPECT_LT(took, 15000u);
}

}  // namespace

namespace {

class InstallExeTest : public ClientManagerTest {
 protected:
  void SetUp() override {
    ClientManagerTest::SetUp();
    root_ = dir_.Join(L"my games");  // a space: the path must be quoted
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root_ + L"\\KorvanInstall").c_str(), nullptr));
    GetLogicObject<korvan::ConfigManager>()->SetInstallRoot(root_, false);
  }
  testutil::ScopedTempDir dir_;
  std::wstring root_;
};

TEST_F(InstallExeTest, StartedInstallerStopsTheProgramAboutOneSecondLater) {
  const std::wstring installer = root_ + L"\\KorvanInstall\\KorvanInstall.exe";
  ASSERT_TRUE(CopyFileW((testutil::TestBinDir() + L"\\kv_test_child.exe").c_str(),
                        installer.c_str(), FALSE));
  base::MessageLoop loop;
  GetLogicObject<korvan::ClientManager>()->InstallExe();
  EXPECT_TRUE(base::IsExiting());
  EXPECT_EQ(loop.Run(), 0);
  const std::wstring marker = root_ + L"\\KorvanInstall\\started.txt";
  ASSERT_TRUE(testutil::PumpUntil([&] { return testutil::FileExists(marker); }, 5000));
  // Started with the quoted path alone: no arguments.
  const std::string bytes = testutil::ReadFileBytes(marker);
  const std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
  EXPECT_EQ(line, L"\"" + installer + L"\"");
}

// The install button can still be pressed in the second before the
// program ends: that press must not start the installer a second time.
TEST_F(InstallExeTest, APressWhileTheProgramEndsStartsNoSecondInstaller) {
  const std::wstring installer = root_ + L"\\KorvanInstall\\KorvanInstall.exe";
  ASSERT_TRUE(CopyFileW((testutil::TestBinDir() + L"\\kv_test_child.exe").c_str(),
                        installer.c_str(), FALSE));
  base::MessageLoop loop;
  GetLogicObject<korvan::ClientManager>()->InstallExe();
  Upp::SetTimeCallback(300, [] { GetLogicObject<korvan::ClientManager>()->InstallExe(); }, this);
  EXPECT_EQ(loop.Run(), 0);
  Upp::KillTimeCallback(this);
  const std::wstring marker = root_ + L"\\KorvanInstall\\started.txt";
  ASSERT_TRUE(testutil::PumpUntil([&] { return testutil::FileExists(marker); }, 5000));
  testutil::PumpFor(2000);  // time for a second copy to write its line
  const std::string bytes = testutil::ReadFileBytes(marker);
  const std::wstring lines(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
  EXPECT_EQ(lines, L"\"" + installer + L"\"");
}

TEST_F(InstallExeTest, MissingInstallerShowsTheMessageOnceAndKeepsRunning) {
  std::vector<std::wstring> texts;
  // The box is modal; the timer queue still runs inside it and answers it.
  Upp::SetTimeCallback(-50, [&texts] {
    HWND box = FindWindowW(nullptr, L"安装包启动失败");
    if (!box) return;
    wchar_t text[256] = {};
    HWND label = FindWindowExW(box, nullptr, L"Static", nullptr);
    while (label && !GetWindowTextW(label, text, 256)) label = FindWindowExW(box, label, L"Static", nullptr);
    texts.push_back(text);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }, this);
  const std::vector<DWORD> before = base::FindProcessesByName(L"explorer.exe");
  GetLogicObject<korvan::ClientManager>()->InstallExe();
  Upp::KillTimeCallback(this);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], L"请尝试手动运行游戏安装程序KorvanInstall.exe");
  EXPECT_FALSE(base::IsExiting());
  // One file explorer opened on the install folder after the box closed.
  // It inherited this program's output, so it must not outlive the test.
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
