#include <gtest/gtest.h>

#include "common/test_images.h"
#include "ctrls/progress_ctrl.h"
#include "upp/offscreen_host.h"

namespace {

using ctrls::ProgressCtrl;
using Upp::Image;
using Upp::Point;
using Upp::RGBA;
using Upp::Size;

const RGBA kBg{0, 0, 80, 255};
const RGBA kTransparent{0, 0, 0, 0};

using testutil::Solid;

// A block whose column x has red = x, so a pixel tells which source column
// it came from.
Image Ramp(Size size) {
  Upp::ImageBuffer b(size);
  for (int y = 0; y < size.cy; ++y)
    for (int x = 0; x < size.cx; ++x) b.Row(y)[x] = RGBA{0, 200, static_cast<uint8_t>(x), 255};
  return b.Finish();
}

bool Same(RGBA a, RGBA b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

// Columns of the bar's middle row that show the fill (green 200).
int FilledColumns(const Upp::Draw& d, int width, int y) {
  int n = 0;
  for (int x = 0; x < width; ++x)
    if (d.At(x, y).g == 200) ++n;
  return n;
}

class ProgressCtrlTest : public testing::Test {
 protected:
  ProgressCtrlTest() : host(root, Size(300, 10)) {
    style.bg = Solid(Size(6, 6), kBg);
    style.block = Ramp(Size(256, 10));
    bar.SetRect(0, 0, 300, 10);
    root.Add(bar);
  }

  Upp::Ctrl root;
  ProgressCtrl bar;
  ProgressCtrl::Style style;
  Upp::OffscreenHost host;
};

TEST(ProgressCtrlFillTest, WidthIsValueOverTotalTruncated) {
  EXPECT_EQ(ProgressCtrl::FillWidth(300, 50000, 100000), 150);
  EXPECT_EQ(ProgressCtrl::FillWidth(300, 1, 100000), 0);
  EXPECT_EQ(ProgressCtrl::FillWidth(300, 99999, 100000), 299);
  EXPECT_EQ(ProgressCtrl::FillWidth(300, 100000, 100000), 300);
  EXPECT_EQ(ProgressCtrl::FillWidth(7, 1, 3), 2);
}

TEST(ProgressCtrlFillTest, TotalZeroCountsAsOneAndValuesAreNotClamped) {
  EXPECT_EQ(ProgressCtrl::FillWidth(300, 0, 0), 0);
  EXPECT_EQ(ProgressCtrl::FillWidth(300, 1, 0), 300);
  EXPECT_EQ(ProgressCtrl::FillWidth(300, 200000, 100000), 300);
  EXPECT_LT(ProgressCtrl::FillWidth(300, -5, 100000), 1);
  EXPECT_EQ(ProgressCtrl::FillWidth(300, 2147483647, 1), 300);
}

TEST_F(ProgressCtrlTest, WithoutStyleDrawsNothing) {
  bar.Set(50000, 100000);
  Upp::Draw& d = host.Paint();
  for (int x = 0; x < 300; x += 7) ASSERT_TRUE(Same(d.At(x, 5), kTransparent)) << x;
}

TEST_F(ProgressCtrlTest, ValueZeroDrawsBackgroundOnly) {
  bar.SetStyle(style).Set(0, 100000);
  Upp::Draw& d = host.Paint();
  EXPECT_EQ(FilledColumns(d, 300, 5), 0);
  EXPECT_TRUE(Same(d.At(0, 0), kBg));
  EXPECT_TRUE(Same(d.At(299, 9), kBg));
}

TEST_F(ProgressCtrlTest, HalfFillsHalfAndRestIsBackground) {
  bar.SetStyle(style).Set(50000, 100000);
  Upp::Draw& d = host.Paint();
  EXPECT_EQ(FilledColumns(d, 300, 5), 150);
  EXPECT_EQ(d.At(149, 5).g, 200);
  EXPECT_TRUE(Same(d.At(150, 5), kBg));
}

TEST_F(ProgressCtrlTest, FullValueFillsWholeWidth) {
  bar.SetStyle(style).Set(100000, 100000);
  EXPECT_EQ(FilledColumns(host.Paint(), 300, 5), 300);
  bar.Set(250000, 100000);  // past the total: still exactly the bar
  EXPECT_EQ(FilledColumns(host.Paint(), 300, 5), 300);
}

TEST_F(ProgressCtrlTest, TileShowsLeftColumnsOfBlockUnscaled) {
  style.tile = true;
  bar.SetStyle(style).Set(1, 3);  // 100 px
  Upp::Draw& d = host.Paint();
  ASSERT_EQ(FilledColumns(d, 300, 5), 100);
  for (int x : {0, 1, 50, 99}) EXPECT_EQ(d.At(x, 5).r, x) << x;
}

TEST_F(ProgressCtrlTest, StretchSqueezesWholeBlockIntoFill) {
  style.tile = false;
  bar.SetStyle(style).Set(1, 3);  // 100 px showing all 256 source columns
  Upp::Draw& d = host.Paint();
  ASSERT_EQ(FilledColumns(d, 300, 5), 100);
  EXPECT_GT(d.At(99, 5).r, 250);
  EXPECT_NEAR(d.At(50, 5).r, 128, 4);
}

TEST_F(ProgressCtrlTest, SetAsksForRepaint) {
  bar.SetStyle(style);
  host.ResetInvalidations();
  bar.Set(10, 100);
  EXPECT_GT(host.InvalidateCount(), 0);
  EXPECT_EQ(bar.GetValue(), 10);
  EXPECT_EQ(bar.GetTotal(), 100);
}

}  // namespace
