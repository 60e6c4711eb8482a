#include <gtest/gtest.h>

#include <string>

#include "common/test_images.h"
#include "ctrls/alpha_draw.h"
#include "ctrls/button.h"
#include "ctrls/cursor_ctrl.h"
#include "ctrls/image_ctrl.h"
#include "ctrls/link_text.h"
#include "ctrls/mouse_event_to_parent.h"
#include "ctrls/panel.h"
#include "ctrls/static_text.h"
#include "fake_clock.h"
#include "upp/offscreen_host.h"

namespace {

using ctrls::Button;
using Upp::Image;
using Upp::Point;
using Upp::Rect;
using Upp::RGBA;
using Upp::Size;

using testutil::Solid;

const RGBA kLook0{10, 10, 10, 255}, kLook1{200, 200, 200, 255}, kLook2{0, 0, 255, 255},
    kLook3{0, 255, 0, 255};

Button::Style FourLooks() {
  Button::Style s;
  s.look[0] = Solid(Size(4, 4), kLook0);
  s.look[1] = Solid(Size(4, 4), kLook1);
  s.look[2] = Solid(Size(4, 4), kLook2);
  s.look[3] = Solid(Size(4, 4), kLook3);
  return s;
}

class ButtonTest : public testing::Test {
 protected:
  ButtonTest() : host(root, Size(100, 60)) {
    style = FourLooks();
    button.SetStyle(style);
    button.SetRect(10, 10, 40, 20);
    root.Add(button);
    button.WhenAction = [this] { ++clicks; };
    button.WhenPush = [this] { ++pushes; };
  }
  RGBA Centre() { return host.Paint().At(30, 20); }
  // Runs the fade to its end with the fake clock.
  void FinishFade() {
    clock.Advance(Button::kFadeFrames * Button::kFadeIntervalMs + 1);
    button.GetAnimator().Tick();
  }

  ctrls_test::FakeClock clock;
  Upp::Ctrl root;
  Button button;
  Upp::OffscreenHost host;
  Button::Style style;
  int clicks = 0, pushes = 0;
};

TEST_F(ButtonTest, CrossFadeOfBlackToWhiteAtHalfIs7F) {
  RGBA from{0, 0, 0, 0}, to{255, 255, 255, 255};
  EXPECT_EQ(Button::FadePixel(from, to, 50), (RGBA{0x7F, 0x7F, 0x7F, 0x7F}));
  EXPECT_EQ(Button::FadePixel(from, to, 0), from);
  EXPECT_EQ(Button::FadePixel(from, to, 100), to);
  EXPECT_EQ(Button::FadePixel(to, from, 25), (RGBA{192, 192, 192, 192}));  // 255 - 255*25/100 = 192
}

TEST_F(ButtonTest, HoverFadesNormalToHotThroughQuartersAndEndsHot) {
  EXPECT_EQ(Centre(), kLook0);
  host.Move(Point(20, 15));
  EXPECT_EQ(button.GetState(), Button::kFadeNormalToHot);
  EXPECT_EQ(button.GetFadePercent(), 25);
  EXPECT_EQ(Centre(), Button::FadePixel(kLook0, kLook1, 25));
  clock.Advance(Button::kFadeIntervalMs);
  button.GetAnimator().Tick();
  EXPECT_EQ(button.GetFadePercent(), 50);
  FinishFade();
  EXPECT_EQ(button.GetState(), Button::kHot);
  EXPECT_EQ(Centre(), kLook1);
}

TEST_F(ButtonTest, ClickInsidePressesThenFadesToHotAndCallsActionOnce) {
  host.Move(Point(20, 15));
  FinishFade();
  host.Press(Point(20, 15));
  EXPECT_EQ(button.GetState(), Button::kPressed);
  EXPECT_EQ(Centre(), kLook2);
  EXPECT_EQ(pushes, 1);
  EXPECT_EQ(clicks, 0);
  host.Release(Point(20, 15));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button.GetState(), Button::kFadePressedToHot);
  FinishFade();
  EXPECT_EQ(button.GetState(), Button::kHot);
}

TEST_F(ButtonTest, ReleaseOutsideDoesNotClickAndFadesBackToNormal) {
  host.Move(Point(20, 15));
  host.Press(Point(20, 15));
  host.Move(Point(90, 50));
  EXPECT_EQ(button.GetState(), Button::kPressed);  // leave ignored while pressed
  host.Release(Point(90, 50));
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(button.GetState(), Button::kFadeHotToNormal);
  EXPECT_FALSE(host.HasMouseCapture());
  FinishFade();
  EXPECT_EQ(button.GetState(), Button::kNormal);
}

