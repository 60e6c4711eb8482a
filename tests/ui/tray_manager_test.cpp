// The tray manager with a recording shell call: icon, tip, the menu at the
// cursor and its replacement, the clicks, and one removal.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_wnd_manager.h"
#include "app/tray_manager.h"
#include "base/controller.h"
#include "common/test_util.h"
#include "ctrls/layered_menu.h"
#include "ui_test_env.h"
#include "upp/timer_queue.h"

namespace {

using korvan::TrayManager;

struct ShellCall {
  DWORD op;
  std::wstring tip;
  bool has_icon;
};
std::vector<ShellCall> g_calls;

BOOL RecordNotify(DWORD op, NOTIFYICONDATAW* data) {
  g_calls.push_back({op, data->szTip, data->hIcon != nullptr});
  return TRUE;
}

int CountOps(DWORD op) {
  int n = 0;
  for (const ShellCall& c : g_calls) n += c.op == op;
  return n;
}

class TrayManagerTest : public uitest::SkinnedTest {
 protected:
  void SetUp() override {
    uitest::SkinnedTest::SetUp();
    g_calls.clear();
    tray_ = GetLogicObject<TrayManager>();
    tray_->SetNotifyForTesting(&RecordNotify);
    tray_->ShowTray();
    ASSERT_NE(tray_->tray_icon(), nullptr);
  }
  void Notify(UINT mouse) {
    SendMessageW(tray_->tray_icon()->GetNotifyHWND(), ctrls::TrayIcon::kCallbackMessage, 0, mouse);
  }
  TrayManager* tray_ = nullptr;
};

TEST_F(TrayManagerTest, IconShowsTheTrayImageAndTip) {
  ASSERT_GE(CountOps(NIM_ADD), 1);
  EXPECT_EQ(CountOps(NIM_DELETE), 0);
  EXPECT_EQ(g_calls.back().tip, L"Korvan下载器");
  EXPECT_TRUE(g_calls.back().has_icon);
  EXPECT_TRUE(tray_->tray_icon()->IsIconShown());
}

TEST_F(TrayManagerTest, RightClickOpensTheMenuAboveAndLeftOfTheCursor) {
  SetCursorPos(400, 300);
  POINT cursor;
  GetCursorPos(&cursor);
  Notify(WM_RBUTTONUP);
  ctrls::LayeredMenu* menu = tray_->open_menu();
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(menu->IsOpen());
  RECT r;
  GetWindowRect(menu->GetHWND(), &r);
  EXPECT_EQ(r.right, cursor.x);
  EXPECT_EQ(r.bottom, cursor.y);
  EXPECT_EQ(r.right - r.left, 150);
  EXPECT_EQ(r.bottom - r.top, 60);
  ASSERT_EQ(menu->GetList().GetCount(), 2);
  EXPECT_EQ(menu->GetList().GetMenuItem(0)->GetText(), L"打开下载器");
  EXPECT_EQ(menu->GetList().GetMenuItem(1)->GetText(), L"关闭");
  EXPECT_EQ(menu->GetList().GetMenuItem(1)->GetColor(), Upp::Color(0x33, 0x33, 0x33));
  EXPECT_EQ(GetWindow(menu->GetHWND(), GW_OWNER), tray_->tray_icon()->GetNotifyHWND());
  EXPECT_TRUE(GetWindowLongW(menu->GetHWND(), GWL_EXSTYLE) & WS_EX_NOACTIVATE);
}

TEST_F(TrayManagerTest, ASecondRightClickReplacesTheMenuAtTheNewCursor) {
  SetCursorPos(400, 300);
  Notify(WM_RBUTTONUP);
  ctrls::LayeredMenu* first = tray_->open_menu();
  ASSERT_NE(first, nullptr);
  HWND first_hwnd = first->GetHWND();
  SetCursorPos(600, 500);
  POINT cursor;
  GetCursorPos(&cursor);
  Notify(WM_RBUTTONUP);
  EXPECT_FALSE(IsWindow(first_hwnd));
  ASSERT_TRUE(testutil::PumpUntil([&] { return tray_->open_menu() != nullptr; }, 2000));
  ctrls::LayeredMenu* second = tray_->open_menu();
  ASSERT_TRUE(second->IsOpen());
  RECT r;
  GetWindowRect(second->GetHWND(), &r);
  EXPECT_EQ(r.right, cursor.x);
  EXPECT_EQ(r.bottom, cursor.y);
  // Exactly one menu window of this process is visible.
  int visible = 0;
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, nullptr, nullptr)) != nullptr) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    RECT wr;
    GetWindowRect(w, &wr);
    if (pid == GetCurrentProcessId() && IsWindowVisible(w) && wr.right - wr.left == 150 &&
        wr.bottom - wr.top == 60)
      ++visible;
  }
  EXPECT_EQ(visible, 1);
}

TEST_F(TrayManagerTest, LeftClickAndTheFirstItemActivateTheWindows) {
  auto* windows = GetLogicObject<korvan::MainWndManager>();
  const int before = windows->activation_count();
  Notify(WM_LBUTTONDOWN);
  EXPECT_EQ(windows->activation_count(), before);
  Notify(WM_LBUTTONUP);
  EXPECT_EQ(windows->activation_count(), before + 1);
  tray_->OnMenuSelect(0);
  EXPECT_EQ(windows->activation_count(), before + 2);
  tray_->OnMenuSelect(7);
  EXPECT_EQ(windows->activation_count(), before + 2);
}

TEST_F(TrayManagerTest, RemoveTakesTheIconAwayOnceAndClosesTheMenu) {
  Notify(WM_RBUTTONUP);
  HWND menu = tray_->open_menu()->GetHWND();
  tray_->RemoveTray();
  EXPECT_EQ(tray_->tray_icon(), nullptr);
  EXPECT_EQ(tray_->open_menu(), nullptr);
  EXPECT_FALSE(IsWindow(menu));
  EXPECT_EQ(CountOps(NIM_DELETE), 1);
  tray_->RemoveTray();
  tray_->ShowMenu();  // no icon: nothing opens
  EXPECT_EQ(tray_->open_menu(), nullptr);
  testutil::PumpFor(30);
  EXPECT_EQ(CountOps(NIM_DELETE), 1);
}

}  // namespace
