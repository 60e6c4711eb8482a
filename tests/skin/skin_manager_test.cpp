// The skin manager: platform fonts per key, settled accessors, the caption,
// and the set-up with the real skin this program carries.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/skin_manager.h"
#include "common/test_util.h"
#include "skin/skin_loader.h"
#include "skin/skin_zip_loader.h"
#include "skin_test_util.h"

namespace {

const wchar_t kYaHei[] = L"\u5FAE\u8F6F\u96C5\u9ED1";

// Restores the toolkit's standard font, which SetDefaultFont changes.
class StdFontGuard {
 public:
  StdFontGuard() : saved_(Upp::StdFont()) {}
  ~StdFontGuard() { Upp::SetStdFont(saved_); }

 private:
  Upp::Font saved_;
};

class SkinManagerTest : public testing::Test {
 protected:
  StdFontGuard std_font_;
  skin::SkinLoader loader_;
  korvan::SkinManager manager_{loader_};
};

TEST_F(SkinManagerTest, FontHookCreatesOnePlatformFontPerKey) {
  Upp::Font font = Upp::Font().Height(14).Bold();
  EXPECT_TRUE(manager_.OnFontRead(L"bold14", font));
  ASSERT_NE(nullptr, font.GetHandle());
  LOGFONTW lf = {};
  ASSERT_TRUE(manager_.GetPlatformFontDescription(L"bold14", &lf));
  EXPECT_EQ(-14, lf.lfHeight);
  EXPECT_EQ(FW_BOLD, lf.lfWeight);
  EXPECT_EQ(FALSE, lf.lfUnderline);
  EXPECT_STREQ(kYaHei, lf.lfFaceName);

  // The same key again: the stored record wins over what the caller brings.
  Upp::Font again = Upp::Font().Height(30);
  EXPECT_FALSE(manager_.OnFontRead(L"bold14", again));
  EXPECT_EQ(font, again);
  EXPECT_EQ(1u, manager_.PlatformFontCount());

  // Another key with identical flags gets a platform font of its own.
  Upp::Font twin = Upp::Font().Height(14).Bold();
  EXPECT_TRUE(manager_.OnFontRead(L"bold14_twin", twin));
  EXPECT_NE(font.GetHandle(), twin.GetHandle());
  EXPECT_EQ(2u, manager_.PlatformFontCount());

  Upp::Font link = Upp::Font().Height(12).Underline();
  manager_.OnFontRead(L"link", link);
  ASSERT_TRUE(manager_.GetPlatformFontDescription(L"link", &lf));
  EXPECT_EQ(-12, lf.lfHeight);
  EXPECT_EQ(FW_NORMAL, lf.lfWeight);
  EXPECT_EQ(TRUE, lf.lfUnderline);
}

TEST_F(SkinManagerTest, AccessorsSettleAKeyAtItsFirstRequest) {
  ASSERT_TRUE(loader_.LoadInfoText("TextGray #717171\n"));
  EXPECT_EQ(Upp::Color(0x71, 0x71, 0x71), manager_.TextGray());
  EXPECT_TRUE(manager_.TextGreen().IsNull());
  EXPECT_TRUE(manager_.GetSkinText(L"caption").empty());
  EXPECT_EQ(0, manager_.GetSkinFont(L"f").GetHeight());
  ASSERT_TRUE(loader_.LoadInfoText("TextGreen #22b21a\ncaption x\nf { Height 20 }\n"));
  EXPECT_TRUE(manager_.TextGreen().IsNull());
  EXPECT_TRUE(manager_.GetSkinText(L"caption").empty());
  EXPECT_EQ(0, manager_.GetSkinFont(L"f").GetHeight());
  EXPECT_TRUE(loader_.Get<Upp::Color>("TextGreen").loaded);
}

TEST_F(SkinManagerTest, WindowCaptionIsDecodedAsGbk) {
  // "下载器" in GBK, whatever the system's ANSI code page is.
  ASSERT_TRUE(loader_.LoadInfoText("default_wnd_caption \"\xCF\xC2\xD4\xD8\xC6\xF7\"\n"));
  EXPECT_EQ(L"\u4E0B\u8F7D\u5668", manager_.GetWindowCaption());
}

TEST_F(SkinManagerTest, LoadSkinPackagesStopsAtTheFirstFailure) {
  testutil::ScopedTempDir dir;
  const std::wstring info = dir.Join(L"info.sk");
  const std::wstring images = dir.Join(L"images.sk");
  const std::wstring bad = dir.Join(L"bad.sk");
  ASSERT_TRUE(testutil::WriteFileBytes(info, skintest::BuildZip({{"skin.info", "TextRed #ff0000\n"}})));
  ASSERT_TRUE(testutil::WriteFileBytes(images, skintest::BuildZip({{"a.png", skintest::EncodePng(1, 1, 0xFF000000)}})));
  ASSERT_TRUE(testutil::WriteFileBytes(bad, skintest::BuildZip({{"b.png", "x", 8}})));

  EXPECT_FALSE(manager_.LoadSkinPackages(dir.Join(L"absent.sk"), {images}));
  EXPECT_EQ(0u, loader_.ImageCount());
  EXPECT_FALSE(manager_.LoadSkinPackages(info, {bad, images}));
  EXPECT_EQ(0u, loader_.ImageCount());
  EXPECT_TRUE(manager_.LoadSkinPackages(info, {images}));
  EXPECT_EQ(1u, loader_.ImageCount());
  EXPECT_EQ(Upp::Color(255, 0, 0), manager_.TextRed());
}

TEST_F(SkinManagerTest, SetDefaultFontMakesTheStandardFont) {
  ASSERT_TRUE(loader_.LoadInfoText("normal_ft { Height 13 }\n"));
  loader_.SetFontHook([this](const std::wstring& key, Upp::Font& font) { manager_.OnFontRead(key, font); });
  manager_.SetDefaultFont(L"normal_ft");
  EXPECT_EQ(13, Upp::StdFont().GetHeight());
  ASSERT_NE(nullptr, manager_.DefaultPlatformFont());
  EXPECT_EQ(manager_.DefaultPlatformFont(), Upp::StdFont().GetHandle());
}

// --- the shipped skin ------------------------------------------------------------

class ShippedSkinTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(skintest::ResourceBytes(L"SKIN.ZIP").empty());
    manager_.LoadSkin(dir_.path());
  }

  StdFontGuard std_font_;
  testutil::ScopedTempDir dir_;
  skin::SkinLoader loader_;
  korvan::SkinManager manager_{loader_};
};

