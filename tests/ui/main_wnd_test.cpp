// The real main and middle windows in this process, created by their
// manager from the registry with the shipped skin.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/main_wnd_manager.h"
#include "app/ui/main_wnd.h"
#include "app/ui/middle_wnd.h"
#include "base/controller.h"
#include "common/test_util.h"
#include "ui_test_env.h"
#include "upp/timer_queue.h"

namespace {

using korvan::MainWnd;
using korvan::MainWndManager;
using korvan::MiddleWnd;

RECT WindowRect(HWND hwnd) {
  RECT r = {};
  GetWindowRect(hwnd, &r);
  return r;
}

class MainWindowTest : public uitest::SkinnedTest {
 protected:
  void SetUp() override {
    uitest::SkinnedTest::SetUp();
    manager_ = GetLogicObject<MainWndManager>();
    ASSERT_TRUE(manager_->CreateWindows());
    main_ = manager_->GetMainWindowHandle();
    middle_ = manager_->GetMiddleWindowHandle();
    ASSERT_NE(main_, nullptr);
    ASSERT_NE(middle_, nullptr);
  }
  void TearDown() override {
    Upp::KillTimeCallback(manager_);
    uitest::SkinnedTest::TearDown();
  }
  void ExpectGlued() {
    const RECT m = WindowRect(main_), d = WindowRect(middle_);
    EXPECT_EQ(d.left, m.left + 57);
    EXPECT_EQ(d.top, m.top + 112);
    EXPECT_EQ(d.right - d.left, 580);
    EXPECT_EQ(d.bottom - d.top, 206);
  }
  bool BothHidden() { return !IsWindowVisible(main_) && !IsWindowVisible(middle_); }
  bool BothShown() { return IsWindowVisible(main_) && IsWindowVisible(middle_); }

