#include <gtest/gtest.h>

#include "ctrls/scroll_bar_style.h"

namespace {

TEST(ScrollBarStyleTest, ReadsNumbersSwitchesAndArrowButtonsFromSkinText) {
  skin::SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText(
      "vscroll\n"
      "{\n"
      "\tbarsize 9\n"
      "\tarrowsize 11\n"
      "\tthumbmin 24\n"
      "\tisdown2 true\n"
      "\tup { posx [3,4] }\n"
      "}\n"));
  ctrls::ScrollBarStyle style;
  ASSERT_TRUE(ctrls::ReadScrollBarStyle(loader, "vscroll", style));
  EXPECT_EQ(style.barsize, 9);
  EXPECT_EQ(style.arrowsize, 11);
  EXPECT_EQ(style.thumbmin, 24);
  EXPECT_TRUE(style.isdown2);
  EXPECT_FALSE(style.isup2);
  EXPECT_EQ(style.up.posx, Upp::Point(3, 4));
}

TEST(ScrollBarStyleTest, MissingKeyLeavesDefaults) {
  skin::SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText("other { barsize 3 }\n"));
  ctrls::ScrollBarStyle style;
  EXPECT_FALSE(ctrls::ReadScrollBarStyle(loader, "vscroll", style));
  EXPECT_EQ(style.barsize, 16);
  EXPECT_EQ(style.thumbmin, 16);
}

}  // namespace
