#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/test_util.h"
#include "ctrls/layered_menu.h"
#include "upp/offscreen_host.h"

namespace {

using ctrls::LayeredMenu;
using ctrls::LayeredMenuItem;
using ctrls::LayeredMenuItemList;
using Upp::Point;
using Upp::Size;

bool IsGrey(Upp::RGBA p, int v) { return p.r == v && p.g == v && p.b == v && p.a == 255; }

// Whether any pixel of row y in [x0, x1) is not the light row colour.
bool HasInk(const Upp::Draw& d, int x0, int x1, int y0, int y1) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (!IsGrey(d.At(x, y), 0xFA)) return true;
  return false;
}

// Three rows 24 pixels high in a 150 x 80 list.
class MenuItemListTest : public testing::Test {
 protected:
  MenuItemListTest() : host(list, Size(150, 80)) {
    for (const wchar_t* text : {L"HOpen", L"HPause", L"HExit"}) {
      auto item = std::make_unique<LayeredMenuItem>(text, Upp::Color(0, 0, 0));
      item->SetRect(0, 0, 10, 24);
      list.AddItem(std::move(item));
    }
    list.WhenSelect = [this](int i) { selected.push_back(i); };
  }

  LayeredMenuItemList list;
  Upp::OffscreenHost host;
  std::vector<int> selected;
};

TEST_F(MenuItemListTest, RowsAreLightUntilHoveredThenGreyInsideTwoPixels) {
  Upp::Draw& d = host.Paint();
  EXPECT_TRUE(IsGrey(d.At(5, 30), 0xFA));
  host.Move(Point(5, 30));
  EXPECT_TRUE(list.GetMenuItem(1)->IsHot());
  host.Paint();
  EXPECT_TRUE(IsGrey(d.At(2, 26), 0xD3));   // first pixel inside the inset
  EXPECT_TRUE(IsGrey(d.At(147, 45), 0xD3));
  EXPECT_TRUE(IsGrey(d.At(1, 30), 0xFA));   // the inset shows the list
  EXPECT_TRUE(IsGrey(d.At(5, 25), 0xFA));
  EXPECT_TRUE(IsGrey(d.At(5, 10), 0xFA));   // other rows stay light
  host.Move(Point(5, 60));
  EXPECT_FALSE(list.GetMenuItem(1)->IsHot());
  EXPECT_TRUE(list.GetMenuItem(2)->IsHot());
}

TEST_F(MenuItemListTest, TextStartsAt35OrAt30WithIconColumn) {
  Upp::Draw& d = host.Paint();
  EXPECT_FALSE(HasInk(d, 2, 35, 2, 22));
  EXPECT_TRUE(HasInk(d, 35, 60, 2, 22));
  list.GetMenuItem(0)->IconColumn();
  host.Paint();
  EXPECT_TRUE(HasInk(d, 30, 35, 2, 22));
  EXPECT_FALSE(HasInk(d, 2, 30, 2, 22));
}

TEST_F(MenuItemListTest, MarkedItemShowsIconAt9_7OnlyWithIconColumn) {
  Upp::ImageBuffer b(Size(4, 4));
  for (int i = 0; i < 16; ++i) b.Pixels()[i] = Upp::RGBA{200, 0, 0, 255};  // blue
  LayeredMenuItem& item = *list.GetMenuItem(0);
  item.SetIcon(b.Finish()).Mark();
  Upp::Draw& d = host.Paint();
  EXPECT_TRUE(IsGrey(d.At(10, 8), 0xFA));
  item.IconColumn();
  host.Paint();
  EXPECT_EQ(d.At(9, 7).b, 200);
  EXPECT_EQ(d.At(12, 10).b, 200);
  EXPECT_TRUE(IsGrey(d.At(8, 7), 0xFA));
}

TEST_F(MenuItemListTest, ClickingTheThirdRowSelectsTwo) {
  host.Click(Point(40, 60));
  EXPECT_EQ(selected, std::vector<int>{2});
}

TEST_F(MenuItemListTest, ReleasingOffTheRowSelectsNothing) {
  host.Move(Point(40, 10));
  host.Press(Point(40, 10));
  host.Move(Point(40, 60), Upp::K_LBUTTON);
  host.Release(Point(40, 60));
  EXPECT_TRUE(selected.empty());
}

TEST_F(MenuItemListTest, ListAddsIconColumnFlagToNewRows) {
  list.IconColumn();
  auto item = std::make_unique<LayeredMenuItem>(L"x", Upp::Color(0, 0, 0));
  LayeredMenuItem* raw = item.get();
  EXPECT_EQ(list.AddItem(std::move(item)), 3);
  EXPECT_TRUE(raw->HasIconColumn());
  EXPECT_FALSE(list.GetMenuItem(0)->HasIconColumn());
}

// --- the real window ---

class TestMenu : public LayeredMenu {
 public:
  Upp::Image GetShadowImage() override { return Upp::Image(); }
};

RECT At(int x, int y, int cx, int cy) { return RECT{x, y, x + cx, y + cy}; }

// A row's centre in the content's (window client) coordinates.
Point RowCentre(int row, int height) {
  return Point(60, LayeredMenu::kMarginTop + row * height + height / 2);
}

