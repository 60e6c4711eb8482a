#include <gtest/gtest.h>

#include <string>

#include "upp/draw.h"
#include "upp/image.h"

namespace {

using Upp::Draw;
using Upp::Image;
using Upp::ImageBuffer;
using Upp::Point;
using Upp::Rect;
using Upp::RGBA;
using Upp::Size;

RGBA Px(int r, int g, int b, int a) { return Upp::Premultiply(r, g, b, a); }

Image Solid(Size size, RGBA p) {
  ImageBuffer b(size);
  for (int i = 0; i < size.cx * size.cy; ++i) b.Pixels()[i] = p;
  return b.Finish();
}

// A 10x10 image whose nine areas each have their own colour, for margins
// (3, 3) on the left/top and (2, 4) on the right/bottom.
Image NineAreas() {
  ImageBuffer b(Size(10, 10));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const int col = x < 3 ? 0 : x < 8 ? 1 : 2;
      const int row = y < 3 ? 0 : y < 6 ? 1 : 2;
      b.Row(y)[x] = Px(20 + col * 100, 20 + row * 100, 7, 255);
    }
  Image img = b.Finish();
  img.SetHotSpot(Point(3, 3));
  img.Set2ndSpot(Point(2, 4));
  return img;
}

bool ValidPremultiplied(const Draw& w) {
  for (int y = 0; y < w.GetSize().cy; ++y)
    for (int x = 0; x < w.GetSize().cx; ++x) {
      RGBA p = w.At(x, y);
      if (p.r > p.a || p.g > p.a || p.b > p.a) return false;
    }
  return true;
}

TEST(DrawTest, NewSurfaceIsTransparentAndInvalidForEmptySize) {
  Draw w(Size(4, 3));
  ASSERT_TRUE(w.IsValid());
  EXPECT_NE(w.GetDC(), nullptr);
  EXPECT_EQ(w.At(3, 2), RGBA());
  Draw empty(Size(0, 5));
  EXPECT_FALSE(empty.IsValid());
  empty.DrawRect(Rect(0, 0, 5, 5), Upp::Color(1, 2, 3));  // must not crash
}

TEST(DrawTest, TranslucentImageOnTransparentGroundKeepsItsPremultipliedPixels) {
  Draw w(Size(4, 4));
  RGBA p = Px(200, 100, 50, 128);
  w.DrawImage(1, 1, Solid(Size(2, 2), p));
  EXPECT_EQ(w.At(1, 1), p);
  EXPECT_EQ(w.At(2, 2), p);
  EXPECT_EQ(w.At(0, 0), RGBA());
  EXPECT_EQ(w.At(3, 3), RGBA());
}

TEST(DrawTest, HalfTransparentBlackOverOpaqueWhiteGivesOpaqueGrey) {
  Draw w(Size(2, 2));
  w.DrawRect(Rect(0, 0, 2, 2), Upp::Color(255, 255, 255));
  w.DrawImage(0, 0, Solid(Size(1, 1), RGBA{0, 0, 0, 128}));
  RGBA got = w.At(0, 0);
  EXPECT_EQ(got.a, 255);
  EXPECT_EQ(got.r, 127);
  EXPECT_EQ(got.g, 127);
  EXPECT_EQ(got.b, 127);
  EXPECT_EQ(w.At(1, 0), (RGBA{255, 255, 255, 255}));
}

TEST(DrawTest, ConstantAlphaScalesEveryChannel) {
  Draw w(Size(1, 1));
  w.DrawImage(0, 0, Solid(Size(1, 1), RGBA{200, 100, 50, 255}), 128);
  EXPECT_EQ(w.At(0, 0), (RGBA{100, 50, 25, 128}));
}

TEST(DrawTest, StretchDoublesEachSourcePixel) {
  ImageBuffer b(Size(2, 1));
  b.Row(0)[0] = RGBA{0, 0, 255, 255};
  b.Row(0)[1] = RGBA{255, 0, 0, 255};
  Image img = b.Finish();
  Draw w(Size(4, 2));
  w.DrawImage(Rect(0, 0, 4, 2), img);
  EXPECT_EQ(w.At(0, 0), img.At(0, 0));
  EXPECT_EQ(w.At(1, 1), img.At(0, 0));
  EXPECT_EQ(w.At(2, 0), img.At(1, 0));
  EXPECT_EQ(w.At(3, 1), img.At(1, 0));
}

TEST(DrawTest, SourceRectangleDrawsOnlyThatPart) {
  Image img = NineAreas();
  Draw w(Size(10, 10));
  w.DrawImage(0, 0, img, Rect(8, 6, 10, 10));
  EXPECT_EQ(w.At(0, 0), img.At(8, 6));
  EXPECT_EQ(w.At(1, 3), img.At(9, 9));
  EXPECT_EQ(w.At(2, 0), RGBA());
  EXPECT_EQ(w.At(0, 4), RGBA());
}

TEST(DrawTest, NineGridKeepsCornersAndStretchesTheMiddle) {
  Image img = NineAreas();
  Draw w(Size(40, 30));
  w.DrawNineGrid(Rect(0, 0, 40, 30), img);
  // Corners are copied pixel for pixel.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(w.At(x, y), img.At(x, y)) << x << "," << y;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(w.At(38 + x, 26 + y), img.At(8 + x, 6 + y));
  // Edges and centre stretch.
  EXPECT_EQ(w.At(20, 1), img.At(5, 1));
  EXPECT_EQ(w.At(1, 15), img.At(1, 4));
  EXPECT_EQ(w.At(20, 15), img.At(5, 4));
  EXPECT_EQ(w.At(37, 25), img.At(7, 5));
}

