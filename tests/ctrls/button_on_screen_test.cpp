// A skinned button under the real pointer: xdotool hovers it, import reads
// the screen back.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_util.h"
#include "ctrls/button.h"
#include "ctrls/layered_window.h"
#include "screen_tools.h"
#include "shipped_skin.h"

namespace {

using Upp::Image;
using Upp::Point;

class ButtonWindow : public ctrls::LayeredWindow {
 public:
  Image GetShadowImage() override { return Image(); }
};

TEST(ButtonOnScreenTest, HoverShowsTheHotLookAfterTheFadeAndLeavingTheNormalOne) {
  const std::string missing = screen_test::MissingScreenTools();
  if (!missing.empty()) GTEST_SKIP() << missing;
  ctrls::Button::Style style;
  for (int i = 0; i < 3; ++i) style.look[i] = ctrls_test::LoadShippedImage("btn_resume_" + std::to_string(i + 1) + ".png");
  style.look[3] = style.look[0];
  if (style.look[0].IsEmpty()) GTEST_SKIP() << "source tree not reachable";
  const Upp::Size size = style.look[0].GetSize();
  // A pixel where the normal and hot looks differ, both opaque.
  Point probe(-1, -1);
  for (int y = size.cy / 3; y < size.cy && probe.x < 0; ++y)
    for (int x = size.cx / 4; x < size.cx; ++x)
      if (style.look[0].At(x, y).a == 255 && style.look[1].At(x, y).a == 255 &&
          style.look[0].At(x, y) != style.look[1].At(x, y)) {
        probe = Point(x, y);
        break;
      }
  ASSERT_GE(probe.x, 0);
  ASSERT_TRUE(screen_test::ParkPointer());

  const int wx = 420, wy = 520;  // the window; the button sits at (20, 20) in it
  ButtonWindow wnd;
  wnd.EnableShadow(false);
  wnd.NoCenter().SetRect(wx, wy, wx + size.cx + 40, wy + size.cy + 40);
  wnd.SetBackgroundColor(Upp::Color(40, 40, 40));
  ctrls::Button button;
  button.SetStyle(style);
  button.SetRect(20, 20, size.cx, size.cy);
  wnd.Add(button);
  ASSERT_NE(wnd.Create(nullptr), nullptr);
  wnd.Show();
  SetWindowPos(wnd.GetHWND(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  const int sx = wx + 20 + probe.x, sy = wy + 20 + probe.y;
  auto shows = [&](int look) {
    return [&, look](const Image& s) { return s.At(sx, sy) == style.look[look].At(probe.x, probe.y); };
  };
  Image shot = screen_test::GrabScreenUntil(shows(0));
  ASSERT_TRUE(shows(0)(shot)) << "the normal look is not on the screen";

  ASSERT_TRUE(screen_test::MovePointer(wx + 20 + size.cx / 2, wy + 20 + size.cy / 2));
  shot = screen_test::GrabScreenUntil(shows(1));
  EXPECT_TRUE(shows(1)(shot)) << "no hot look after the fade";
  EXPECT_EQ(button.GetState(), ctrls::Button::kHot);

  ASSERT_TRUE(screen_test::ParkPointer());
  shot = screen_test::GrabScreenUntil(shows(0));
  EXPECT_TRUE(shows(0)(shot)) << "the normal look did not come back";
  EXPECT_EQ(button.GetState(), ctrls::Button::kNormal);
  DestroyWindow(wnd.GetHWND());
}

}  // namespace