TEST(LayeredMenuTest, BuiltAsTopmostToolLayeredWindowFadingInFourSteps) {
  TestMenu menu;
  EXPECT_EQ(menu.GetWindowExStyle() & 0x00080088u, 0x00080088u);
  menu.AddItem(L"One", Upp::Color(0, 0, 0)).AddItem(L"Two", Upp::Color(0, 0, 0));
  menu.Popup(nullptr, At(40, 40, 120, 62));
  ASSERT_TRUE(menu.IsOpen());
  EXPECT_TRUE(menu.IsShown());
  EXPECT_EQ(menu.GetAlpha(), 0);
  std::vector<int> alphas;
  while (menu.IsFading()) {
    menu.FadeTick();
    alphas.push_back(menu.GetAlpha());
  }
  EXPECT_EQ(alphas, (std::vector<int>{63, 127, 191, 255}));
  EXPECT_TRUE(menu.IsShown());  // it stays
  EXPECT_EQ(menu.GetList().GetRect(), Upp::Rect(5, 3, 115, 55));
  DestroyWindow(menu.GetHWND());
}

TEST(LayeredMenuTest, ChoosingTheThirdItemSelectsTwoAndHides) {
  TestMenu menu;
  for (const wchar_t* t : {L"A", L"B", L"C"}) menu.AddItem(t, Upp::Color(0, 0, 0));
  std::vector<int> chosen;
  menu.WhenSelect = [&](int i) { chosen.push_back(i); };
  menu.Popup(nullptr, At(40, 40, 120, 3 * 26 + 10));
  ASSERT_TRUE(menu.IsShown());
  Upp::Ctrl& content = menu.GetContent();
  const Point p = RowCentre(2, LayeredMenu::kDefaultItemHeight);
  content.DispatchMouse(Upp::Ctrl::MOUSEMOVE, p);
  EXPECT_TRUE(menu.GetList().GetMenuItem(2)->IsHot());
  content.DispatchMouse(Upp::Ctrl::LEFTDOWN, p, 0, Upp::K_LBUTTON);
  content.DispatchMouse(Upp::Ctrl::LEFTUP, p);
  EXPECT_EQ(chosen, std::vector<int>{2});
  EXPECT_FALSE(menu.IsShown());
  EXPECT_FALSE(menu.IsFading());
  DestroyWindow(menu.GetHWND());
}

TEST(LayeredMenuTest, SelectionMayDestroyTheMenu) {
  auto menu = std::make_unique<TestMenu>();
  menu->AddItem(L"A", Upp::Color(0, 0, 0));
  int chosen = -1;
  menu->WhenSelect = [&](int i) { chosen = i; menu.reset(); };
  menu->Popup(nullptr, At(40, 40, 120, 40));
  Upp::Ctrl& content = menu->GetContent();
  const Point p = RowCentre(0, LayeredMenu::kDefaultItemHeight);
  content.DispatchMouse(Upp::Ctrl::MOUSEMOVE, p);
  content.DispatchMouse(Upp::Ctrl::LEFTDOWN, p, 0, Upp::K_LBUTTON);
  content.DispatchMouse(Upp::Ctrl::LEFTUP, p);
  EXPECT_EQ(chosen, 0);
  EXPECT_EQ(menu, nullptr);
}

// A plain window of this thread to move the focus to.
HWND MakeOtherWindow() {
  return CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 300, 300, 50, 50,
                         nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST(LayeredMenuTest, LosingFocusHidesAtOnceUnlessKeptOpen) {
  TestMenu menu;
  menu.AddItem(L"A", Upp::Color(0, 0, 0));
  menu.Popup(nullptr, At(40, 40, 120, 40));
  ASSERT_TRUE(menu.IsShown());
  EXPECT_EQ(GetFocus(), menu.GetHWND());
  HWND other = MakeOtherWindow();
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  SetFocus(other);
  EXPECT_FALSE(menu.IsShown());
  EXPECT_FALSE(menu.IsFading());
  EXPECT_EQ(menu.GetAlpha(), 0);

  menu.KeepOpen();
  menu.Popup(nullptr, At(40, 40, 120, 40));
  ASSERT_TRUE(menu.IsShown());
  SetForegroundWindow(other);
  SetFocus(other);
  EXPECT_TRUE(menu.IsShown());
  DestroyWindow(other);
  DestroyWindow(menu.GetHWND());
}

TEST(LayeredMenuTest, NoActivateShowsWithoutTakingFocus) {
  HWND other = MakeOtherWindow();
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  SetFocus(other);
  TestMenu menu;
  menu.NoActivate();
  menu.AddItem(L"A", Upp::Color(0, 0, 0));
  menu.Popup(nullptr, At(40, 40, 120, 40));
  EXPECT_TRUE(menu.IsShown());
  EXPECT_TRUE(GetWindowLongW(menu.GetHWND(), GWL_EXSTYLE) & WS_EX_NOACTIVATE);
  EXPECT_EQ(GetFocus(), other);
  DestroyWindow(other);
  DestroyWindow(menu.GetHWND());
}

}  // namespace