  MainWndManager* manager_ = nullptr;
  HWND main_ = nullptr;
  HWND middle_ = nullptr;
};

TEST_F(MainWindowTest, CreatesTheLayeredMainWindowAndTheGluedMiddleWindow) {
  const RECT m = WindowRect(main_);
  EXPECT_EQ(m.right - m.left, 685);
  EXPECT_EQ(m.bottom - m.top, 494);
  EXPECT_TRUE(GetWindowLongW(main_, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_EQ(GetWindowLongW(main_, GWL_STYLE) & (WS_MINIMIZEBOX | WS_SYSMENU), WS_MINIMIZEBOX | WS_SYSMENU);
  EXPECT_FALSE(GetWindowLongW(middle_, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_EQ(GetWindow(middle_, GW_OWNER), main_);
  EXPECT_TRUE(BothShown());
  ExpectGlued();
  wchar_t title[64] = L"";
  GetWindowTextW(main_, title, 64);
  EXPECT_STREQ(title, L"Korvan");
  EXPECT_NE(SendMessageW(main_, WM_GETICON, ICON_BIG, 0), 0);
  // The same windows on a second call.
  ASSERT_TRUE(manager_->CreateWindows());
  EXPECT_EQ(manager_->GetMainWindowHandle(), main_);
  EXPECT_EQ(manager_->GetMiddleWindowHandle(), middle_);
}

// The page area is taller than the middle window: the loading spinner and
// its line must still lie inside what the window shows.
TEST_F(MainWindowTest, TheLoadingPictureLiesInsideTheMiddleWindow) {
  MiddleWnd* wnd = GetUIObject<MiddleWnd>();
  ASSERT_NE(wnd, nullptr);
  const RECT d = WindowRect(middle_);
  const Upp::Rect window(0, 0, d.right - d.left, d.bottom - d.top);
  korvan::IELoading& loading = wnd->web_page().GetLoading();
  for (const Upp::Ctrl* part : {static_cast<const Upp::Ctrl*>(&loading.Spinner()),
                                static_cast<const Upp::Ctrl*>(&loading.Text())}) {
    const Upp::Rect r = part->GetRootRect();
    EXPECT_GE(r.left, window.left);
    EXPECT_GE(r.top, window.top);
    EXPECT_LE(r.right, window.right);
    EXPECT_LE(r.bottom, window.bottom);
  }
  // Centred across the window, the spinner above the middle.
  const Upp::Rect spinner = loading.Spinner().GetRootRect();
  EXPECT_EQ(spinner.left + spinner.right, window.right);
  EXPECT_EQ(spinner.top + 52, window.bottom / 2 - 40);
}

TEST_F(MainWindowTest, TheFramePushedToTheScreenIsTheSkin) {
  MainWnd* wnd = GetUIObject<MainWnd>();
  wnd->KeepLastFrame(true);
  wnd->UpdateScreenNow();
  const Upp::Image& frame = wnd->GetLastFrame();
  ASSERT_EQ(frame.GetSize(), Upp::Size(685, 494));
  const Upp::Image& bg = wnd->GetStyle().wndbg;
  ASSERT_EQ(bg.GetSize(), Upp::Size(685, 494));
  // Bare background: the left border and the strip between the logos.
  for (Upp::Point p : {Upp::Point(3, 250), Upp::Point(20, 140), Upp::Point(340, 480), Upp::Point(120, 30)})
    EXPECT_EQ(frame.At(p.x, p.y), bg.At(p.x, p.y)) << p.x << "," << p.y;
  // The start button of state 1 is not there in state 0; the close button is.
  const Upp::Image& close = wnd->GetSystemBox().CloseButton().GetStyle().look[0];
  ASSERT_FALSE(close.IsEmpty());
  const int cx = 685 - 18 - 24, cy = 47;
  int same = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) same += frame.At(cx + x, cy + y) == close.At(x, y) && close.At(x, y).a == 255;
  EXPECT_GT(same, 20);
}

TEST_F(MainWindowTest, MovingTheMainWindowTakesTheMiddleWindowAlong) {
  SetWindowPos(main_, nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(WindowRect(middle_).left, 157);
  EXPECT_EQ(WindowRect(middle_).top, 192);
  ExpectGlued();
  SetWindowPos(main_, nullptr, 300, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(WindowRect(middle_).left, 357);
  EXPECT_EQ(WindowRect(middle_).top, 122);
  ExpectGlued();
}

TEST_F(MainWindowTest, CloseButtonEscAndSystemCloseHideBothAndActivateBringsThemBackInPlace) {
  SetWindowPos(main_, nullptr, 111, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const RECT before_main = WindowRect(main_), before_middle = WindowRect(middle_);
  // A real press and release on the close button (client coordinates).
  const LPARAM at = MAKELPARAM(685 - 18 - 12, 47 + 12);
  SendMessageW(main_, WM_MOUSEMOVE, 0, at);
  SendMessageW(main_, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(main_, WM_LBUTTONUP, 0, at);
  ASSERT_TRUE(testutil::PumpUntil([&] { return BothHidden(); }, 3000));
  EXPECT_TRUE(IsWindow(main_));  // hidden, not destroyed
  manager_->Activate();
  EXPECT_TRUE(BothShown());
  const RECT after_main = WindowRect(main_), after_middle = WindowRect(middle_);
  EXPECT_TRUE(EqualRect(&before_main, &after_main));
  EXPECT_TRUE(EqualRect(&before_middle, &after_middle));

  SendMessageW(main_, WM_COMMAND, IDCANCEL, 0);  // Esc
  ASSERT_TRUE(testutil::PumpUntil([&] { return BothHidden(); }, 3000));
  manager_->Activate();
  EXPECT_TRUE(BothShown());
  SendMessageW(main_, WM_CLOSE, 0, 0);
  ASSERT_TRUE(testutil::PumpUntil([&] { return BothHidden(); }, 3000));
  manager_->Activate();
  EXPECT_TRUE(BothShown());
  // The middle window ignores the system's close.
  SendMessageW(middle_, WM_CLOSE, 0, 0);
  testutil::PumpFor(50);
  EXPECT_TRUE(IsWindow(middle_));
  EXPECT_TRUE(IsWindowVisible(middle_));
}

TEST_F(MainWindowTest, ActivateRestoresAMinimisedWindowWithoutLeavingItTopmost) {
  ShowWindow(main_, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(main_));
  const int before = manager_->activation_count();
  manager_->Activate();
  EXPECT_FALSE(IsIconic(main_));
  EXPECT_TRUE(BothShown());
  EXPECT_FALSE(GetWindowLongW(main_, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(manager_->activation_count(), before + 1);
}

TEST_F(MainWindowTest, ShowMainWindowSchedulesTheDownloadSetUpAtOnce) {
  manager_->ShowMainWindow();
  EXPECT_TRUE(Upp::ExistsTimeCallback(manager_));
  Upp::KillTimeCallback(manager_);  // no engine archives in this program
  EXPECT_TRUE(BothShown());
}

// Reads the message box this thread opens and presses OK: a CBT hook sees
// the box activate inside MessageBoxW's own loop. A thread timer closes
// any box the hook missed, so a failure cannot hang the test.
struct SeenBox {
  bool seen = false;
  std::wstring caption, text;
  HWND owner = nullptr;
};
SeenBox g_box;
HHOOK g_hook = nullptr;

LRESULT CALLBACK OnCbt(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    wchar_t buf[256] = L"";
    GetClassNameW(box, buf, 256);
    if (std::wstring(buf) == L"#32770" && !g_box.seen) {
      g_box.seen = true;
      GetWindowTextW(box, buf, 256);
      g_box.caption = buf;
      GetDlgItemTextW(box, 0xFFFF, buf, 256);
      g_box.text = buf;
      g_box.owner = GetWindow(box, GW_OWNER);
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(g_hook, code, wparam, lparam);
}

BOOL CALLBACK CloseBox(HWND w, LPARAM) {
  wchar_t cls[16] = L"";
  GetClassNameW(w, cls, 16);
  if (std::wstring(cls) == L"#32770") PostMessageW(w, WM_COMMAND, IDOK, 0);
  return TRUE;
}

void CALLBACK OnSafetyTimer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), &CloseBox, 0); }

SeenBox ShowAndRead(MainWndManager* manager, const std::wstring& text, const std::wstring& caption) {
  g_box = SeenBox();
  g_hook = SetWindowsHookExW(WH_CBT, &OnCbt, nullptr, GetCurrentThreadId());
  const UINT_PTR safety = SetTimer(nullptr, 0, 60000, &OnSafetyTimer);
  manager->ShowMessage(text, caption);
  KillTimer(nullptr, safety);
  UnhookWindowsHookEx(g_hook);
  return g_box;
}

TEST_F(MainWindowTest, MessageWithoutCaptionShowsTheSkinCaptionOwnedByTheMainWindow) {
  SeenBox box = ShowAndRead(manager_, L"下载模块加载失败", L"");
  ASSERT_TRUE(box.seen);
  EXPECT_EQ(box.caption, L"Korvan");
  EXPECT_EQ(box.text, L"下载模块加载失败");
  EXPECT_EQ(box.owner, main_);
  box = ShowAndRead(manager_, L"请尝试手动运行游戏安装程序KorvanInstall.exe", L"安装包启动失败");
  ASSERT_TRUE(box.seen);
  EXPECT_EQ(box.caption, L"安装包启动失败");
}

TEST_F(MainWindowTest, WithoutWindowsTheOperationsDoNothing) {
  // A fresh controller has no windows.
  testutil::TestController other;
  base::SetController(&other);
  MainWndManager* fresh = GetLogicObject<MainWndManager>();
  EXPECT_EQ(fresh->GetMainWindowHandle(), nullptr);
  fresh->Activate();
  fresh->FollowMainWindow();
  fresh->HideWindows();
  testutil::PumpFor(30);
  EXPECT_FALSE(HasUIObject(base::TypeKey<MainWnd>()));
  EXPECT_FALSE(HasUIObject(base::TypeKey<MiddleWnd>()));
  base::SetController(&controller_);
}

}  // namespace
