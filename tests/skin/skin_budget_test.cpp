// The decoded-pixel budget of a skin archive: a crafted archive of large
// one-colour images is refused whole, the shipped skin fits with a wide
// margin, and the skin set-up goes on without the images.
#include <gtest/gtest.h>

#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

#include "app/skin_manager.h"
#include "common/test_util.h"
#include "skin/skin_loader.h"
#include "skin/skin_zip_loader.h"
#include "skin_test_util.h"

namespace {

using skin::SkinZipLoader;
using skintest::ZipEntry;

// 2048 x 2048 pixels each: four of them fill the budget exactly.
std::vector<ZipEntry> LargeImages(int count) {
  const std::string png = skintest::EncodePng(2048, 2048, 0xFF336699);
  std::vector<ZipEntry> entries;
  for (int i = 0; i < count; ++i) entries.push_back({"big" + std::to_string(i) + ".png", png});
  entries.push_back({"small.png", skintest::EncodePng(4, 4, 0xFF000000)});
  return entries;
}

class SkinBudgetTest : public testing::Test {
 protected:
  std::wstring Write(const std::vector<ZipEntry>& entries, const wchar_t* name) {
    const std::wstring path = dir_.Join(name);
    EXPECT_TRUE(testutil::WriteFileBytes(path, skintest::BuildZip(entries)));
    return path;
  }
  testutil::ScopedTempDir dir_;
};

TEST_F(SkinBudgetTest, ArchiveOverTheBudgetAddsNoImageAndFails) {
  static_assert(SkinZipLoader::kMaxSkinPixels == 4ull * 2048 * 2048, "four images fill it");
  {
    skin::SkinLoader loader;
    SkinZipLoader zip(loader);
    EXPECT_FALSE(zip.LoadAllImages(Write(LargeImages(4), L"over.sk")));  // 4 Mi + 16 pixels
    EXPECT_EQ(0u, loader.ImageCount());
  }
  {
    skin::SkinLoader loader;
    SkinZipLoader zip(loader);
    EXPECT_FALSE(zip.LoadAllImages(Write(LargeImages(30), L"thirty.sk")));
    EXPECT_EQ(0u, loader.ImageCount());
  }
  {
    skin::SkinLoader loader;
    SkinZipLoader zip(loader);
    EXPECT_TRUE(zip.LoadAllImages(Write(LargeImages(3), L"under.sk")));
    EXPECT_EQ(4u, loader.ImageCount());
    EXPECT_EQ(Upp::Size(2048, 2048), loader.FindImage(L"big2.png").GetSize());
  }
}

TEST_F(SkinBudgetTest, ShippedSkinFitsAnEighthOfTheBudget) {
  const std::wstring path = dir_.Join(L"skin.sk");
  ASSERT_TRUE(testutil::WriteFileBytes(path, skintest::ResourceBytes(L"SKIN.ZIP")));
  skin::SkinLoader loader;
  SkinZipLoader zip(loader);
  ASSERT_TRUE(zip.LoadAllImages(path));
  uint64_t pixels = 0;
  for (const auto& [name, item] : zip.Entries()) {
    std::wstring lower = name;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    const Upp::Image image = loader.FindImage(lower);
    pixels += static_cast<uint64_t>(image.GetSize().cx) * image.GetSize().cy;
  }
  EXPECT_GT(loader.ImageCount(), 40u);
  EXPECT_GT(pixels, 0u);
  EXPECT_LT(pixels * 8, SkinZipLoader::kMaxSkinPixels);
}

// The description loads, the images do not: the set-up reports the failure
// and the store stays empty, so the windows draw their built-in look.
TEST_F(SkinBudgetTest, SkinSetUpSurvivesAnArchiveOverTheBudget) {
  skin::SkinLoader loader;
  korvan::SkinManager manager(loader);
  const std::wstring info = Write({{"skin.info", "TextGray #717171\n"}}, L"info.sk");
  EXPECT_FALSE(manager.LoadSkinPackages(info, {Write(LargeImages(5), L"images.sk")}));
  EXPECT_EQ(0u, loader.ImageCount());
  EXPECT_EQ(Upp::Color(0x71, 0x71, 0x71), manager.TextGray());
}

}  // namespace
