#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "common/test_images.h"
#include "common/test_util.h"
#include "ctrls/alpha_draw.h"
#include "ctrls/top_window.h"
#include "upp/timer_queue.h"

namespace {

using ctrls::TopWindow;
using Upp::Image;
using Upp::Point;
using Upp::RGBA;
using Upp::Size;

using testutil::Solid;

// Records drags instead of starting the system's move loop, which would
// wait for a real mouse release.
class DragWindow : public TopWindow {
 public:
  int drags = 0;
  int presses = 0;
  int after_destroy = 0;
  Upp::Image GetShadowImage() override { return Image(); }
  void OnLeftPress(Point) override { ++presses; }
  void OnAfterDestroy() override { ++after_destroy; }

 protected:
  void BeginSystemDrag() override { ++drags; }
};

class Pressed : public Upp::Ctrl {
 public:
  int downs = 0;
  void LeftDown(Point, uint32_t) override { ++downs; }
};

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

class TopWindowTest : public testing::Test {
 protected:
  TopWindowTest() {
    style.dragtop = 20;
    style.wndcolorbg = Upp::Color(10, 20, 30);
    style.wndsize = Size(200, 120);
    wnd.EnableShadow(false);
    wnd.NoCenter();
    wnd.SetRect(40, 50, 40, 50);
  }
  ~TopWindowTest() override {
    if (wnd.IsOpen()) DestroyWindow(wnd.GetHWND());
  }
  void Open() {
    wnd.SetStyle(style);
    ASSERT_NE(wnd.Create(nullptr), nullptr);
    wnd.Show();
  }
  void Press(int x, int y) {
    SendMessageW(wnd.GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
    SendMessageW(wnd.GetHWND(), WM_LBUTTONUP, 0, At(x, y));
  }

  TopWindow::Style style;
  DragWindow wnd;
};

TEST_F(TopWindowTest, CreatesPopupFromTemplateAtStyleSize) {
  Open();
  ASSERT_TRUE(wnd.IsOpen());
  EXPECT_TRUE(wnd.IsShown());
  const LONG st = GetWindowLongW(wnd.GetHWND(), GWL_STYLE);
  EXPECT_TRUE(st & WS_POPUP);
  EXPECT_FALSE(st & WS_CAPTION);
  RECT r;
  GetWindowRect(wnd.GetHWND(), &r);
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 120);
  EXPECT_EQ(wnd.GetTopCtrl().GetSize(), Size(200, 120));
}

TEST_F(TopWindowTest, PaintsStyleBackgroundColour) {
  Open();
  ctrls::AlphaDraw target(200, 120);
  SendMessageW(wnd.GetHWND(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target.GetHDC()), PRF_CLIENT);
  GdiFlush();
  const RGBA p = target.At(100, 60);
  EXPECT_EQ(p.r, 10);
  EXPECT_EQ(p.g, 20);
  EXPECT_EQ(p.b, 30);
}

TEST_F(TopWindowTest, DragStripIncludesRowDragtopOnly) {
  Open();
  Press(50, 20);
  EXPECT_EQ(wnd.drags, 1);
  Press(50, 21);
  EXPECT_EQ(wnd.drags, 1);
  Press(50, 0);
  EXPECT_EQ(wnd.drags, 2);
  EXPECT_EQ(wnd.presses, 3);
  EXPECT_TRUE(wnd.InDragStrip(Point(0, 20)));
  EXPECT_FALSE(wnd.InDragStrip(Point(0, 21)));
}

TEST_F(TopWindowTest, NoDragStripWhenDragtopIsZero) {
  style.dragtop = 0;
  Open();
  Press(50, 0);
  EXPECT_EQ(wnd.drags, 0);
  EXPECT_FALSE(wnd.InDragStrip(Point(0, 0)));
}

TEST_F(TopWindowTest, PressOnControlInStripGoesToControlNotDrag) {
  Pressed child;
  child.SetRect(10, 5, 30, 10);
  wnd.Add(child);
  Open();
  Press(15, 8);
  EXPECT_EQ(child.downs, 1);
  EXPECT_EQ(wnd.drags, 0);
  Press(100, 8);  // beside it: the strip
  EXPECT_EQ(child.downs, 1);
  EXPECT_EQ(wnd.drags, 1);
}

TEST_F(TopWindowTest, RealDragStartsSystemMoveOnlyInStrip) {
  // The real drag posts the caption press; what the system does with it is
  // its business, so only the posted message is checked.
  class PostWindow : public TopWindow {
   public:
    Upp::Image GetShadowImage() override { return Image(); }
  } w;
  w.EnableShadow(false);
  w.NoCenter().SetRect(10, 10, 10, 10);
  w.SetStyle(style);
  ASSERT_NE(w.Create(nullptr), nullptr);
  MSG m;
  while (PeekMessageW(&m, w.GetHWND(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE)) {}
  SendMessageW(w.GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 21));
  EXPECT_FALSE(PeekMessageW(&m, w.GetHWND(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
  SendMessageW(w.GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 20));
  ASSERT_TRUE(PeekMessageW(&m, w.GetHWND(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
  EXPECT_EQ(m.wParam, static_cast<WPARAM>(HTCAPTION));
  DestroyWindow(w.GetHWND());
}

TEST_F(TopWindowTest, EscClosesAndRunsCloseCallbackThenAfterDestroyHook) {
  int closes = 0;
  wnd.WhenClose = [&] { ++closes; };
  Open();
  MSG esc = {wnd.GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0};
  EXPECT_TRUE(IsDialogMessageW(wnd.GetHWND(), &esc));
  EXPECT_FALSE(wnd.IsOpen());
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(wnd.after_destroy, 0);  // queued, not called from inside the close
  ASSERT_TRUE(testutil::PumpUntil([&] { return wnd.after_destroy == 1; }, 3000));
}

TEST_F(TopWindowTest, NoCloseIgnoresSystemCloseAndEsc) {
  wnd.NoClose();
  Open();
  SendMessageW(wnd.GetHWND(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(wnd.IsOpen());
  MSG esc = {wnd.GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0};
  IsDialogMessageW(wnd.GetHWND(), &esc);
  EXPECT_TRUE(wnd.IsOpen());
}

TEST_F(TopWindowTest, SystemCloseClosesWithoutFlag) {
  Open();
  SendMessageW(wnd.GetHWND(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(wnd.IsOpen());
}

TEST_F(TopWindowTest, CanBeCreatedAgainAfterClose) {
  Open();
  wnd.Close();
  ASSERT_FALSE(wnd.IsOpen());
  ASSERT_NE(wnd.Create(nullptr), nullptr);
  EXPECT_TRUE(wnd.IsOpen());
}

TEST_F(TopWindowTest, CloseCallbackMayDeleteTheWindow) {
  auto owned = std::make_unique<DragWindow>();
  owned->EnableShadow(false);
  owned->SetStyle(style);
  ASSERT_NE(owned->Create(nullptr), nullptr);
  const HWND hwnd = owned->GetHWND();
  owned->WhenClose = [&] { owned.reset(); };
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(owned, nullptr);
  EXPECT_FALSE(IsWindow(hwnd));
  testutil::PumpFor(50);  // no late after-destroy call reaches the dead object
}

TEST_F(TopWindowTest, SystemBoxCloseButtonIsPlacedFromRightAndCloses) {
  style.posx = Point(10, 60);  // 10 from the right, 60 wide
  style.posy = Point(4, 20);
  style.closebox.look[0] = Solid(Size(4, 4), RGBA{0, 0, 200, 255});
  style.closebox.posx = Point(0, 20);
  style.closebox.posy = Point(0, 20);
  Open();
  const Upp::Rect box = wnd.GetSystemBox().GetRect();
  EXPECT_EQ(box, Upp::Rect(130, 4, 190, 24));
  const Upp::Rect close = wnd.GetSystemBox().CloseButton().GetRootRect();
  EXPECT_EQ(close, Upp::Rect(170, 4, 190, 24));
  SendMessageW(wnd.GetHWND(), WM_MOUSEMOVE, 0, At(180, 10));
  Press(180, 10);
  EXPECT_FALSE(wnd.IsOpen());
  EXPECT_EQ(wnd.drags, 0);  // the button took the press, though it lies in the strip
}

TEST_F(TopWindowTest, MouseActivateHonoursNoActivate) {
  wnd.NoActivate();
  Open();
  EXPECT_EQ(SendMessageW(wnd.GetHWND(), WM_MOUSEACTIVATE, 0, 0), MA_NOACTIVATE);
  EXPECT_TRUE(GetWindowLongW(wnd.GetHWND(), GWL_EXSTYLE) & WS_EX_NOACTIVATE);
}

TEST(TopWindowCenterTest, CentresOnWorkAreaAndClampsInside) {
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const RECT r = TopWindow::CenteredRect(SIZE{200, 100}, nullptr, work);
  EXPECT_EQ(r.left, work.left + (work.right - work.left - 200) / 2);
  EXPECT_EQ(r.top, work.top + (work.bottom - work.top - 100) / 2);
  const RECT big = TopWindow::CenteredRect(SIZE{5000, 5000}, nullptr, work);
  EXPECT_EQ(big.left, work.left);
  EXPECT_EQ(big.top, work.top);
}

TEST(TopWindowCenterTest, CentresOnVisibleOwner) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  RECT none = {0, 0, 0, 0};
  const RECT r = TopWindow::CenteredRect(SIZE{200, 100}, owner, none);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 200);
  ShowWindow(owner, SW_HIDE);
  const RECT hidden = TopWindow::CenteredRect(SIZE{200, 100}, owner, none);
  EXPECT_NE(hidden.left, 200);  // a hidden owner is not a reference
  DestroyWindow(owner);
}

}  // namespace