TEST_F(ShippedSkinTest, ScratchFolderIsGoneAfterTheSetUp) {
  EXPECT_FALSE(testutil::FolderExists(dir_.Join(L"skin")));
  EXPECT_TRUE(testutil::FolderExists(dir_.path()));
  EXPECT_GT(loader_.ImageCount(), 0u);
}

TEST_F(ShippedSkinTest, ExistingScratchFolderIsReusedAndRemoved) {
  ASSERT_TRUE(CreateDirectoryW(dir_.Join(L"skin").c_str(), nullptr));
  ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(L"skin\\stale.sk"), "old"));
  skin::SkinLoader loader;
  korvan::SkinManager manager(loader);
  manager.LoadSkin(dir_.path());
  EXPECT_FALSE(testutil::FolderExists(dir_.Join(L"skin")));
  EXPECT_EQ(loader_.ImageCount(), loader.ImageCount());
}

TEST_F(ShippedSkinTest, ImagesHaveTheSizesTheLayoutsNeed) {
  struct Expect {
    std::wstring name;
    int cx, cy;
  };
  std::vector<Expect> table = {{L"mainbg.png", 685, 494},
                               {L"progress_bg.png", 328, 25},
                               {L"progress_front.png", 328, 25},
                               {L"loading.png", 1248, 104}};
  for (const wchar_t* b : {L"download_begin", L"resume", L"pause", L"retry", L"install"})
    for (int s = 1; s <= 3; ++s)
      table.push_back({L"btn_" + std::wstring(b) + L"_" + std::to_wstring(s) + L".png", 151, 59});
  for (int s = 1; s <= 3; ++s) {
    table.push_back({L"btn_folder_" + std::to_wstring(s) + L".png", 20, 16});
    table.push_back({L"wclose" + std::to_wstring(s) + L".png", 24, 24});
    table.push_back({L"wmin" + std::to_wstring(s) + L".png", 24, 24});
    for (int t = 1; t <= 3; ++t)
      table.push_back({L"top_link_btn" + std::to_wstring(t) + L"_" + std::to_wstring(s) + L".png", 140, 38});
  }
  for (const Expect& e : table) {
    SCOPED_TRACE(std::string(e.name.begin(), e.name.end()));
    const Upp::Image image = loader_.FindImage(e.name);
    ASSERT_FALSE(image.IsEmpty());
    EXPECT_EQ(Upp::Size(e.cx, e.cy), image.GetSize());
  }
  const Upp::Size tray = loader_.FindImage(L"tray.png").GetSize();
  EXPECT_TRUE(tray == Upp::Size(16, 16) || tray == Upp::Size(32, 32));
  // The nine-grid images must be larger than their margins.
  const Upp::Size shadow = loader_.FindImage(L"shadow.png").GetSize();
  EXPECT_GT(shadow.cx, 6 + 8);
  EXPECT_GT(shadow.cy, 4 + 6);
  const Upp::Size field = loader_.FindImage(L"path_edit_bg.png").GetSize();
  EXPECT_GT(field.cx, 20);
  EXPECT_LE(field.cx, 220);
  EXPECT_LE(field.cy, 30);  // inside the 100-pixel panel above the bar at y 42
  // Logos sit 23 px above the bottom edge, below the plate that ends at 428.
  for (const wchar_t* logo : {L"logo_lm.png", L"logo_brisca.png", L"logo_sina.png"}) {
    const Upp::Size s = loader_.FindImage(logo).GetSize();
    EXPECT_GT(s.cx, 0);
    EXPECT_LE(s.cy, 494 - 23 - 428);
  }
  const Upp::Size ad = loader_.FindImage(L"logo_ad.png").GetSize();
  EXPECT_GT(ad.cx, 0);
  EXPECT_LE(ad.cy, 100 - 5 - 67);  // below the bar, which ends at y 67
}

