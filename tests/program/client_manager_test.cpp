// The client flow's single-instance guard and stop path, in this process.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/client_manager.h"
#include "app/instance_wnd_manager.h"
#include "app/main_wnd_manager.h"
#include "base/controller.h"
#include "base/message_loop.h"
#include "common/test_util.h"

namespace {

class TestController : public base::Controller {
 public:
  bool Start(const std::wstring&) override { return true; }
};

class ClientManagerTest : public testing::Test {
 protected:
  void SetUp() override { base::SetController(&controller_); }
  void TearDown() override { base::SetController(nullptr); }
  TestController controller_;
};

bool QuitPosted() {
  MSG msg;
  return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

TEST_F(ClientManagerTest, FirstStartRunsAndCreatesTheFindableGuardWindow) {
  korvan::ClientManager* client = GetLogicObject<korvan::ClientManager>();
  EXPECT_TRUE(client->Start(L""));
  EXPECT_FALSE(client->IsAnotherInstance());
  HWND guard = FindWindowW(korvan::kInstanceName, nullptr);
  ASSERT_NE(guard, nullptr);
  EXPECT_EQ(guard, GetLogicObject<korvan::InstanceWndManager>()->window());
  EXPECT_FALSE(IsWindowVisible(guard));
  EXPECT_FALSE(QuitPosted());
}

TEST_F(ClientManagerTest, SecondStartWakesTheFirstAndQuitsAtOnce) {
  ASSERT_TRUE(GetLogicObject<korvan::ClientManager>()->Start(L""));
  korvan::ClientManager second;
  EXPECT_FALSE(second.Start(L"whatever the command line"));
  EXPECT_TRUE(QuitPosted());
  EXPECT_TRUE(base::IsExiting());
  auto* main_wnd = GetLogicObject<korvan::MainWndManager>();
  EXPECT_TRUE(testutil::PumpUntil([&] { return main_wnd->activation_count() == 1; }, 3000));
}

TEST_F(ClientManagerTest, StopRemovesTheWindowFreesTheMutexAndQuitsAboutOneSecondLater) {
  korvan::ClientManager* client = GetLogicObject<korvan::ClientManager>();
  ASSERT_TRUE(client->Start(L""));
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
  EXPECT_LT(took, 3000u);
}

}  // namespace
