// Shows the control gallery with the shipped skin, reads the screen back
// through the X server and checks that each control put its look where it
// belongs. The screenshot is kept as control_gallery.png beside the test
// program (docs/control_gallery.png is a copy of it).
//
// With KV_GALLERY_HOLD_MS set, the gallery stays up that long after the
// checks, for a person to look at (scripts/run style: DISPLAY=:N).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/skin_manager.h"
#include "common/test_util.h"
#include "ctrls/screen_tools.h"
#include "gallery/control_gallery.h"
#include "skin/skin_loader.h"

namespace {

using gallery::Layout;
using screen_test::IsRgb;
using Upp::Image;
using Upp::Point;
using Upp::RGBA;

// A pixel where the looks `a` and `b` differ and both are opaque.
Point Distinct(const Image& a, const Image& b) {
  for (int y = a.GetHeight() / 4; y < a.GetHeight(); ++y)
    for (int x = a.GetWidth() / 4; x < a.GetWidth(); ++x)
      if (a.At(x, y).a == 255 && b.At(x, y).a == 255 && a.At(x, y) != b.At(x, y)) return Point(x, y);
  return Point(-1, -1);
}

// An opaque pixel of `image` inside `area`.
Point Opaque(const Image& image, const Upp::Rect& area) {
  for (int y = area.top + area.Height() / 4; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      if (image.At(x, y).a == 255) return Point(x, y);
  return Point(-1, -1);
}

class ControlGalleryOnScreenTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = screen_test::MissingScreenTools();
    if (!missing.empty()) GTEST_SKIP() << missing;
    manager_.LoadSkin(data_.path());
    ASSERT_FALSE(skin::SkinLoader::Instance().FindImage(L"mainbg.png").IsEmpty()) << "skin not loaded";
    ASSERT_TRUE(screen_test::ParkPointer());
  }

  testutil::ScopedTempDir data_;
  // Owns the skin's platform fonts: it must outlive every text drawn.
  korvan::SkinManager manager_{skin::SkinLoader::Instance()};
};