TEST_F(ShippedSkinTest, MainBackgroundHasSoftAlphaEdges) {
  const Upp::Image bg = loader_.FindImage(L"mainbg.png");
  ASSERT_FALSE(bg.IsEmpty());
  EXPECT_EQ(0, bg.At(0, 0).a);
  EXPECT_EQ(255, bg.At(342, 250).a);
  bool partial = false;
  for (int x = 0; x < 20 && !partial; ++x) {
    const int a = bg.At(x, 250).a;
    partial = a > 0 && a < 255;
  }
  EXPECT_TRUE(partial);
  // Premultiplied: no channel above alpha anywhere along the edge.
  for (int x = 0; x < 20; ++x) {
    const Upp::RGBA p = bg.At(x, 250);
    EXPECT_LE(p.r, p.a);
    EXPECT_LE(p.g, p.a);
    EXPECT_LE(p.b, p.a);
  }
}

TEST_F(ShippedSkinTest, EveryImageSkinInfoNamesIsShippedOrKnownMissing) {
  const std::set<std::string> known_missing = {
      "titleimage.png", "normal_wnd_bg.png", "main_middle.png", "prompt_bg.png",
      "prompt_close_1.png", "prompt_close_2.png", "prompt_close_3.png",
      "confirm_btn_1.png", "confirm_btn_2.png", "confirm_btn_3.png",
      "upgrade_btn_1.png", "upgrade_btn_2.png", "upgrade_btn_3.png",
      "later_btn_1.png", "later_btn_2.png", "later_btn_3.png",
      "progress_effect.png", "btn_pause_4.png"};
  skin::SkinZipLoader zip(loader_);
  testutil::ScopedTempDir dir;
  ASSERT_TRUE(testutil::WriteFileBytes(dir.Join(L"i.sk"), skintest::ResourceBytes(L"SKININFO.ZIP")));
  ASSERT_TRUE(zip.OpenArchive(dir.Join(L"i.sk")));
  std::string text(zip.EntrySize(L"skin.info"), '\0');
  ASSERT_FALSE(text.empty());
  zip.ReadEntry(L"skin.info", &text[0], static_cast<uint32_t>(text.size()));

  const std::regex png_name("[A-Za-z0-9_]+\\.png");
  std::set<std::string> named;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), png_name); it != std::sregex_iterator(); ++it)
    named.insert(it->str());
  EXPECT_GT(named.size(), 30u);
  for (const std::string& name : named) {
    SCOPED_TRACE(name);
    const bool shipped = !loader_.FindImage(std::wstring(name.begin(), name.end())).IsEmpty();
    EXPECT_NE(shipped, known_missing.count(name) > 0);
  }
}

