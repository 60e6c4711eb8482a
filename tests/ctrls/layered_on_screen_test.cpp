// Layered windows and their shadow as the X server shows them: the screen
// is read back with ImageMagick's import and the window is dragged with
// xdotool.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_util.h"
#include "ctrls/layered_window.h"
#include "ctrls/shadow_frame_wnd.h"
#include "screen_tools.h"

namespace {

using screen_test::IsRgb;
using Upp::Image;
using Upp::RGBA;
using Upp::Size;

// A plain window of one colour, for something known below a layered one.
class Backdrop : public ctrls::TopWindow {
 public:
  Backdrop(int left, int top, int right, int bottom, Upp::Color color) {
    EnableShadow(false);
    NoCenter().NoActivate();
    SetRect(left, top, right, bottom);
    SetBackgroundColor(color);
  }
  Image GetShadowImage() override { return Image(); }
};

// Opaque black all over: without a compositor the X server shows partial
// alpha unblended, so the test's shadow is opaque to be readable.
Image SolidShadow() {
  Upp::ImageBuffer b(Size(16, 16));
  for (int i = 0; i < 256; ++i) b.Pixels()[i] = RGBA{0, 0, 0, 255};
  Image img = b.Finish();
  img.SetHotSpot(Upp::Point(6, 6));
  return img;
}

class ShadowedWindow : public ctrls::LayeredWindow {
 public:
  Image shadow;
  Image GetShadowImage() override { return shadow; }
};

class LayeredOnScreenTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = screen_test::MissingScreenTools();
    if (!missing.empty()) GTEST_SKIP() << missing;
    ASSERT_TRUE(screen_test::ParkPointer());
  }
  void TearDown() override { screen_test::ParkPointer(); }
};

TEST_F(LayeredOnScreenTest, TransparentCornerShowsTheWindowBelow) {
  Backdrop below(100, 100, 400, 300, Upp::Color(0, 0, 255));
  ASSERT_NE(below.Create(nullptr), nullptr);
  below.Show();
  // Opaque red with a transparent 20 x 20 top-left corner.
  Upp::ImageBuffer b(Size(200, 120));
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 200; ++x) b.Row(y)[x] = (x < 20 && y < 20) ? RGBA() : RGBA{0, 0, 255, 255};
  ShadowedWindow wnd;
  wnd.EnableShadow(false);
  wnd.NoCenter().SetRect(150, 150, 350, 270);
  wnd.SetBackgroundImage(b.Finish());
  ASSERT_NE(wnd.Create(nullptr), nullptr);
  wnd.Show();
  SetWindowPos(wnd.GetHWND(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  const Image shot = screen_test::GrabScreenUntil(
      [](const Image& s) { return IsRgb(s.At(250, 200), 255, 0, 0) && IsRgb(s.At(120, 120), 0, 0, 255); });
  ASSERT_FALSE(shot.IsEmpty());
  EXPECT_TRUE(IsRgb(shot.At(250, 200), 255, 0, 0));  // the window's body
  EXPECT_TRUE(IsRgb(shot.At(155, 155), 0, 0, 255));  // its corner: the blue window below
  EXPECT_TRUE(IsRgb(shot.At(169, 169), 0, 0, 255));
  EXPECT_TRUE(IsRgb(shot.At(171, 171), 255, 0, 0));
}

// The shadow lies around its host, never over it, follows a real drag and
// hides with its host.
TEST_F(LayeredOnScreenTest, ShadowFollowsADragAndHidesWithItsHost) {
  Backdrop desk(0, 300, 700, 768, Upp::Color(255, 255, 255));
  ASSERT_NE(desk.Create(nullptr), nullptr);
  desk.Show();
  ShadowedWindow wnd;
  wnd.shadow = SolidShadow();
  ctrls::TopWindow::Style style;
  style.shadow = true;
  style.dragtop = 30;
  wnd.SetStyle(style);
  wnd.NoCenter().SetRect(200, 400, 400, 500);
  wnd.SetBackgroundColor(Upp::Color(0, 160, 0));
  ASSERT_NE(wnd.Create(nullptr), nullptr);
  wnd.Show();
  ASSERT_NE(wnd.GetShadowHWND(), nullptr);

  using ctrls::ShadowFrameWnd;
  // A pixel in each band of the shadow, and the host's middle, for a host
  // whose top-left corner is at (x, y).
  auto left_band = [](int x, int y) { return Upp::Point(x - ShadowFrameWnd::kLeft + 1, y + 50); };
  auto bottom_band = [](int x, int y) { return Upp::Point(x + 100, y + 100 + ShadowFrameWnd::kBottom - 1); };
  auto middle = [](int x, int y) { return Upp::Point(x + 100, y + 50); };
  auto at = [](const Image& s, Upp::Point p) { return s.At(p.x, p.y); };

  Image shot = screen_test::GrabScreenUntil([&](const Image& s) {
    return IsRgb(at(s, left_band(200, 400)), 0, 0, 0) && IsRgb(at(s, middle(200, 400)), 0, 160, 0);
  });
  ASSERT_FALSE(shot.IsEmpty());
  EXPECT_TRUE(IsRgb(at(shot, left_band(200, 400)), 0, 0, 0));
  EXPECT_TRUE(IsRgb(at(shot, bottom_band(200, 400)), 0, 0, 0));
  EXPECT_TRUE(IsRgb(at(shot, middle(200, 400)), 0, 160, 0)) << "the shadow covers its host";
  EXPECT_TRUE(IsRgb(shot.At(200 - ShadowFrameWnd::kLeft - 2, 450), 255, 255, 255));

  // Drag the host by its strip 60 pixels right and 40 down.
  ASSERT_TRUE(screen_test::Xdotool("mousemove 300 410 sleep 0.2 mousedown 1 sleep 0.2 mousemove 330 430 "
                                   "sleep 0.2 mousemove 360 450 sleep 0.2 mouseup 1"));
  ASSERT_TRUE(testutil::PumpUntil(
      [&] {
        RECT r;
        GetWindowRect(wnd.GetHWND(), &r);
        return r.left == 260 && r.top == 440;
      },
      5000));
  shot = screen_test::GrabScreenUntil([&](const Image& s) {
    return IsRgb(at(s, left_band(260, 440)), 0, 0, 0) && IsRgb(at(s, left_band(200, 400)), 255, 255, 255);
  });
  EXPECT_TRUE(IsRgb(at(shot, left_band(260, 440)), 0, 0, 0));
  EXPECT_TRUE(IsRgb(at(shot, bottom_band(260, 440)), 0, 0, 0));
  EXPECT_TRUE(IsRgb(at(shot, middle(260, 440)), 0, 160, 0));
  EXPECT_TRUE(IsRgb(at(shot, left_band(200, 400)), 255, 255, 255)) << "the shadow stayed behind";

  wnd.Hide();
  shot = screen_test::GrabScreenUntil(
      [&](const Image& s) { return IsRgb(at(s, left_band(260, 440)), 255, 255, 255); });
  EXPECT_TRUE(IsRgb(at(shot, left_band(260, 440)), 255, 255, 255)) << "the shadow outlived its host's hide";
  EXPECT_TRUE(IsRgb(at(shot, middle(260, 440)), 255, 255, 255));
  EXPECT_FALSE(IsWindowVisible(wnd.GetShadowHWND()));
}

}  // namespace