TEST_F(ButtonTest, DisabledShowsLook3AndIgnoresInput) {
  button.Disable();
  EXPECT_EQ(Centre(), kLook3);
  host.Click(Point(20, 15));
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(pushes, 0);
  EXPECT_EQ(button.GetState(), Button::kNormal);
}

TEST_F(ButtonTest, WithoutAnimationStatesSwitchAtOnce) {
  button.NoAnimate();
  host.Move(Point(20, 15));
  EXPECT_EQ(button.GetState(), Button::kHot);
  host.Move(Point(90, 50));
  EXPECT_EQ(button.GetState(), Button::kNormal);
}

TEST_F(ButtonTest, MissingLookDrawsGreyAndTheCaption) {
  Button::Style empty;
  button.SetStyle(empty);
  button.SetLabel(L"OK");
  Upp::Draw& w = host.Paint();
  EXPECT_EQ(w.At(11, 29), (RGBA{0x80, 0x80, 0x80, 255}));
  int dark = 0;
  for (int y = 10; y < 30; ++y)
    for (int x = 10; x < 50; ++x)
      if (w.At(x, y).r < 0x60) ++dark;
  EXPECT_GT(dark, 0);
}

TEST(AlphaDrawTest, OpaqueImageSetsAlphaOnlyWherePixelsAreTransparent) {
  ctrls::AlphaDraw w(3, 1);
  w.DrawImage(1, 0, Solid(Size(1, 1), RGBA{0, 0, 64, 128}));
  RECT r{2, 0, 3, 1};
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 200));
  FillRect(w.GetHDC(), &r, brush);  // GDI leaves alpha 0
  DeleteObject(brush);
  Image plain = w.GetImage();
  Image opaque = w.GetOpaqueImage();
  EXPECT_EQ(plain.At(2, 0).a, 0);
  EXPECT_EQ(opaque.At(2, 0), (RGBA{200, 0, 0, 255}));
  EXPECT_EQ(opaque.At(1, 0), (RGBA{0, 0, 64, 128}));
  EXPECT_EQ(opaque.At(0, 0).a, 255);
}

TEST(StaticTextTest, EllipsisShortensToTheWidthAndKeepsShortTexts) {
  Upp::Font font = Upp::Font().Height(14);
  const std::wstring text = L"A rather long line of text";
  const int width = Upp::GetTextSize(text, font).cx / 2;
  std::wstring cut = ctrls::StaticText::ShortenToWidth(text, font, width);
  EXPECT_LE(Upp::GetTextSize(cut, font).cx, width);
  ASSERT_GT(cut.size(), 3u);
  EXPECT_EQ(cut.substr(cut.size() - 3), L"...");
  EXPECT_EQ(text.compare(0, cut.size() - 3, cut, 0, cut.size() - 3), 0);
  EXPECT_EQ(ctrls::StaticText::ShortenToWidth(L"ab", font, 1000), L"ab");
}

TEST(StaticTextTest, WrapsIntoRowsThatFitAndHeightCountsRows) {
  ctrls::StaticText t;
  t.SetFont(Upp::Font().Height(14));
  t.SetText(L"one two three four five six seven eight");
  const int width = Upp::GetTextSize(L"three four", t.GetFont()).cx;
  auto rows = t.WrapLines(width);
  ASSERT_GT(rows.size(), 2u);
  for (const auto& row : rows) EXPECT_LE(Upp::GetTextSize(row, t.GetFont()).cx, width) << row.c_str();
  const int th = Upp::GetTextHeight(t.GetFont());
  EXPECT_EQ(t.GetHeightForWidth(width), static_cast<int>(rows.size()) * th);
  t.SetLineSpacing(0.5f);
  EXPECT_EQ(t.GetHeightForWidth(width), (static_cast<int>(rows.size()) * th * 3 + 1) / 2);
  t.SetRect(0, 0, width, 20);
  EXPECT_TRUE(t.IsTextTooWide());
}

TEST(StaticTextTest, MultiLinePaintsSecondRowBelowTheFirst) {
  Upp::Ctrl root;
  ctrls::StaticText t;
  Upp::OffscreenHost host(root, Size(200, 100));
  t.SetFont(Upp::Font().Height(14)).SetInk(Upp::Color(0, 0, 0));
  t.SetText(L"AAAA\nBBBB").MultiLine();
  t.SetRect(0, 0, 200, 100);
  root.Add(t);
  Upp::Draw& w = host.Paint();
  const int th = Upp::GetTextHeight(t.GetFont());
  auto ink_in_rows = [&](int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = 0; x < 200; ++x) n += w.At(x, y).a != 0;
    return n;
  };
  EXPECT_GT(ink_in_rows(0, th), 0);
  EXPECT_GT(ink_in_rows(th, 2 * th), 0);
  EXPECT_EQ(ink_in_rows(2 * th, 100), 0);
}

