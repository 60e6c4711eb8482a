#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_util.h"
#include "ctrls/layered_window.h"
#include "fake_clock.h"
#include "upp/gdi_handles.h"

namespace {

using ctrls::LayeredWindow;
using ctrls_test::FakeClock;
using Upp::Image;
using Upp::Point;
using Upp::Rect;
using Upp::RGBA;
using Upp::Size;

class ColorCtrl : public Upp::Ctrl {
 public:
  explicit ColorCtrl(Upp::Color c) : color_(c) {}
  int paints = 0;
  void Paint(Upp::Draw& w) override {
    ++paints;
    w.DrawRect(GetView(), color_);
  }

 private:
  Upp::Color color_;
};

class TestLayeredWindow : public LayeredWindow {
 public:
  Upp::Image GetShadowImage() override { return Image(); }
};

// A 200x100 background, opaque red except a transparent 10x10 top-left
// corner.
Image CornerBackground() {
  Upp::ImageBuffer b(Size(200, 100));
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) b.Row(y)[x] = (x < 10 && y < 10) ? RGBA() : RGBA{0, 0, 255, 255};
  return b.Finish();
}

COLORREF ScreenPixel(int x, int y) {
  Upp::ScopedWindowDC screen(nullptr);
  return GetPixel(screen.Get(), x, y);
}

class LayeredWindowTest : public testing::Test {
 protected:
  LayeredWindowTest() : green(Upp::Color(0, 255, 0)) {
    wnd.EnableShadow(false);
    wnd.NoCenter().SetRect(100, 100, 300, 200);
    wnd.SetBackgroundImage(CornerBackground());
    green.SetRect(50, 40, 20, 20);
    wnd.Add(green);
    wnd.KeepLastFrame(true);
  }
  ~LayeredWindowTest() override {
    if (wnd.IsOpen()) DestroyWindow(wnd.GetHWND());
  }
  void Open() {
    ASSERT_NE(wnd.Create(nullptr), nullptr);
    wnd.Show();
    ASSERT_TRUE(testutil::PumpUntil([&] { return wnd.GetPushCount() > 0 && !wnd.GetContent().IsUpdatePending(); }, 3000));
  }

  TestLayeredWindow wnd;
  ColorCtrl green;
};

TEST_F(LayeredWindowTest, IsLayeredPopupAndPushesRenderedTree) {
  Open();
  EXPECT_TRUE(GetWindowLongW(wnd.GetHWND(), GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_TRUE(GetWindowLongW(wnd.GetHWND(), GWL_STYLE) & WS_POPUP);
  const Image& frame = wnd.GetLastFrame();
  ASSERT_EQ(frame.GetSize(), Size(200, 100));
  EXPECT_EQ(wnd.GetLastFrameRect(), Rect(100, 100, 300, 200));
  EXPECT_EQ(frame.At(60, 50), (RGBA{0, 255, 0, 255}));
  EXPECT_EQ(frame.At(150, 80), (RGBA{0, 0, 255, 255}));
  EXPECT_EQ(frame.At(2, 2).a, 0);
}

TEST_F(LayeredWindowTest, ScreenShowsFrameAndTransparentCorner) {
  // Something known below the corner: a black window.
  HWND under = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 80, 80, 60, 60, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(under, nullptr);
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  {
    Upp::ScopedWindowDC dc(under);
    RECT r = {0, 0, 60, 60};
    FillRect(dc.Get(), &r, black);
  }
  Open();
  SetWindowPos(wnd.GetHWND(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  testutil::PumpFor(200);
  EXPECT_EQ(ScreenPixel(250, 180), RGB(255, 0, 0));  // the red body
  EXPECT_EQ(ScreenPixel(160, 150), RGB(0, 255, 0));  // the green child
  const COLORREF corner = ScreenPixel(103, 103);
  EXPECT_NE(corner, RGB(255, 0, 0));  // see-through, not the window's red
  DestroyWindow(under);
}

TEST_F(LayeredWindowTest, RefreshesTenMsApartGiveOnePushNowOneLater) {
  Open();
  FakeClock clock;
  clock.Advance(1000);
  const int base = wnd.GetPushCount();
  wnd.GetContent().Refresh();
  EXPECT_EQ(wnd.GetPushCount(), base + 1);
  clock.Advance(10);
  green.Refresh();  // a child's refresh reaches the content control
  EXPECT_EQ(wnd.GetPushCount(), base + 1);
  EXPECT_TRUE(wnd.GetContent().IsUpdatePending());
  ASSERT_TRUE(testutil::PumpUntil([&] { return wnd.GetPushCount() == base + 2; }, 3000));
  testutil::PumpFor(100);
  EXPECT_EQ(wnd.GetPushCount(), base + 2);
}

TEST_F(LayeredWindowTest, ZoomPushesCachedSnapshotAtEvenCentredRect) {
  Open();
  FakeClock clock;
  const int paints = green.paints;
  wnd.GetContent().SetZoom(1.03);  // 206 x 103 -> 206 x 104
  clock.Advance(1000);
  wnd.UpdateScreenNow();
  EXPECT_EQ(wnd.GetLastFrameRect(), Rect(97, 98, 303, 202));
  EXPECT_EQ(wnd.GetLastFrame().GetSize(), Size(206, 104));
  RECT wr;
  GetWindowRect(wnd.GetHWND(), &wr);
  EXPECT_EQ(wr.left, 97);
  EXPECT_EQ(wr.right - wr.left, 206);
  EXPECT_EQ(wnd.GetContent().GetSize(), Size(200, 100));  // the tree keeps its size
  wnd.GetContent().SetZoom(0.97);
  wnd.UpdateScreenNow();
  EXPECT_EQ(green.paints, paints + 1);  // one snapshot for both zoom frames
  EXPECT_EQ(wnd.GetLastFrame().GetSize(), Size(194, 98));
  wnd.GetContent().SetZoom(1.0);
  wnd.UpdateScreenNow();
  EXPECT_EQ(wnd.GetLastFrameRect(), Rect(100, 100, 300, 200));
  GetWindowRect(wnd.GetHWND(), &wr);
  EXPECT_EQ(wr.left, 100);
  EXPECT_EQ(wr.bottom - wr.top, 100);
}

TEST_F(LayeredWindowTest, ConstantAlphaIsPushedWithTheFrame) {
  // Xvfb has no compositor, so partial alpha cannot be read back from the
  // screen; the push itself is checked.
  Open();
  wnd.SetAlpha(77);
  wnd.UpdateScreenNow();
  EXPECT_EQ(wnd.GetLastPushAlpha(), 77);
  wnd.SetAlpha(300);
  wnd.UpdateScreenNow();
  EXPECT_EQ(wnd.GetLastPushAlpha(), 255);
}

TEST_F(LayeredWindowTest, AddedControlsSitBelowTheSystemBox) {
  const auto& children = wnd.GetContent().GetChildren();
  ASSERT_FALSE(children.empty());
  EXPECT_EQ(children.back(), &wnd.GetSystemBox());
  EXPECT_EQ(wnd.GetTopCtrl().GetChildCount(), 1);
}

}  // namespace
