// Images, colours, fonts and geometry of the toolkit core.
#include <gtest/gtest.h>

#include "upp/color.h"
#include "upp/font.h"
#include "upp/geometry.h"
#include "upp/image.h"

namespace {

Upp::Image Filled(int w, int h, Upp::RGBA p) {
  Upp::ImageBuffer buffer(Upp::Size(w, h));
  for (int i = 0; i < w * h; ++i) buffer.Pixels()[i] = p;
  return buffer.Finish();
}

TEST(ImageTest, CopiesShareOnePixelBlock) {
  const Upp::Image a = Filled(4, 3, Upp::Premultiply(255, 0, 0, 255));
  EXPECT_EQ(1, a.ShareCount());
  Upp::Image b = a;
  EXPECT_EQ(2, a.ShareCount());
  EXPECT_TRUE(a.SharesPixelsWith(b));
  EXPECT_EQ(a.Pixels(), b.Pixels());
  b = Upp::Image();
  EXPECT_EQ(1, a.ShareCount());
  EXPECT_FALSE(Upp::Image().SharesPixelsWith(Upp::Image()));
}

TEST(ImageTest, SpotsBelongToTheHandle) {
  const Upp::Image stored = Filled(20, 20, Upp::RGBA());
  Upp::Image framed = stored;
  framed.SetHotSpot(Upp::Point(6, 4));
  framed.Set2ndSpot(Upp::Point(8, 6));
  EXPECT_TRUE(framed.HasHotSpot());
  EXPECT_EQ(Upp::Point(6, 4), framed.GetHotSpot());
  EXPECT_EQ(Upp::Point(8, 6), framed.Get2ndSpot());
  EXPECT_FALSE(stored.HasHotSpot());
  EXPECT_FALSE(stored.Has2ndSpot());
  EXPECT_TRUE(framed.SharesPixelsWith(stored));
  framed.ClearSpots();
  EXPECT_FALSE(framed.HasHotSpot());
  EXPECT_FALSE(framed.Has2ndSpot());
}

TEST(ImageTest, BufferHandsOverItsPixels) {
  Upp::ImageBuffer buffer(Upp::Size(2, 2));
  EXPECT_EQ(Upp::RGBA(), buffer.Pixels()[3]);  // starts transparent
  buffer.Row(1)[0] = Upp::Premultiply(10, 20, 30, 255);
  Upp::Image image = buffer.Finish();
  EXPECT_EQ(Upp::Size(), buffer.GetSize());
  EXPECT_TRUE(buffer.Finish().IsEmpty());
  EXPECT_EQ(Upp::Size(2, 2), image.GetSize());
  EXPECT_EQ(10, image.At(0, 1).r);
  EXPECT_EQ(30, image.At(0, 1).b);
  EXPECT_EQ(Upp::RGBA(), image.At(2, 0));  // outside
  EXPECT_EQ(Upp::RGBA(), image.At(-1, 0));
  EXPECT_TRUE(Upp::ImageBuffer(Upp::Size(0, 5)).Finish().IsEmpty());
  EXPECT_TRUE(Upp::ImageBuffer(Upp::Size(-3, 5)).Finish().IsEmpty());
}

TEST(ImageTest, PremultiplyRoundsToNearest) {
  struct Case {
    int c, a, expected;
  } cases[] = {{255, 255, 255}, {255, 0, 0}, {255, 128, 128}, {128, 128, 64},
               {1, 127, 0},     {1, 128, 1}, {200, 51, 40},   {0, 255, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c << "@" << c.a);
    const Upp::RGBA p = Upp::Premultiply(c.c, c.c, c.c, c.a);
    EXPECT_EQ(c.expected, p.r);
    EXPECT_EQ(c.expected, p.g);
    EXPECT_EQ(c.expected, p.b);
    EXPECT_EQ(c.a, p.a);
  }
}

TEST(ColorTest, NullIsNoColourAndDistinctFromBlack) {
  EXPECT_TRUE(Upp::Color().IsNull());
  EXPECT_TRUE(Upp::Color::Null().IsNull());
  EXPECT_FALSE(Upp::Color(0, 0, 0).IsNull());
  EXPECT_NE(Upp::Color(0, 0, 0), Upp::Color::Null());
  EXPECT_FALSE(Upp::Color(255, 255, 255).IsNull());
}

TEST(ColorTest, RawValueIsAColorref) {
  const Upp::Color c(0x12, 0x34, 0x56);
  EXPECT_EQ(RGB(0x12, 0x34, 0x56), c.ToCOLORREF());
  EXPECT_EQ(0x563412u, c.GetRaw());
  EXPECT_EQ(0x12, c.GetR());
  EXPECT_EQ(0x34, c.GetG());
  EXPECT_EQ(0x56, c.GetB());
  EXPECT_EQ(c, Upp::Color::FromRaw(0x563412u));
}

TEST(FontTest, ZeroFontAndComparison) {
  const Upp::Font zero;
  EXPECT_EQ(0, zero.GetHeight());
  EXPECT_FALSE(zero.IsBold());
  EXPECT_FALSE(zero.IsUnderline());
  EXPECT_EQ(nullptr, zero.GetHandle());
  const Upp::Font f = Upp::Font().Height(14).Bold().Underline();
  EXPECT_NE(zero, f);
  EXPECT_EQ(14, f.GetHeight());
  EXPECT_TRUE(f.IsBold());
  EXPECT_TRUE(f.IsUnderline());
  EXPECT_NE(f, Upp::Font(f).Handle(reinterpret_cast<HFONT>(static_cast<intptr_t>(8))));
}

TEST(FontTest, StandardFontCanBeReplaced) {
  const Upp::Font saved = Upp::StdFont();
  Upp::SetStdFont(Upp::Font().Height(17));
  EXPECT_EQ(17, Upp::StdFont().GetHeight());
  Upp::SetStdFont(saved);
  EXPECT_EQ(saved, Upp::StdFont());
}

TEST(GeometryTest, RectanglesMeasureAndContain) {
  const Upp::Rect r(57, 112, 57 + 580, 112 + 206);
  EXPECT_EQ(580, r.Width());
  EXPECT_EQ(206, r.Height());
  EXPECT_EQ(Upp::Size(580, 206), r.GetSize());
  EXPECT_TRUE(r.Contains(Upp::Point(57, 112)));
  EXPECT_FALSE(r.Contains(Upp::Point(637, 112)));  // right edge is exclusive
  EXPECT_EQ(r, Upp::Rect(Upp::Point(57, 112), Upp::Size(580, 206)));
  EXPECT_TRUE(Upp::Rect(5, 5, 5, 9).IsEmpty());
  EXPECT_EQ(Upp::Point(3, 5), Upp::Point(1, 2) + Upp::Point(2, 3));
  const RECT native = r.ToRECT();
  EXPECT_EQ(637, native.right);
}

}  // namespace