TEST(LinkTextTest, HoverSwitchesToTheSecondFontAndPressActs) {
  Upp::Ctrl root;
  ctrls::LinkText link;
  Upp::OffscreenHost host(root, Size(200, 40));
  ctrls::LinkText::Style style;
  style.textcolor = Upp::Color(0xA0, 0xB3, 0xE2);
  style.textfont0 = Upp::Font().Height(12);
  style.textfont1 = Upp::Font().Height(12).Underline();
  link.SetStyle(style);
  link.SetText(L"link");
  link.SetRect(0, 0, 100, 20);
  root.Add(link);
  int actions = 0;
  link.WhenAction = [&] { ++actions; };
  EXPECT_EQ(link.GetInk(), style.textcolor);
  EXPECT_FALSE(link.GetFont().IsUnderline());
  host.Move(Point(5, 5));
  EXPECT_TRUE(link.GetFont().IsUnderline());
  EXPECT_EQ(host.LastCursor(), LoadCursorW(nullptr, IDC_HAND));
  host.Press(Point(5, 5));
  EXPECT_EQ(actions, 1);
  host.Move(Point(150, 30));
  EXPECT_FALSE(link.GetFont().IsUnderline());
}

TEST(ImageCtrlTest, StripWiderThanTheControlShowsAtLeastOneImageAndDots) {
  Upp::Ctrl root;
  ctrls::ImageCtrl strip;
  Upp::OffscreenHost host(root, Size(100, 40));
  for (int i = 0; i < 5; ++i) strip.Add(Solid(Size(30, 10), RGBA{0, 0, 255, 255}));
  strip.SetRect(0, 0, 70, 30);
  root.Add(strip);
  host.Paint();
  EXPECT_TRUE(strip.ShowsEllipsis());
  EXPECT_GE(strip.GetShownCount(), 1);
  EXPECT_LT(strip.GetShownCount(), 3);
  strip.SetRect(0, 0, 10, 30);  // not even one fits: one is still shown
  host.Paint();
  EXPECT_EQ(strip.GetShownCount(), 1);
  strip.SetRect(0, 0, 100, 30);
  strip.Clear();
  strip.Add(Solid(Size(30, 10), RGBA{0, 0, 255, 255}));
  host.Paint();
  EXPECT_FALSE(strip.ShowsEllipsis());
}

TEST(PanelTest, NineGridBackgroundFillsTheControl) {
  Upp::Ctrl root;
  ctrls::Panel<> panel;
  Upp::OffscreenHost host(root, Size(50, 50));
  Image bg = Solid(Size(6, 6), RGBA{1, 2, 3, 255});
  bg.SetHotSpot(Point(2, 2));
  panel.SetBackground(bg);
  panel.SetRect(5, 5, 40, 30);
  root.Add(panel);
  Upp::Draw& w = host.Paint();
  EXPECT_EQ(w.At(5, 5), (RGBA{1, 2, 3, 255}));
  EXPECT_EQ(w.At(44, 34), (RGBA{1, 2, 3, 255}));
  EXPECT_EQ(w.At(45, 35), RGBA());
  EXPECT_EQ(w.At(4, 4), RGBA());
}

TEST(MouseEvent2ParentTest, ForwardingChildLeavesClicksToItsParent) {
  Upp::Ctrl root;
  ctrls::Panel<> parent;
  ctrls::MouseEvent2Parent<ctrls::Panel<>> deco;
  Upp::OffscreenHost host(root, Size(100, 100));
  parent.SetRect(10, 10, 50, 50);
  deco.SetRect(5, 5, 10, 10);
  root.Add(parent);
  parent.Add(deco);
  int parent_actions = 0, deco_actions = 0;
  parent.WhenAction = [&] { ++parent_actions; };
  deco.WhenAction = [&] { ++deco_actions; };
  host.Press(Point(17, 17));
  EXPECT_EQ(parent_actions, 1);
  EXPECT_EQ(deco_actions, 0);
  deco.SetForward(false);
  host.Press(Point(17, 17));
  EXPECT_EQ(deco_actions, 1);
}

TEST(CursorCtrlTest, AnswersItsCursorOnlyOverTheControl) {
  Upp::Ctrl root;
  ctrls::CursorCtrl<Button> button;
  Upp::OffscreenHost host(root, Size(100, 100));
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  button.SetCursor(hand);
  button.SetRect(0, 0, 20, 20);
  root.Add(button);
  EXPECT_EQ(host.CursorAt(Point(5, 5)), hand);
  EXPECT_EQ(host.CursorAt(Point(50, 50)), nullptr);
}

}  // namespace
