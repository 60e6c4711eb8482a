// Real mouse drags through the X server (xdotool), as a user would drag.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_util.h"
#include "ctrls/layered_window.h"
#include "screen_tools.h"

namespace {

class DragTestWindow : public ctrls::LayeredWindow {
 public:
  Upp::Image GetShadowImage() override { return Upp::Image(); }
};

class TopWindowDragOnScreenTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = screen_test::MissingScreenTools();
    if (!missing.empty()) GTEST_SKIP() << missing;
    style.dragtop = 20;
    wnd.EnableShadow(false);
    wnd.NoCenter().SetRect(600, 400, 800, 500);
    wnd.SetStyle(style);
    wnd.SetBackgroundColor(Upp::Color(0, 128, 0));
    ASSERT_NE(wnd.Create(nullptr), nullptr);
    wnd.Show();
    SetWindowPos(wnd.GetHWND(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    testutil::PumpFor(200);
  }
  void TearDown() override {
    if (wnd.IsOpen()) DestroyWindow(wnd.GetHWND());
    screen_test::ParkPointer();
  }
  RECT Where() {
    RECT r;
    GetWindowRect(wnd.GetHWND(), &r);
    return r;
  }

  ctrls::TopWindow::Style style;
  DragTestWindow wnd;
};

TEST_F(TopWindowDragOnScreenTest, DragMovesWindowFromStripButNotFromRowBelow) {
  ASSERT_TRUE(screen_test::Xdotool("mousemove 650 421 sleep 0.2 mousedown 1 sleep 0.2 mousemove 670 431 sleep 0.2 "
                                   "mousemove 690 441 sleep 0.2 mouseup 1"));
  testutil::PumpFor(1000);
  RECT r = Where();
  EXPECT_EQ(r.left, 600);
  EXPECT_EQ(r.top, 400);

  // Row dragtop itself belongs to the strip.
  ASSERT_TRUE(screen_test::Xdotool("mousemove 650 420 sleep 0.2 mousedown 1 sleep 0.2 mousemove 670 430 sleep 0.2 "
                                   "mousemove 690 440 sleep 0.2 mouseup 1"));
  // The X events may still be on their way to the move loop.
  testutil::PumpUntil([&] { return Where().left != 600; }, 5000);
  r = Where();
  EXPECT_EQ(r.left, 640);
  EXPECT_EQ(r.top, 420);
}

}  // namespace
