// The controls drawing the artwork the program ships (res/skin), read
// straight from the source tree through Wine's Z: drive.
#include <gtest/gtest.h>

#include <string>

#include "ctrls/button.h"
#include "ctrls/panel.h"
#include "fake_clock.h"
#include "shipped_skin.h"
#include "upp/offscreen_host.h"

namespace {

using Upp::Point;
using Upp::RGBA;
using Upp::Size;

Upp::Image Load(const std::string& name) { return ctrls_test::LoadShippedImage(name); }

TEST(ShippedSkinControlsTest, HoveredPauseButtonShowsItsHotLookAfterTheFade) {
  ctrls::Button::Style style;
  for (int i = 0; i < 3; ++i) style.look[i] = Load("btn_pause_" + std::to_string(i + 1) + ".png");
  style.look[3] = style.look[0];
  if (style.look[0].IsEmpty()) GTEST_SKIP() << "source tree not reachable";
  ASSERT_EQ(style.look[0].GetSize(), style.look[1].GetSize());
  ctrls_test::FakeClock clock;
  const Size size = style.look[0].GetSize();
  Upp::Ctrl root;
  ctrls::Button button;
  Upp::OffscreenHost host(root, size);
  button.SetStyle(style);
  button.SetRect(0, 0, size.cx, size.cy);
  root.Add(button);
  // A pixel where the normal and hot looks differ.
  Point probe(-1, -1);
  for (int y = 0; y < size.cy && probe.x < 0; ++y)
    for (int x = 0; x < size.cx; ++x)
      if (style.look[0].At(x, y).a == 255 && style.look[1].At(x, y) != style.look[0].At(x, y)) {
        probe = Point(x, y);
        break;
      }
  ASSERT_GE(probe.x, 0);
  EXPECT_EQ(host.Paint().At(probe.x, probe.y), style.look[0].At(probe.x, probe.y));
  host.Move(Point(size.cx / 2, size.cy / 2));
  clock.Advance(1000);
  button.GetAnimator().Tick();
  EXPECT_EQ(button.GetState(), ctrls::Button::kHot);
  EXPECT_EQ(host.Paint().At(probe.x, probe.y), style.look[1].At(probe.x, probe.y));
}

TEST(ShippedSkinControlsTest, ShadowNineGridKeepsItsCornerPixels) {
  Upp::Image shadow = Load("shadow.png");
  if (shadow.IsEmpty()) GTEST_SKIP() << "source tree not reachable";
  shadow.SetHotSpot(Point(6, 4));
  shadow.Set2ndSpot(Point(8, 6));
  Upp::Ctrl root;
  ctrls::Panel<> panel;
  Upp::OffscreenHost host(root, Size(300, 200));
  panel.SetBackground(shadow);
  panel.SetRect(0, 0, 300, 200);
  root.Add(panel);
  Upp::Draw& w = host.Paint();
  const Size s = shadow.GetSize();
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(w.At(x, y), shadow.At(x, y));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(w.At(292 + x, 194 + y), shadow.At(s.cx - 8 + x, s.cy - 6 + y));
}

}  // namespace