TEST(DrawTest, NineGridWithOneSpotUsesItForAllFourMargins) {
  Image img = NineAreas();
  img.ClearSpots();
  img.SetHotSpot(Point(3, 3));
  Draw w(Size(30, 30));
  w.DrawNineGrid(Rect(0, 0, 30, 30), img);
  EXPECT_EQ(w.At(29, 29), img.At(9, 9));
  EXPECT_EQ(w.At(27, 27), img.At(7, 7));
  EXPECT_EQ(w.At(26, 26), img.At(6, 6));  // the stretched centre
}

TEST(DrawTest, ClipKeepsDrawingInsideAndEndRestoresIt) {
  Draw w(Size(10, 10));
  w.Clip(Rect(2, 2, 5, 5));
  w.DrawRect(Rect(0, 0, 10, 10), Upp::Color(255, 0, 0));
  w.End();
  EXPECT_EQ(w.At(2, 2).r, 255);
  EXPECT_EQ(w.At(4, 4).r, 255);
  EXPECT_EQ(w.At(5, 5), RGBA());
  EXPECT_EQ(w.At(1, 1), RGBA());
  w.DrawRect(Rect(9, 9, 10, 10), Upp::Color(0, 255, 0));
  EXPECT_EQ(w.At(9, 9).g, 255);
}

TEST(DrawTest, ClipoffMovesTheOriginAndNests) {
  Draw w(Size(20, 20));
  w.Clipoff(Rect(5, 5, 15, 15));
  EXPECT_EQ(w.GetClip(), Rect(0, 0, 10, 10));
  w.Clipoff(Rect(8, 8, 30, 30));  // only (8,8)-(10,10) of it remains visible
  w.DrawRect(Rect(-5, -5, 50, 50), Upp::Color(0, 0, 255));
  w.End();
  w.End();
  EXPECT_EQ(w.At(13, 13).b, 255);
  EXPECT_EQ(w.At(14, 14).b, 255);
  EXPECT_EQ(w.At(15, 15), RGBA());
  EXPECT_EQ(w.At(12, 12), RGBA());
}

TEST(DrawTest, TextOnTransparentGroundGetsCoverageAlphaAndStaysPremultiplied) {
  Draw w(Size(80, 24));
  w.DrawText(2, 2, L"Korvan", Upp::Font().Height(16), Upp::Color(255, 255, 255));
  int covered = 0, opaque = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 80; ++x) {
      if (w.At(x, y).a) ++covered;
      if (w.At(x, y).a == 255) ++opaque;
    }
  EXPECT_GT(covered, 20);
  EXPECT_GT(opaque, 0);
  EXPECT_TRUE(ValidPremultiplied(w));
  // White ink at full coverage is white.
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 80; ++x)
      if (w.At(x, y).a == 255) {
        EXPECT_EQ(w.At(x, y), (RGBA{255, 255, 255, 255}));
      }
}

TEST(DrawTest, TextOnOpaqueGroundLeavesItOpaqueAndDarkensInk) {
  Draw w(Size(80, 24));
  w.DrawRect(Rect(0, 0, 80, 24), Upp::Color(255, 255, 255));
  w.DrawText(2, 2, L"Korvan", Upp::Font().Height(16), Upp::Color(0, 0, 0));
  int dark = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 80; ++x) {
      ASSERT_EQ(w.At(x, y).a, 255) << x << "," << y;
      if (w.At(x, y).r < 128) ++dark;
    }
  EXPECT_GT(dark, 10);
}

TEST(DrawTest, TextIsClippedAndDoesNotTouchPixelsOutsideTheClip) {
  Draw w(Size(80, 24));
  w.DrawRect(Rect(40, 0, 80, 24), Upp::Color(10, 20, 30));
  w.Clip(Rect(0, 0, 40, 24));
  w.DrawText(0, 2, L"WWWWWWWWWWWW", Upp::Font().Height(16), Upp::Color(255, 0, 0));
  w.End();
  int left = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 40; ++x)
      if (w.At(x, y).a) ++left;
    for (int x = 40; x < 80; ++x) ASSERT_EQ(w.At(x, y), (RGBA{30, 20, 10, 255}));
  }
  EXPECT_GT(left, 20);
}

TEST(DrawTest, TextExtentGrowsWithTextAndFontHeight) {
  Upp::Font small = Upp::Font().Height(12), big = Upp::Font().Height(24);
  Size a = Upp::GetTextSize(L"abc", small);
  Size b = Upp::GetTextSize(L"abcabc", small);
  Size c = Upp::GetTextSize(L"abc", big);
  EXPECT_GT(a.cx, 0);
  EXPECT_GT(b.cx, a.cx);
  EXPECT_GT(c.cy, a.cy);
  EXPECT_EQ(Upp::GetTextSize(L"", small).cx, 0);
  EXPECT_EQ(Upp::GetTextHeight(small), a.cy);
}

}  // namespace
