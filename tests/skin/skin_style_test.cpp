// Style records read from skin.info: field keys, nesting, references
// and what a missing field leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "skin/skin_loader.h"
#include "skin_test_util.h"
#include "upp/image_decode.h"

namespace {

using skin::SkinLoader;

Upp::Image SolidImage(int w, int h) {
  std::string png = skintest::EncodePng(w, h, 0xFF202020);
  return Upp::DecodePng(png.data(), png.size());
}

class SkinStyleTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"n.png", L"h.png", L"p.png", L"bg.png", L"fill.png", L"wc1.png"})
      loader_.AddImage(name, SolidImage(8, 6));
    ASSERT_TRUE(loader_.LoadInfoText(
        "TextBlue #a0b3e2\n"
        "TextRed #ff0000\n"
        "normal_ft { Height 12 }\n"
        "link_ft { Height 12 Underline true }\n"
        "btn {\n"
        "  look0 n.png\n  look1 h.png\n  look2 \"p.png[3,3]\"\n  look3 n.png\n"
        "  textcolor0 #010203\n  textcolor1 @TextBlue\n  textcolor2 #\n  textcolor3 bogus\n"
        "  pressoffset [1,1]\n  posx [16,151]\n  posy [5,59]\n  align 2\n  valign -1\n"
        "}\n"
        "btn_ref @btn\n"
        "sparse { look0 missing.png posx [0,-200] }\n"
        "nothing_valid { look0 missing.png align wide }\n"
        "leaf_style 12\n"
        "link {\n  textcolor @TextRed\n  textfont0 @normal_ft_14\n  textfont1 @link_ft\n}\n"
        "bar {\n  tile true\n  animate true\n  block fill.png\n  bg bg.png\n}\n"
        "wnd {\n"
        "  shadow false\n  changeui true\n  wndsize [685,494]\n"
        "  closebox { posx [18,24] posy [47,24] look0 wc1.png transparent true }\n"
        "  minbox @btn\n"
        "  posx [0,76]\n  posy [0,95]\n  wndbg bg.png\n  dragtop 120\n"
        "  titlefont { Height 12 }\n  titleink @TextBlue\n  titletext \"caption text\"\n"
        "  iconpos [8,7]\n  titlepos [30,8]\n  wndcolorbg #102030\n"
        "}\n"
        "edit {\n  paper #ffffff\n  margin [1,2,3,4]\n  edge2 n.png\n  selectedtext #000000\n}\n"
        "option {\n  pressed1 h.png\n  unpressed3 p.png\n  optionview_width 16\n}\n"));
  }

  SkinLoader loader_;
};

TEST_F(SkinStyleTest, ButtonFieldsAreReadInOrderWithTheirTypes) {
  const skin::ButtonStyle& s = loader_.Get<skin::ButtonStyle>("btn").value;
  ASSERT_TRUE(loader_.Get<skin::ButtonStyle>("btn").loaded);
  EXPECT_TRUE(s.look[0].SharesPixelsWith(loader_.FindImage(L"n.png")));
  EXPECT_TRUE(s.look[1].SharesPixelsWith(loader_.FindImage(L"h.png")));
  EXPECT_EQ(Upp::Point(3, 3), s.look[2].GetHotSpot());
  EXPECT_EQ(Upp::Color(1, 2, 3), s.textcolor[0]);
  EXPECT_EQ(Upp::Color(0xa0, 0xb3, 0xe2), s.textcolor[1]);
  EXPECT_TRUE(s.textcolor[2].IsNull());
  EXPECT_TRUE(s.textcolor[3].IsNull());  // "bogus" failed; the neutral default stays
  EXPECT_EQ(Upp::Point(1, 1), s.pressoffset);
  EXPECT_EQ(Upp::Point(16, 151), s.posx);
  EXPECT_EQ(Upp::Point(5, 59), s.posy);
  EXPECT_EQ(2, s.align);
  EXPECT_EQ(-1, s.valign);
  // Sub-keys are cache entries of their own types.
  EXPECT_TRUE(loader_.Get<Upp::Point>("btn.posx").loaded);
  EXPECT_FALSE(loader_.Get<Upp::Color>("btn.textcolor3").loaded);
}

TEST_F(SkinStyleTest, StyleReferenceReadsTheReferencedBlock) {
  skin::ButtonStyle s;
  ASSERT_TRUE(loader_.Read("btn_ref", s));
  EXPECT_EQ(Upp::Point(16, 151), s.posx);
  // The fields were read under the referenced key.
  EXPECT_TRUE(loader_.Get<Upp::Point>("btn.posx").loaded);
}

TEST_F(SkinStyleTest, FailedFieldsKeepTheDefaultGivenToGet) {
  skin::ButtonStyle defaults;
  defaults.align = 7;
  defaults.posx = Upp::Point(1, 2);
  const auto& entry = loader_.Get<skin::ButtonStyle>("sparse", defaults);
  ASSERT_TRUE(entry.loaded);
  EXPECT_EQ(Upp::Point(0, -200), entry.value.posx);
  EXPECT_EQ(7, entry.value.align);
  EXPECT_TRUE(entry.value.look[0].IsEmpty());
}

TEST_F(SkinStyleTest, StyleWithoutAnyValidFieldOrNodeFails) {
  skin::ButtonStyle s;
  s.align = 3;
  EXPECT_FALSE(loader_.Read("nothing_valid", s));
  EXPECT_EQ(3, s.align);
  EXPECT_FALSE(loader_.Read("leaf_style", s));
  EXPECT_FALSE(loader_.Read("absent_style", s));
}

