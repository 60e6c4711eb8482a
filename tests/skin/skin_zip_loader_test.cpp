// Loading skin.info and the images out of skin archives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_util.h"
#include "skin/skin_loader.h"
#include "skin/skin_zip_loader.h"
#include "skin_test_util.h"

namespace {

using skintest::ZipEntry;

class SkinZipLoaderTest : public testing::Test {
 protected:
  std::wstring Write(const std::vector<ZipEntry>& entries, const wchar_t* name = L"skin.sk") {
    const std::wstring path = dir_.Join(name);
    EXPECT_TRUE(testutil::WriteFileBytes(path, skintest::BuildZip(entries)));
    return path;
  }

  testutil::ScopedTempDir dir_;
  skin::SkinLoader loader_;
};

TEST_F(SkinZipLoaderTest, LoadDescriptionParsesTheInfoEntry) {
  skin::SkinZipLoader zip(loader_);
  ASSERT_TRUE(zip.LoadDescription(Write({{"skin.info", "default_wnd_caption \"Korvan\"\n"}})));
  EXPECT_EQ("Korvan", loader_.Get<std::string>("default_wnd_caption").value);
}

TEST_F(SkinZipLoaderTest, LoadDescriptionFailures) {
  struct Case {
    const char* what;
    std::vector<ZipEntry> entries;
  } cases[] = {
      {"no info entry", {{"other.txt", "a 1\n"}}},
      {"empty info entry", {{"skin.info", ""}}},
      {"unparsable info", {{"skin.info", "a {\n"}}},
      {"compressed info", {{"skin.info", "a 1\n", 8}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    skin::SkinZipLoader zip(loader_);
    EXPECT_FALSE(zip.LoadDescription(Write(c.entries)));
  }
  skin::SkinZipLoader zip(loader_);
  EXPECT_FALSE(zip.LoadDescription(dir_.Join(L"absent.sk")));
}

TEST_F(SkinZipLoaderTest, LoadAllImagesStoresLowerCaseNamesAndSkipsTheRest) {
  const std::string red = skintest::EncodePng(3, 2, 0xFFFF0000);
  const std::string blue = skintest::EncodePng(5, 4, 0xFF0000FF);
  const std::string png_prefix = red.substr(0, 40);
  skin::SkinZipLoader zip(loader_);
  ASSERT_TRUE(zip.LoadAllImages(Write({
      {"Images/Foo.PNG", red},
      {"skin.info", "a 1\n"},
      {"folder/", ""},
      {"broken.png", png_prefix},
      {"text.png", "not an image"},
      {"wclose1.png", blue},
  })));
  EXPECT_EQ(2u, loader_.ImageCount());
  const Upp::Image foo = loader_.FindImage(L"images\\foo.png");
  ASSERT_FALSE(foo.IsEmpty());
  EXPECT_EQ(Upp::Size(3, 2), foo.GetSize());
  EXPECT_EQ(255, foo.At(0, 0).r);
  EXPECT_EQ(Upp::Size(5, 4), loader_.FindImage(L"wclose1.png").GetSize());
  EXPECT_TRUE(loader_.FindImage(L"IMAGES\\FOO.PNG").IsEmpty());  // the store is exact
  EXPECT_TRUE(loader_.FindImage(L"broken.png").IsEmpty());
  EXPECT_TRUE(loader_.FindImage(L"skin.info").IsEmpty());
  // The index still finds the entry by its lower-case name.
  EXPECT_EQ(red.size(), zip.EntrySize(L"images\\foo.png"));
}

TEST_F(SkinZipLoaderTest, FirstImageUnderANameStays) {
  skin::SkinZipLoader zip(loader_);
  ASSERT_TRUE(zip.LoadAllImages(Write({{"a.png", skintest::EncodePng(2, 2, 0xFF00FF00)}}, L"one.sk")));
  ASSERT_TRUE(zip.LoadAllImages(Write({{"A.png", skintest::EncodePng(9, 9, 0xFF00FF00)}}, L"two.sk")));
  EXPECT_EQ(Upp::Size(2, 2), loader_.FindImage(L"a.png").GetSize());
  EXPECT_FALSE(loader_.AddImage(L"a.png", loader_.FindImage(L"a.png")));
}

TEST_F(SkinZipLoaderTest, ArchiveWithCompressedFirstEntryYieldsNoImages) {
  skin::SkinZipLoader zip(loader_);
  EXPECT_FALSE(zip.LoadAllImages(Write({{"a.png", "deflated", 8}, {"b.png", skintest::EncodePng(1, 1, 0)}})));
  EXPECT_EQ(0u, loader_.ImageCount());
  EXPECT_TRUE(zip.Entries().empty());
}

TEST_F(SkinZipLoaderTest, LoadOneImageFindsAnyCaseAndDoesNotStore) {
  const std::wstring archive = Write({{"Loading.PNG", skintest::EncodePng(12, 1, 0x80FFFFFF)},
                                      {"bad.png", "xx"}});
  skin::SkinZipLoader zip(loader_);
  const Upp::Image image = zip.LoadOneImage(archive, L"loading.png");
  ASSERT_FALSE(image.IsEmpty());
  EXPECT_EQ(Upp::Size(12, 1), image.GetSize());
  EXPECT_EQ(0u, loader_.ImageCount());
  EXPECT_TRUE(zip.LoadOneImage(archive, L"missing.png").IsEmpty());
  EXPECT_TRUE(zip.LoadOneImage(archive, L"bad.png").IsEmpty());
  EXPECT_TRUE(zip.LoadOneImage(dir_.Join(L"absent.sk"), L"loading.png").IsEmpty());
}

TEST_F(SkinZipLoaderTest, LoadImageUsesTheArchiveHookOrTheFolder) {
  const std::wstring archive = Write({{"spin.png", skintest::EncodePng(6, 6, 0xFF101010)}});
  EXPECT_TRUE(loader_.LoadImage(L"spin.png").IsEmpty());  // neither set

  std::vector<std::wstring> calls;
  loader_.SetImageLoader([&](const std::wstring& a, const std::wstring& name) {
    calls.push_back(a + L"|" + name);
    skin::SkinZipLoader zip(loader_);
    return zip.LoadOneImage(a, name);
  });
  loader_.SetImageArchive(archive);
  EXPECT_EQ(Upp::Size(6, 6), loader_.LoadImage(L"spin.png").GetSize());
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(archive + L"|spin.png", calls[0]);

  ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(L"file.png"), skintest::EncodePng(7, 3, 0xFF000000)));
  loader_.SetImageFolder(dir_.path());
  EXPECT_TRUE(loader_.ImageArchive().empty());
  EXPECT_EQ(Upp::Size(7, 3), loader_.LoadImage(L"file.png").GetSize());
  EXPECT_TRUE(loader_.LoadImage(L"spin.png").IsEmpty());
  EXPECT_EQ(1u, calls.size());

  loader_.SetImageArchive(archive);
  EXPECT_TRUE(loader_.ImageFolder().empty());
  loader_.SetImageLoader(nullptr);
  EXPECT_TRUE(loader_.LoadImage(L"spin.png").IsEmpty());
}

TEST_F(SkinZipLoaderTest, EmptyNamesAndImagesAreNotStored) {
  const Upp::Image image = skin::SkinZipLoader(loader_).LoadOneImage(
      Write({{"x.png", skintest::EncodePng(1, 1, 0xFF000000)}}), L"x.png");
  ASSERT_FALSE(image.IsEmpty());
  EXPECT_FALSE(loader_.AddImage(L"", image));
  EXPECT_FALSE(loader_.AddImage(L"e.png", Upp::Image()));
  EXPECT_TRUE(loader_.AddImage(L"x.png", image));
  EXPECT_FALSE(loader_.AddImage(L"x.png", Upp::Image()));
  EXPECT_EQ(1u, loader_.ImageCount());
}

}  // namespace
