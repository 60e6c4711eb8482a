#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_util.h"
#include "ctrls/shadow_frame_wnd.h"
#include "ctrls/top_window.h"

namespace {

class ShadowedWindow : public ctrls::TopWindow {
 public:
  int image_requests = 0;
  Upp::Image GetShadowImage() override {
    ++image_requests;
    Upp::ImageBuffer b(Upp::Size(16, 16));
    for (int i = 0; i < 256; ++i) b.Pixels()[i] = Upp::RGBA{0, 0, 0, 80};
    Upp::Image img = b.Finish();
    img.SetHotSpot(Upp::Point(6, 6));
    return img;
  }
};

RECT WindowRect(HWND h) {
  RECT r;
  GetWindowRect(h, &r);
  return r;
}

class ShadowTest : public testing::Test {
 protected:
  ShadowTest() {
    style.shadow = true;
    style.wndsize = Upp::Size(160, 90);
    wnd.NoCenter().SetRect(200, 150, 200, 150);
  }
  ~ShadowTest() override {
    if (wnd.IsOpen()) DestroyWindow(wnd.GetHWND());
  }
  ctrls::TopWindow::Style style;
  ShadowedWindow wnd;
};

TEST_F(ShadowTest, CreatedAroundHostAsClickThroughLayeredToolWindow) {
  wnd.SetStyle(style);
  ASSERT_NE(wnd.Create(nullptr), nullptr);
  wnd.Show();
  HWND shadow = wnd.GetShadowHWND();
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(wnd.image_requests, 1);
  const LONG ex = GetWindowLongW(shadow, GWL_EXSTYLE);
  EXPECT_EQ(ex & (WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW),
            WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW);
  EXPECT_TRUE(GetWindowLongW(shadow, GWL_STYLE) & WS_DISABLED);
  EXPECT_EQ(GetWindow(shadow, GW_OWNER), wnd.GetHWND());
  const RECT s = WindowRect(shadow);
  EXPECT_EQ(s.left, 195);
  EXPECT_EQ(s.top, 147);
  EXPECT_EQ(s.right, 365);
  EXPECT_EQ(s.bottom, 247);
  ASSERT_TRUE(testutil::PumpUntil([&] { return IsWindowVisible(shadow) != FALSE; }, 3000));
}

TEST_F(ShadowTest, FollowsMovesAndHidesWithHost) {
  wnd.SetStyle(style);
  ASSERT_NE(wnd.Create(nullptr), nullptr);
  wnd.Show();
  HWND shadow = wnd.GetShadowHWND();
  ASSERT_NE(shadow, nullptr);
  SetWindowPos(wnd.GetHWND(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT s = WindowRect(shadow);
  EXPECT_EQ(s.left, 295);
  EXPECT_EQ(s.top, 197);
  EXPECT_EQ(s.right - s.left, 170);
  ASSERT_TRUE(testutil::PumpUntil([&] { return IsWindowVisible(shadow) != FALSE; }, 3000));
  wnd.Hide();
  ASSERT_TRUE(testutil::PumpUntil([&] { return !IsWindowVisible(shadow); }, 3000));
  wnd.Show();
  ASSERT_TRUE(testutil::PumpUntil([&] { return IsWindowVisible(shadow) != FALSE; }, 3000));
}

TEST_F(ShadowTest, StyleWithoutShadowCreatesNone) {
  style.shadow = false;
  wnd.SetStyle(style);
  ASSERT_NE(wnd.Create(nullptr), nullptr);
  wnd.Show();
  testutil::PumpFor(50);
  EXPECT_EQ(wnd.GetShadowHWND(), nullptr);
  EXPECT_EQ(wnd.image_requests, 0);
}

// The shadow stays above its host (an owned window always does), so only
// the bands around the host may be drawn.
TEST(ShadowFrameTest, FrameLeavesTheHostsRectangleTransparent) {
  Upp::ImageBuffer b(Upp::Size(16, 16));
  for (int i = 0; i < 256; ++i) b.Pixels()[i] = Upp::RGBA{0, 0, 0, 255};
  Upp::Image img = b.Finish();
  img.SetHotSpot(Upp::Point(6, 6));
  Upp::Draw w(Upp::Size(40, 30));  // a 30 x 20 host
  ctrls::ShadowFrameWnd::PaintFrame(w, img);
  EXPECT_EQ(w.At(4, 15).a, 255);   // left band
  EXPECT_EQ(w.At(20, 2).a, 255);   // top band
  EXPECT_EQ(w.At(35, 15).a, 255);  // right band
  EXPECT_EQ(w.At(20, 23).a, 255);  // bottom band
  EXPECT_EQ(w.At(5, 3), Upp::RGBA());  // the host's corners
  EXPECT_EQ(w.At(34, 22), Upp::RGBA());
  EXPECT_EQ(w.At(20, 12), Upp::RGBA());
}

}  // namespace
