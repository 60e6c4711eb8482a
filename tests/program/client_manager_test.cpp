// The client flow's single-instance guard and stop path, in this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/test_controller.h"
#include "app/client_manager.h"
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

// The installer hand-off: tests/download/installer_handoff_test.cpp.