TEST_F(ControlGalleryOnScreenTest, ShowsEveryControlWithTheShippedSkin) {
  gallery::ControlGallery g;
  ASSERT_TRUE(g.Build());
  // The hot button's fade, the menu's fade-in and the deferred pushes.
  ASSERT_TRUE(testutil::PumpUntil(
      [&] { return g.StateButton(1).GetState() == ctrls::Button::kHot && !g.Menu().IsFading(); }, 5000));
  testutil::PumpFor(300);

  const int menu_x = Layout::kMenuX + ctrls::LayeredMenu::kMarginLeft + 10;
  const int row_y = Layout::kMenuY + ctrls::LayeredMenu::kMarginTop + 4;
  const int rh = ctrls::LayeredMenu::kDefaultItemHeight;
  const std::string keep = "/tmp/kv_control_gallery_" + std::to_string(GetCurrentProcessId()) + ".png";
  Image shot;
  testutil::PumpUntil(
      [&] {
        shot = screen_test::GrabScreen(keep);
        return !shot.IsEmpty() && IsRgb(shot.At(menu_x, row_y + rh), 0xD3, 0xD3, 0xD3);
      },
      10000);
  ASSERT_FALSE(shot.IsEmpty());
  ASSERT_EQ(shot.GetSize(), Upp::Size(Layout::kScreenCx, Layout::kScreenCy));
  CopyFileW(screen_test::DosPath(keep).c_str(), (testutil::TestBinDir() + L"\\control_gallery.png").c_str(),
            FALSE);
  DeleteFileW(screen_test::DosPath(keep).c_str());

  // The desk between the windows.
  EXPECT_TRUE(IsRgb(shot.At(722, 300), Layout::kDeskR, Layout::kDeskG, Layout::kDeskB));

  // The open menu: the second row hot, the others light.
  EXPECT_TRUE(IsRgb(shot.At(menu_x, row_y), 0xFA, 0xFA, 0xFA));
  EXPECT_TRUE(IsRgb(shot.At(menu_x, row_y + rh), 0xD3, 0xD3, 0xD3));
  EXPECT_TRUE(IsRgb(shot.At(menu_x, row_y + 2 * rh), 0xFA, 0xFA, 0xFA));

  // The main window's transparent corner shows what lies below it (the
  // shadow or the desk), never the window's own edge.
  const Image mainbg = skin::SkinLoader::Instance().FindImage(L"mainbg.png");
  ASSERT_EQ(mainbg.At(0, 0).a, 0);
  EXPECT_NE(shot.At(Layout::kMainX, Layout::kMainY), shot.At(Layout::kMainX + 12, Layout::kMainY + 12));

  // The shadow: darker than the desk just below the window's bottom edge,
  // and gone a few pixels further down.
  const RGBA below = shot.At(Layout::kMainX + 340, Layout::kMainY + 494 + 2);
  EXPECT_LT(below.r + below.g + below.b, Layout::kDeskR + Layout::kDeskG + Layout::kDeskB - 30);
  EXPECT_TRUE(IsRgb(shot.At(Layout::kMainX + 340, Layout::kMainY + 494 + 12), Layout::kDeskR, Layout::kDeskG,
                    Layout::kDeskB));

  // The progress bar at 62 %: the fill's pixels left of its end, the
  // background's right of it, both unscaled.
  const skin::ProgressCtrlStyle& bar = skin::SkinLoader::Instance().Get<skin::ProgressCtrlStyle>("progress_update_2").value;
  const int fill = ctrls::ProgressCtrl::FillWidth(328, Layout::kBarPermille * 100, 100000);
  ASSERT_EQ(fill, 203);
  const int bx = Layout::kMainX + Layout::kBarX, by = Layout::kMainY + Layout::kBarY;
  for (int x : {20, fill - 10}) {
    ASSERT_EQ(bar.block.At(x, 12).a, 255);
    EXPECT_EQ(shot.At(bx + x, by + 12), bar.block.At(x, 12)) << "fill at " << x;
  }
  for (int x : {fill + 10, 300}) {
    ASSERT_EQ(bar.bg.At(x, 12).a, 255);
    EXPECT_EQ(shot.At(bx + x, by + 12), bar.bg.At(x, 12)) << "track at " << x;
  }

  // The four looks of the button.
  const skin::ButtonStyle& b = g.StateButton(0).GetStyle();
  const Point p = Distinct(b.look[1], b.look[2]);
  ASSERT_GE(p.x, 0);
  const int shown[4] = {0, 1, 2, 3};
  for (int i = 0; i < 4; ++i) {
    const RGBA got = shot.At(Layout::kButtonsX + i * Layout::kButtonStep + p.x, Layout::kButtonsY + p.y);
    EXPECT_EQ(got, b.look[shown[i]].At(p.x, p.y)) << "look " << i;
  }
  EXPECT_NE(b.look[0].At(p.x, p.y), b.look[1].At(p.x, p.y));

  // The spinner's frame, unscaled.
  const Image strip = skin::SkinLoader::Instance().FindImage(L"loading.png");
  const Upp::Rect frame(104 * Layout::kSpinnerFrame, 0, 104 * (Layout::kSpinnerFrame + 1), 104);
  const Point dot = Opaque(strip, frame);
  ASSERT_GE(dot.x, 0);
  EXPECT_EQ(shot.At(Layout::kMainX + Layout::kSpinnerX + dot.x - frame.left, Layout::kMainY + Layout::kSpinnerY + dot.y),
            strip.At(dot.x, dot.y));

  // The view's scroll bar: the thumb where its geometry says, on the track.
  ctrls::ScrollBar& sb = g.View().GetScrollBar();
  EXPECT_EQ(sb.GetPos(), Layout::kViewScroll);
  ASSERT_TRUE(sb.IsVisible());
  const Upp::Rect bar_rect = sb.GetRootRect();  // in the view window's content
  const int sx = Layout::kViewX + bar_rect.left + bar_rect.Width() / 2;
  const int thumb_mid = Layout::kViewY + bar_rect.top + sb.GetThumbPos() + sb.GetThumbSize() / 2;
  const RGBA thumb = gallery::GalleryScrollBarStyle().vthumb[0].At(5, 12);
  EXPECT_EQ(shot.At(sx, thumb_mid), thumb);
  EXPECT_TRUE(IsRgb(shot.At(sx, Layout::kViewY + bar_rect.top + 2), 0x22, 0x29, 0x35));

  const char* hold = std::getenv("KV_GALLERY_HOLD_MS");
  if (hold) testutil::PumpFor(static_cast<DWORD>(std::atoi(hold)));
}

}  // namespace
