// The tray's layered menu under the real pointer: clicks through xdotool.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/test_util.h"
#include "ctrls/layered_menu.h"
#include "screen_tools.h"

namespace {

using ctrls::LayeredMenu;

class TestMenu : public LayeredMenu {
 public:
  Upp::Image GetShadowImage() override { return Upp::Image(); }
};

// Something else of this program to click on.
class OtherWindow : public ctrls::TopWindow {
 public:
  OtherWindow() {
    EnableShadow(false);
    NoCenter().SetRect(300, 500, 500, 650);
    SetBackgroundColor(Upp::Color(90, 90, 90));
  }
  Upp::Image GetShadowImage() override { return Upp::Image(); }
};

TEST(LayeredMenuOnScreenTest, ClickOutsideHidesItAndClickingTheThirdRowSelectsTwo) {
  const std::string missing = screen_test::MissingScreenTools();
  if (!missing.empty()) GTEST_SKIP() << missing;
  ASSERT_TRUE(screen_test::ParkPointer());
  OtherWindow other;
  ASSERT_NE(other.Create(nullptr), nullptr);
  other.Show();

  TestMenu menu;
  for (const wchar_t* t : {L"Open", L"Pause", L"Exit"}) menu.AddItem(t, Upp::Color(0, 0, 0));
  std::vector<int> chosen;
  menu.WhenSelect = [&](int i) { chosen.push_back(i); };
  const int mx = 600, my = 500, rh = LayeredMenu::kDefaultItemHeight;
  const RECT at = {mx, my, mx + 150, my + 3 * rh + LayeredMenu::kMarginTop + LayeredMenu::kMarginBottom};

  menu.Popup(nullptr, at);
  ASSERT_TRUE(testutil::PumpUntil([&] { return menu.IsShown() && !menu.IsFading(); }, 3000));
  ASSERT_TRUE(screen_test::Xdotool("mousemove 400 575 sleep 0.1 click 1"));
  EXPECT_TRUE(testutil::PumpUntil([&] { return !menu.IsShown(); }, 5000)) << "a click outside left it open";
  EXPECT_TRUE(chosen.empty());

  menu.Popup(nullptr, at);
  ASSERT_TRUE(testutil::PumpUntil([&] { return menu.IsShown() && !menu.IsFading(); }, 3000));
  const int x = mx + 60, y = my + LayeredMenu::kMarginTop + 2 * rh + rh / 2;
  ASSERT_TRUE(screen_test::Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) +
                                   " sleep 0.2 click 1"));
  EXPECT_TRUE(testutil::PumpUntil([&] { return !chosen.empty(); }, 5000));
  EXPECT_EQ(chosen, std::vector<int>{2});
  EXPECT_TRUE(testutil::PumpUntil([&] { return !menu.IsShown(); }, 3000));
  screen_test::ParkPointer();
  DestroyWindow(other.GetHWND());
  if (menu.IsOpen()) DestroyWindow(menu.GetHWND());
}

}  // namespace
