// Loading of skin.info text: what parses, what is refused, and that a
// refused text changes nothing.
#include <gtest/gtest.h>

#include <string>

#include "skin/skin_loader.h"

namespace {

using skin::SkinLoader;

TEST(SkinInfoTextTest, ParsesBlocksCommentsQuotesAndPaths) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText(
      "; a comment\n"
      "mainwnd\n"
      "{\n"
      "\tdragtop 120 ; trailing comment\n"
      "\tclosebox { posx [18,24] }\n"
      "}\n"
      "caption \"two words\"\r\n"));
  EXPECT_EQ("120", loader.Value("mainwnd.dragtop"));
  EXPECT_EQ("[18,24]", loader.Value("mainwnd.closebox.posx"));
  EXPECT_EQ("two words", loader.Value("caption"));
  EXPECT_TRUE(loader.HasKey("mainwnd.closebox"));
  EXPECT_FALSE(loader.HasKey("MainWnd"));  // paths are case-sensitive
  EXPECT_EQ("", loader.Value("mainwnd.absent"));
}

TEST(SkinInfoTextTest, DuplicateKeysReadTheFirst) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText(
      "TextWhite #ffffff\nTextWhite #f0f0f0\n"
      "pause_btn { look3 first.png }\npause_btn { look3 second.png }\n"));
  EXPECT_EQ(Upp::Color(255, 255, 255), loader.Get<Upp::Color>("TextWhite").value);
  EXPECT_EQ("first.png", loader.Value("pause_btn.look3"));
}

TEST(SkinInfoTextTest, GbkBytesPassThroughUnchanged) {
  SkinLoader loader;
  // "下载" in GBK
  ASSERT_TRUE(loader.LoadInfoText("t \"\xCF\xC2\xD4\xD8\"\n"));
  EXPECT_EQ("\xCF\xC2\xD4\xD8", loader.Get<std::string>("t").value);
}

TEST(SkinInfoTextTest, MalformedTextIsRefusedAndTheOldTreeStays) {
  const std::string bad[] = {
      "a {\n b 1\n",                 // unclosed brace
      "a 1\n}\n",                    // unmatched closing brace
      "{\n",                         // brace without key
      "a \"unterminated\n",          // open quote
      "a \"x\\q\"\n",                // unknown escape
      "#include \"skin.info\"\n",    // a text from memory includes no files
      "  #include \"C:\\\\boot.ini\"\n",
      "#unknown\n",
  };
  for (const std::string& text : bad) {
    SCOPED_TRACE(text);
    SkinLoader loader;
    ASSERT_TRUE(loader.LoadInfoText("keep 1\n"));
    EXPECT_FALSE(loader.LoadInfoText(text));
    EXPECT_EQ("1", loader.Value("keep"));
  }
}

TEST(SkinInfoTextTest, HashInsideValuesIsNoDirective) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText("c #123456\nd \"#include\"\n"));
  EXPECT_EQ("#include", loader.Value("d"));
}

TEST(SkinInfoTextTest, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  for (int depth : {SkinLoader::kMaxNestingDepth + 1, 200000}) {
    SCOPED_TRACE(depth);
    std::string text;
    for (int i = 0; i < depth; ++i) text += "a {\n";
    text += "leaf 1\n";
    std::string closed = text;
    for (int i = 0; i < depth; ++i) closed += "}\n";
    SkinLoader loader;
    ASSERT_TRUE(loader.LoadInfoText("keep 1\n"));
    EXPECT_FALSE(loader.LoadInfoText(closed));  // well-formed but too deep
    EXPECT_FALSE(loader.LoadInfoText(text));    // and unbalanced as well
    EXPECT_EQ("1", loader.Value("keep"));
  }
}

TEST(SkinInfoTextTest, NestingUpToTheLimitLoads) {
  std::string text, path;
  for (int i = 0; i < SkinLoader::kMaxNestingDepth - 1; ++i) {
    text += "a {\n";
    path += "a.";
  }
  text += "leaf 7\n";
  for (int i = 0; i < SkinLoader::kMaxNestingDepth - 1; ++i) text += "}\n";
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText(text));
  EXPECT_EQ(7, loader.Get<int>(path + "leaf").value);
}

TEST(SkinInfoTextTest, MegabyteLineLoads) {
  const std::string big(1 << 20, 'x');
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText("big " + big + "\nafter 2\n"));
  EXPECT_EQ(big.size(), loader.Value("big").size());
  EXPECT_EQ("2", loader.Value("after"));
  // A megabyte key or an unterminated megabyte string are no trouble either.
  EXPECT_TRUE(loader.LoadInfoText(big + " 1\n"));
  EXPECT_FALSE(loader.LoadInfoText("s \"" + big + "\n"));
}

TEST(SkinInfoTextTest, EmbeddedNulAndBinaryGarbageFailOrLoadCleanly) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
  SkinLoader loader;
  // Whatever the parser makes of it, it returns and the loader stays usable.
  loader.LoadInfoText(garbage);
  loader.LoadInfoText(std::string("a 1\0b 2\n", 8));
  ASSERT_TRUE(loader.LoadInfoText("ok 1\n"));
  EXPECT_EQ("1", loader.Value("ok"));
}

TEST(SkinInfoTextTest, LoadingKeepsTheCaches) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText("n 5\n"));
  EXPECT_EQ(5, loader.Get<int>("n").value);
  ASSERT_TRUE(loader.LoadInfoText("other 1\n"));
  EXPECT_EQ("", loader.Value("n"));
  EXPECT_TRUE(loader.Get<int>("n").loaded);
  EXPECT_EQ(5, loader.Get<int>("n").value);
}

}  // namespace