TEST_F(SkinStyleTest, LinkFontReferenceToMissingKeyKeepsItsDefault) {
  loader_.SetFontHook([](const std::wstring&, Upp::Font& font) {
    font.Handle(reinterpret_cast<HFONT>(static_cast<intptr_t>(font.IsUnderline() ? 2 : 1)));
  });
  const skin::LinkStyle defaults = skin::LinkStyle::Standard();
  const auto& entry = loader_.Get<skin::LinkStyle>("link", defaults);
  ASSERT_TRUE(entry.loaded);  // the colour was read
  EXPECT_EQ(Upp::Color(255, 0, 0), entry.value.textcolor);
  EXPECT_EQ(defaults.textfont0, entry.value.textfont0);
  EXPECT_EQ(12, entry.value.textfont1.GetHeight());
  EXPECT_TRUE(entry.value.textfont1.IsUnderline());
  EXPECT_EQ(reinterpret_cast<HFONT>(static_cast<intptr_t>(2)), entry.value.textfont1.GetHandle());
}

TEST_F(SkinStyleTest, LinkStandardIsStdFontAndDarkGrey) {
  const skin::LinkStyle s = skin::LinkStyle::Standard();
  EXPECT_EQ(Upp::StdFont(), s.textfont0);
  EXPECT_EQ(Upp::StdFont(), s.textfont1);
  EXPECT_EQ(Upp::Color(0x33, 0x33, 0x33), s.textcolor);
}

TEST_F(SkinStyleTest, ProgressStyleReadsImagesAndFlags) {
  const auto& entry = loader_.Get<skin::ProgressCtrlStyle>("bar");
  ASSERT_TRUE(entry.loaded);
  EXPECT_TRUE(entry.value.tile);
  EXPECT_TRUE(entry.value.animate);
  EXPECT_TRUE(entry.value.bg.SharesPixelsWith(loader_.FindImage(L"bg.png")));
  EXPECT_TRUE(entry.value.block.SharesPixelsWith(loader_.FindImage(L"fill.png")));
}

TEST_F(SkinStyleTest, WindowStyleReadsNestedButtonsAsTheirOwnEntries) {
  const auto& entry = loader_.Get<skin::SystemPanelStyle>("wnd");
  ASSERT_TRUE(entry.loaded);
  const skin::SystemPanelStyle& s = entry.value;
  EXPECT_FALSE(s.shadow);
  EXPECT_TRUE(s.changeui);
  EXPECT_EQ(Upp::Size(685, 494), s.wndsize);
  EXPECT_EQ(Upp::Point(18, 24), s.closebox.posx);
  EXPECT_EQ(Upp::Point(47, 24), s.closebox.posy);
  EXPECT_FALSE(s.closebox.look[0].IsEmpty());
  EXPECT_EQ(Upp::Point(16, 151), s.minbox.posx);  // through "@btn"
  EXPECT_TRUE(s.restorebox.look[0].IsEmpty());
  EXPECT_EQ(Upp::Point(0, 76), s.posx);
  EXPECT_EQ(Upp::Point(0, 95), s.posy);
  EXPECT_EQ(120, s.dragtop);
  EXPECT_EQ(12, s.titlefont.GetHeight());
  EXPECT_EQ(Upp::Color(0xa0, 0xb3, 0xe2), s.titleink);
  EXPECT_EQ("caption text", s.titletext);
  EXPECT_EQ(Upp::Point(8, 7), s.iconpos);
  EXPECT_EQ(Upp::Point(30, 8), s.titlepos);
  EXPECT_EQ(Upp::Color(0x10, 0x20, 0x30), s.wndcolorbg);
  EXPECT_TRUE(s.icon.IsEmpty());
  // mainwnd.closebox-style entries exist in the button cache in their own right.
  const auto& closebox = loader_.Get<skin::ButtonStyle>("wnd.closebox");
  EXPECT_TRUE(closebox.loaded);
  EXPECT_EQ(Upp::Point(18, 24), closebox.value.posx);
}

TEST_F(SkinStyleTest, EditAndOptionStylesReadTheirKeys) {
  const auto& edit = loader_.Get<skin::EditTextStyle>("edit");
  ASSERT_TRUE(edit.loaded);
  EXPECT_EQ(Upp::Color(255, 255, 255), edit.value.paper);
  EXPECT_EQ(Upp::Color(0, 0, 0), edit.value.selectedtext);
  EXPECT_TRUE(edit.value.text.IsNull());
  EXPECT_EQ(Upp::Rect(1, 2, 3, 4), edit.value.margin);
  EXPECT_FALSE(edit.value.edge[2].IsEmpty());
  EXPECT_TRUE(edit.value.edge[0].IsEmpty());

  const auto& option = loader_.Get<skin::OptionCtrlStyle>("option");
  ASSERT_TRUE(option.loaded);
  EXPECT_FALSE(option.value.pressed[1].IsEmpty());
  EXPECT_TRUE(option.value.pressed[0].IsEmpty());
  EXPECT_FALSE(option.value.unpressed[3].IsEmpty());
  EXPECT_EQ(16, option.value.optionview_width);
}

TEST_F(SkinStyleTest, StyleSelfReferenceThroughNestedBoxEnds) {
  ASSERT_TRUE(loader_.LoadInfoText("loop { closebox @loop.closebox minbox @loop }\n"));
  skin::SystemPanelStyle s;
  // minbox reads "loop" as a button style (no valid field); closebox is a cycle.
  EXPECT_FALSE(loader_.Read("loop", s));
}

}  // namespace