TEST_F(ShippedSkinTest, LinkFontRequestedTwiceCreatesOnePlatformFont) {
  const size_t before = manager_.PlatformFontCount();
  const Upp::Font first = manager_.GetSkinFont(L"link_ft");
  const Upp::Font second = manager_.GetSkinFont(L"link_ft");
  EXPECT_EQ(before + 1, manager_.PlatformFontCount());
  ASSERT_NE(nullptr, first.GetHandle());
  EXPECT_EQ(first.GetHandle(), second.GetHandle());
  EXPECT_EQ(12, first.GetHeight());
  EXPECT_TRUE(first.IsUnderline());
  // A link style referencing link_ft shares that platform font.
  const auto& link = loader_.Get<skin::LinkStyle>("normal_blue_link", skin::LinkStyle::Standard());
  EXPECT_EQ(first.GetHandle(), link.value.textfont1.GetHandle());
  EXPECT_EQ(before + 1, manager_.PlatformFontCount());
}

TEST_F(ShippedSkinTest, CaptionColoursAndDefaultFont) {
  EXPECT_EQ(L"Korvan", manager_.GetWindowCaption());
  EXPECT_EQ(Upp::Color(0xff, 0xff, 0xff), manager_.TextWhite());  // the first of two
  EXPECT_EQ(Upp::Color(0x33, 0x33, 0x33), manager_.TextBlack());
  EXPECT_EQ(Upp::Color(0x71, 0x71, 0x71), manager_.TextGray());
  EXPECT_EQ(Upp::Color(0xff, 0x00, 0x00), manager_.TextRed());
  EXPECT_EQ(Upp::Color(0xa0, 0xb3, 0xe2), manager_.TextBlue());
  EXPECT_EQ(Upp::Color(0x22, 0xb2, 0x1a), manager_.TextGreen());
  EXPECT_EQ(Upp::Color(0xff, 0x55, 0x00), manager_.TextOrange());
  EXPECT_EQ(Upp::Color(0xff, 0xbb, 0x19), manager_.TextYellow());
  EXPECT_EQ(Upp::Color(0xcc, 0x99, 0x66), manager_.TextBrown());

  EXPECT_EQ(12, Upp::StdFont().GetHeight());
  ASSERT_NE(nullptr, manager_.DefaultPlatformFont());
  EXPECT_EQ(manager_.DefaultPlatformFont(), Upp::StdFont().GetHandle());
  LOGFONTW lf = {};
  ASSERT_TRUE(manager_.GetPlatformFontDescription(L"normal_ft", &lf));
  EXPECT_EQ(-12, lf.lfHeight);
  EXPECT_EQ(FW_NORMAL, lf.lfWeight);
  EXPECT_STREQ(kYaHei, lf.lfFaceName);

  LOGFONTW bold = {};
  manager_.GetSkinFont(L"bold18_link_ft");
  ASSERT_TRUE(manager_.GetPlatformFontDescription(L"bold18_link_ft", &bold));
  EXPECT_EQ(-18, bold.lfHeight);
  EXPECT_EQ(FW_BOLD, bold.lfWeight);
}

