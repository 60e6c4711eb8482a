// Keys and presses the way the running program gets them: Esc through the
// program's own message loop (never IsDialogMessage called by the test),
// and a press whose mouse capture another window takes away.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "base/message_loop.h"
#include "common/test_images.h"
#include "common/test_util.h"
#include "ctrls/button.h"
#include "ctrls/layered_menu.h"
#include "ctrls/scroll_bar.h"
#include "ctrls/top_window.h"

namespace {

using ctrls::Button;
using ctrls::ScrollBar;
using ctrls::TopWindow;
using Upp::Size;

std::function<bool()> g_done;

void CALLBACK CheckDone(HWND, UINT, UINT_PTR, DWORD) {
  if (g_done && g_done()) PostQuitMessage(0);
}

class NoShadowWindow : public TopWindow {
 public:
  Upp::Image GetShadowImage() override { return Upp::Image(); }
};

class NoShadowMenu : public ctrls::LayeredMenu {
 public:
  Upp::Image GetShadowImage() override { return Upp::Image(); }
};

// The program's loop is registered before any window exists, as the run
// step does, and runs until `done` holds or the time is up.
class InputTest : public testing::Test {
 protected:
  void SetUp() override { base::AppModule::Get().AddMessageLoop(&loop_); }
  void TearDown() override {
    base::AppModule::Get().RemoveMessageLoop();
    g_done = nullptr;
  }
  bool RunLoopUntil(std::function<bool()> done, DWORD timeout_ms = 5000) {
    const DWORD start = GetTickCount();
    g_done = [done, start, timeout_ms] { return done() || GetTickCount() - start > timeout_ms; };
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, &CheckDone);
    loop_.Run();
    KillTimer(nullptr, timer);
    return done();
  }
  static void PostEsc(HWND to) {
    PostMessageW(to, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(to, WM_KEYUP, VK_ESCAPE, 0xC0010001);
  }
  void OpenWindow(NoShadowWindow& w) {
    style_.wndcolorbg = Upp::Color(30, 30, 30);
    style_.wndsize = Size(200, 150);
    w.EnableShadow(false);
    w.NoCenter().SetRect(60, 60, 60, 60);
    w.SetStyle(style_);
    ASSERT_NE(w.Create(nullptr), nullptr);
    w.Show();
  }

  base::MessageLoop loop_;
  TopWindow::Style style_;
};

TEST_F(InputTest, EscThroughTheLoopClosesATopWindowButNotANoCloseOne) {
  NoShadowWindow guarded;
  guarded.NoClose();
  OpenWindow(guarded);
  PostEsc(guarded.GetHWND());
  RunLoopUntil([] { return false; }, 500);  // the key needs a few milliseconds
  EXPECT_TRUE(guarded.IsOpen());
  DestroyWindow(guarded.GetHWND());

  NoShadowWindow wnd;
  int closes = 0;
  wnd.WhenClose = [&] { ++closes; };
  OpenWindow(wnd);
  PostEsc(wnd.GetHWND());
  EXPECT_TRUE(RunLoopUntil([&] { return !wnd.IsOpen(); }));
  EXPECT_EQ(closes, 1);
}

TEST_F(InputTest, EscThroughTheLoopDismissesTheMenuWithoutChoosing) {
  NoShadowMenu menu;
  menu.AddItem(L"Open", Upp::Color(0, 0, 0)).AddItem(L"Exit", Upp::Color(0, 0, 0));
  int chosen = -1;
  menu.WhenSelect = [&](int i) { chosen = i; };
  menu.Popup(nullptr, RECT{40, 40, 160, 102});
  ASSERT_TRUE(menu.IsShown());
  PostEsc(menu.GetHWND());
  EXPECT_TRUE(RunLoopUntil([&] { return !menu.IsShown(); }));
  EXPECT_EQ(chosen, -1);
  EXPECT_TRUE(menu.IsOpen());  // hidden for the next popup, not destroyed
  menu.Popup(nullptr, RECT{40, 40, 160, 102});
  EXPECT_TRUE(menu.IsShown());
  DestroyWindow(menu.GetHWND());
}

// A message box or Alt+Tab takes the capture mid-press: no release comes,
// so the button must stop looking pressed and follow the mouse again, and a
// held track press of the scroll bar must end.
TEST_F(InputTest, LostCaptureEndsTheButtonAndScrollBarPress) {
  Button::Style looks;
  NoShadowWindow wnd;
  Button button;
  looks.look[0] = testutil::Solid(Size(4, 4), Upp::RGBA{10, 10, 10, 255});
  button.SetStyle(looks).NoAnimate();
  button.SetRect(10, 40, 60, 30);
  int clicks = 0;
  button.WhenAction = [&] { ++clicks; };
  ScrollBar bar;
  bar.SetRect(170, 20, 16, 120);
  bar.Set(10, 100, 0);
  wnd.Add(button).Add(bar);
  OpenWindow(wnd);
  const HWND hwnd = wnd.GetHWND();

  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(30, 50));
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 50));
  ASSERT_EQ(button.GetState(), Button::kPressed);
  ASSERT_EQ(GetCapture(), hwnd);
  HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 400, 400, 20, 20, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetCapture(other);  // the system tells the window through WM_CAPTURECHANGED
  EXPECT_EQ(button.GetState(), Button::kHot);  // the mouse is still over it
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(120, 120));
  EXPECT_EQ(button.GetState(), Button::kNormal);
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(30, 50));
  EXPECT_EQ(button.GetState(), Button::kHot);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(30, 50));
  EXPECT_EQ(clicks, 0);  // a release after the loss is no click
  ReleaseCapture();
  DestroyWindow(other);

  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(175, 120));
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(175, 120));
  ASSERT_EQ(bar.GetPressedPart(), ScrollBar::kAfter);
  const int pos = bar.GetPos();
  SendMessageW(hwnd, WM_CANCELMODE, 0, 0);  // what a message box sends first
  EXPECT_EQ(bar.GetPressedPart(), ScrollBar::kNone);
  EXPECT_EQ(bar.GetHotPart(), ScrollBar::kNone);
  EXPECT_NE(GetCapture(), hwnd);
  testutil::PumpFor(700);  // past the repeat delay: the press does not page on
  EXPECT_EQ(bar.GetPos(), pos);
  DestroyWindow(hwnd);
}

}  // namespace
