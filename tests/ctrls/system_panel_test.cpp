#include <gtest/gtest.h>

#include "common/test_images.h"
#include "ctrls/system_panel.h"
#include "upp/offscreen_host.h"

namespace {

using Upp::Point;
using Upp::Rect;
using Upp::RGBA;
using Upp::Size;

using testutil::Solid;

ctrls::SystemPanel::Style MainWindowBox() {
  ctrls::SystemPanel::Style s;
  s.closebox.posx = Point(18, 24);
  s.closebox.posy = Point(47, 24);
  s.minbox.posx = Point(44, 24);
  s.minbox.posy = Point(47, 24);
  for (int i = 0; i < 4; ++i) {
    s.closebox.look[i] = Solid(Size(24, 24), RGBA{0, 0, 200, 255});
    s.minbox.look[i] = Solid(Size(24, 24), RGBA{0, 200, 0, 255});
  }
  s.titletext = "Korvan";
  s.titlepos = Point(2, 2);
  s.titleink = Upp::Color(255, 255, 255);
  return s;
}

TEST(SystemPanelTest, ButtonsArePlacedFromTheRightAndTopEdges) {
  ctrls::SystemPanel box;
  ctrls::SystemPanel::Style style = MainWindowBox();
  box.SetStyle(style);
  box.SetRect(0, 0, 76, 95);
  EXPECT_EQ(box.CloseButton().GetRect(), Rect(34, 47, 58, 71));
  EXPECT_EQ(box.MinimizeButton().GetRect(), Rect(8, 47, 32, 71));
  EXPECT_TRUE(box.CloseButton().IsShown());
  EXPECT_EQ(box.GetTitle(), L"Korvan");
}

TEST(SystemPanelTest, CloseAndMinimizeClicksRunTheirCallbacks) {
  Upp::Ctrl root;
  ctrls::SystemPanel box;
  Upp::OffscreenHost host(root, Size(76, 95));
  ctrls::SystemPanel::Style style = MainWindowBox();
  box.SetStyle(style);
  box.SetRect(0, 0, 76, 95);
  root.Add(box);
  int closes = 0, minimizes = 0;
  box.WhenClose = [&] { ++closes; };
  box.WhenMinimize = [&] { ++minimizes; };
  host.Click(Point(40, 50));
  host.Click(Point(10, 50));
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(minimizes, 1);
}

TEST(SystemPanelTest, MissingMinimizeStyleLeavesTheButtonOut) {
  ctrls::SystemPanel box;
  ctrls::SystemPanel::Style style = MainWindowBox();
  style.minbox = ctrls::Button::Style();
  box.SetStyle(style);
  box.SetRect(0, 0, 76, 95);
  EXPECT_FALSE(box.MinimizeButton().IsShown());
  EXPECT_TRUE(box.CloseButton().IsShown());
}

TEST(SystemPanelTest, TitleInkOverrideWinsOverTheStyle) {
  Upp::Ctrl root;
  ctrls::SystemPanel box;
  Upp::OffscreenHost host(root, Size(200, 40));
  ctrls::SystemPanel::Style style = MainWindowBox();
  style.titlefont = Upp::Font().Height(16);
  box.SetStyle(style);
  box.SetRect(0, 0, 200, 40);
  root.Add(box);
  box.SetTitleInk(Upp::Color(255, 0, 0));
  Upp::Draw& w = host.Paint();
  int red = 0, other = 0;
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 100; ++x) {
      RGBA p = w.At(x, y);
      if (p.a == 255) (p.r == 255 && p.g == 0 && p.b == 0 ? red : other)++;
    }
  EXPECT_GT(red, 0);
  EXPECT_EQ(other, 0);
}

}  // namespace