TEST_F(ShippedSkinTest, MainWindowStyleMatchesTheLayout) {
  const auto& entry = loader_.Get<skin::SystemPanelStyle>("mainwnd");
  ASSERT_TRUE(entry.loaded);
  const skin::SystemPanelStyle& s = entry.value;
  EXPECT_FALSE(s.shadow);
  EXPECT_EQ(Upp::Size(685, 494), s.wndsize);
  EXPECT_EQ(120, s.dragtop);
  EXPECT_EQ(Upp::Point(0, 76), s.posx);
  EXPECT_EQ(Upp::Point(0, 95), s.posy);
  EXPECT_EQ(Upp::Size(685, 494), s.wndbg.GetSize());
  EXPECT_EQ(Upp::Point(18, 24), s.closebox.posx);
  EXPECT_EQ(Upp::Point(47, 24), s.closebox.posy);
  EXPECT_EQ(Upp::Point(44, 24), s.minbox.posx);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Upp::Size(24, 24), s.closebox.look[i].GetSize());
    EXPECT_EQ(Upp::Size(24, 24), s.minbox.look[i].GetSize());
  }
  EXPECT_TRUE(s.closebox.look[0].SharesPixelsWith(s.closebox.look[3]));
}

TEST_F(ShippedSkinTest, ShippedStylesReadAsDescribed) {
  const auto& pause = loader_.Get<skin::ButtonStyle>("pause_btn");
  ASSERT_TRUE(pause.loaded);
  EXPECT_EQ(Upp::Size(151, 59), pause.value.look[0].GetSize());
  EXPECT_TRUE(pause.value.look[3].IsEmpty());  // btn_pause_4.png of the first block is not shipped

  const auto& bar = loader_.Get<skin::ProgressCtrlStyle>("progress_update_2");
  ASSERT_TRUE(bar.loaded);
  EXPECT_TRUE(bar.value.tile);
  EXPECT_EQ(Upp::Size(328, 25), bar.value.bg.GetSize());
  EXPECT_EQ(Upp::Size(328, 25), bar.value.block.GetSize());

  const auto& menu = loader_.Get<skin::SystemPanelStyle>("menu");
  ASSERT_TRUE(menu.loaded);
  EXPECT_EQ(Upp::Point(6, 4), menu.value.wndbg.GetHotSpot());
  EXPECT_EQ(Upp::Point(8, 6), menu.value.wndbg.Get2ndSpot());

  const auto& middle = loader_.Get<skin::SystemPanelStyle>("middlewnd");
  EXPECT_TRUE(middle.loaded);
  EXPECT_TRUE(middle.value.wndbg.IsEmpty());

  const auto& check = loader_.Get<skin::SystemPanelStyle>("checkgamewnd");
  EXPECT_EQ(Upp::Point(0, -200), check.value.posx);

  const auto& big_link = loader_.Get<skin::LinkStyle>("normal14_blue_link", skin::LinkStyle::Standard());
  ASSERT_TRUE(big_link.loaded);
  EXPECT_EQ(Upp::StdFont(), big_link.value.textfont0);  // normal_ft_14 names no key
  EXPECT_EQ(14, big_link.value.textfont1.GetHeight());

  const Upp::Image field = loader_.Get<Upp::Image>("path_edit_bg").value;
  EXPECT_EQ(Upp::Point(10, 10), field.GetHotSpot());
  EXPECT_FALSE(field.Has2ndSpot());
  EXPECT_FALSE(loader_.Get<Upp::Image>("progress_effect").loaded);
  // No archive or folder is set, so loading outside the store gives nothing.
  EXPECT_TRUE(loader_.LoadImage(L"loading.png").IsEmpty());
}

}  // namespace
