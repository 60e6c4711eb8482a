#include <gtest/gtest.h>

#include <memory>

#include "ctrls/view_ctrl.h"
#include "upp/offscreen_host.h"

namespace {

using ctrls::ViewCtrl;
using Upp::Point;
using Upp::Rect;
using Upp::Size;

// An item that fills itself with one colour and counts presses.
class Swatch : public Upp::Ctrl {
 public:
  Swatch(int height, Upp::Color color) : color_(color) { SetRect(0, 0, 10, height); }
  void Paint(Upp::Draw& w) override { w.DrawRect(GetView(), color_); }
  void LeftDown(Point, uint32_t) override { ++presses; }
  int presses = 0;

 private:
  Upp::Color color_;
};

class ViewCtrlTest : public testing::Test {
 protected:
  ViewCtrlTest() : host(root, Size(120, 100)) {
    style.barsize = 12;
    view.SetScrollBarStyle(style);
    view.SetRect(0, 0, 120, 100);
    root.Add(view);
  }

  // `count` items of `height`, colours (i, 0, 0) so a pixel names its item.
  void AddItems(int count, int height) {
    for (int i = 0; i < count; ++i)
      view.AddItem(std::make_unique<Swatch>(height, Upp::Color(i + 1, 0, 0)));
  }

  Upp::Ctrl root;
  ViewCtrl view;
  ctrls::ScrollBar::Style style;
  Upp::OffscreenHost host;
};

TEST_F(ViewCtrlTest, ListStacksItemsAtTheirHeightsWithGap) {
  view.SetGap(0, 4);
  view.AddItem(std::make_unique<Swatch>(20, Upp::Color(1, 0, 0)));
  view.AddItem(std::make_unique<Swatch>(30, Upp::Color(2, 0, 0)));
  view.AddItem(std::make_unique<Swatch>(10, Upp::Color(3, 0, 0)));
  EXPECT_EQ(view.GetItemRect(0), Rect(0, 0, 120, 20));
  EXPECT_EQ(view.GetItemRect(1), Rect(0, 24, 120, 54));
  EXPECT_EQ(view.GetItemRect(2), Rect(0, 58, 120, 68));
  EXPECT_EQ(view.GetContentHeight(), 68);
  EXPECT_FALSE(view.GetScrollBar().IsShown());
}

TEST_F(ViewCtrlTest, TallContentShowsBarAndNarrowsItems) {
  AddItems(10, 25);
  EXPECT_EQ(view.GetContentHeight(), 250);
  ctrls::ScrollBar& bar = view.GetScrollBar();
  EXPECT_TRUE(bar.IsShown());
  EXPECT_EQ(bar.GetRect(), Rect(108, 0, 120, 100));
  EXPECT_EQ(bar.GetPage(), 100);
  EXPECT_EQ(bar.GetTotal(), 250);
  EXPECT_EQ(view.GetItemRect(0).Width(), 108);
}

TEST_F(ViewCtrlTest, OneWheelNotchMovesThirtyPixelsAndShiftsItems) {
  AddItems(10, 25);
  host.Wheel(Point(50, 50), -120);
  EXPECT_EQ(view.GetScroll(), 30);
  EXPECT_EQ(view.GetItem(1)->GetRect().top, 25 - 30);
  // Row 0 of the view now shows item 1 (colour 2), 5 pixels into it.
  Upp::Draw& d = host.Paint();
  EXPECT_EQ(d.At(10, 0).r, 2);
  EXPECT_EQ(d.At(10, 20).r, 3);
  host.Wheel(Point(50, 50), 120);
  EXPECT_EQ(view.GetScroll(), 0);
}

TEST_F(ViewCtrlTest, WheelStepGrowsWithVerticalGap) {
  view.SetGap(0, 6);
  AddItems(10, 25);
  host.Wheel(Point(50, 50), -240);
  EXPECT_EQ(view.GetScroll(), 72);
}

TEST_F(ViewCtrlTest, WheelDoesNothingWhenEverythingFits) {
  AddItems(2, 25);
  host.Wheel(Point(50, 10), -120);
  EXPECT_EQ(view.GetScroll(), 0);
  EXPECT_EQ(view.GetItem(0)->GetRect().top, 0);
}

TEST_F(ViewCtrlTest, DraggingTheBarScrollsTheItems) {
  AddItems(10, 25);  // thumb 40 of 100
  host.Move(Point(114, 10));
  host.Press(Point(114, 10));
  host.Move(Point(114, 40), Upp::K_LBUTTON);
  host.Release(Point(114, 40));
  EXPECT_EQ(view.GetScroll(), 75);  // 30 x 250 / 100
  EXPECT_EQ(view.GetItem(3)->GetRect().top, 0);
}

TEST_F(ViewCtrlTest, ClicksReachTheScrolledItem) {
  AddItems(10, 25);
  view.GetScrollBar().SetPos(50);
  host.Click(Point(20, 10));
  EXPECT_EQ(static_cast<Swatch*>(view.GetItem(2))->presses, 1);
  EXPECT_EQ(static_cast<Swatch*>(view.GetItem(0))->presses, 0);
}

TEST_F(ViewCtrlTest, GridPlacesCellsInColumnsThatFit) {
  view.GridMode(Size(30, 20)).SetGap(8, 6);
  AddItems(7, 5);
  // (120 - 4 - 30) / 38 + 1 = 3 columns.
  EXPECT_EQ(view.GetItemRect(0), Rect(4, 3, 34, 23));
  EXPECT_EQ(view.GetItemRect(2), Rect(80, 3, 110, 23));
  EXPECT_EQ(view.GetItemRect(3), Rect(4, 29, 34, 49));
  EXPECT_EQ(view.GetItemRect(6), Rect(4, 55, 34, 75));
  EXPECT_EQ(view.GetContentHeight(), 75);
}

TEST_F(ViewCtrlTest, FooterFollowsTheLastItem) {
  Swatch footer(15, Upp::Color(9, 9, 9));
  view.SetFooter(&footer);
  AddItems(2, 20);
  EXPECT_EQ(footer.GetRect(), Rect(0, 40, 120, 55));
  EXPECT_EQ(view.GetContentHeight(), 55);
  view.SetFooter(nullptr);
}

TEST_F(ViewCtrlTest, RemoveAllEmptiesAndAnItemThatDiesDropsOut) {
  auto kept = std::make_unique<Swatch>(20, Upp::Color(5, 0, 0));
  view.AddItem(*kept);
  AddItems(3, 20);
  kept.reset();
  view.Relayout();
  EXPECT_EQ(view.GetItem(0), nullptr);
  auto back = view.RemoveAll(false);
  EXPECT_EQ(back.size(), 3u);
  EXPECT_EQ(view.GetCount(), 0);
  EXPECT_EQ(back[0]->GetParent(), nullptr);
  view.RemoveAll();
  EXPECT_EQ(view.GetCount(), 0);
}

}  // namespace
