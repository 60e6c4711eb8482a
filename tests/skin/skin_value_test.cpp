// Value syntaxes of skin.info: each reader against a table of
// values, and the caching rules of Get.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/skin_loader.h"
#include "skin_test_util.h"
#include "upp/image_decode.h"

namespace {

using skin::SkinLoader;

// A loader holding one key "k" with `value` (quoted, so blanks survive).
class OneKey {
 public:
  explicit OneKey(const std::string& value) {
    std::string escaped;
    for (char c : value) {
      if (c == '"' || c == '\\') escaped += '\\';
      escaped += c;
    }
    ok_ = loader_.LoadInfoText("k \"" + escaped + "\"\n");
  }
  SkinLoader& loader() { return loader_; }
  bool ok() const { return ok_; }

 private:
  SkinLoader loader_;
  bool ok_ = false;
};

Upp::Image SolidImage(int w, int h) {
  std::string png = skintest::EncodePng(w, h, 0xFF336699);
  return Upp::DecodePng(png.data(), png.size());
}

struct ColorCase {
  const char* value;
  bool ok;
  int r, g, b;
  bool null;
};

TEST(SkinValueTest, ColorValuesFollowTheHashSyntaxExactly) {
  const ColorCase cases[] = {
      {"#ffbb19", true, 0xff, 0xbb, 0x19, false},
      {"#FFBB19", true, 0xff, 0xbb, 0x19, false},
      {"#000000", true, 0, 0, 0, false},
      {"#a0B3e2", true, 0xa0, 0xb3, 0xe2, false},
      {"#", true, 0, 0, 0, true},
      {"#fb1", false, 0, 0, 0, false},
      {"ffbb19", false, 0, 0, 0, false},
      {"#ffbb19 ", false, 0, 0, 0, false},
      {" #ffbb19", false, 0, 0, 0, false},
      {"#ffbb1g", false, 0, 0, 0, false},
      {"#ffbb190", false, 0, 0, 0, false},
      {"", false, 0, 0, 0, false},
      {"##", false, 0, 0, 0, false},
  };
  for (const ColorCase& c : cases) {
    SCOPED_TRACE(c.value);
    OneKey skin(c.value);
    ASSERT_TRUE(skin.ok());
    const Upp::Color sentinel(1, 2, 3);
    Upp::Color color = sentinel;
    EXPECT_EQ(c.ok, skin.loader().Read("k", color));
    if (!c.ok) {
      EXPECT_EQ(sentinel, color);  // a failed read leaves the value alone
    } else if (c.null) {
      EXPECT_TRUE(color.IsNull());
    } else {
      EXPECT_EQ(Upp::Color(c.r, c.g, c.b), color);
      EXPECT_EQ(static_cast<uint32_t>(c.r | (c.g << 8) | (c.b << 16)), color.GetRaw());
    }
  }
}

TEST(SkinValueTest, IntegersAreWholeDecimalValues) {
  struct Case {
    const char* value;
    bool ok;
    int expected;
  } cases[] = {
      {"12", true, 12},   {"-200", true, -200}, {"+7", true, 7},        {"0", true, 0},
      {"32767", true, 32767},                   {"-32767", true, -32767},
      {"32768", false, 0},                      {"-32768", false, 0},
      {"2147483647", false, 0},                 {"-2147483648", false, 0},
      {"12px", false, 0}, {"99999999999", false, 0}, {"2147483648", false, 0},
      {" 12", false, 0},  {"12 ", false, 0},    {"@other", false, 0},   {"", false, 0},
      {"1.5", false, 0},  {"0x10", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    OneKey skin(c.value);
    int value = 4711;
    EXPECT_EQ(c.ok, skin.loader().Read("k", value));
    EXPECT_EQ(c.ok ? c.expected : 4711, value);
  }
}

TEST(SkinValueTest, BooleansAreLowerCaseWordsOnly) {
  struct Case {
    const char* value;
    bool ok;
    bool expected;
  } cases[] = {{"true", true, true},   {"false", true, false}, {"True", false, false},
               {"FALSE", false, false}, {"1", false, false},    {"yes", false, false},
               {"true ", false, false}, {"", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    OneKey skin(c.value);
    bool value = !c.expected;
    EXPECT_EQ(c.ok, skin.loader().Read("k", value));
    if (c.ok) {
      EXPECT_EQ(c.expected, value);
    }
  }
}

TEST(SkinValueTest, StringsAreTakenUnchangedAndEmptyFails) {
  {
    OneKey skin("@not a reference ");
    std::string value;
    EXPECT_TRUE(skin.loader().Read("k", value));
    EXPECT_EQ("@not a reference ", value);
  }
  {
    OneKey skin("");
    std::string value = "kept";
    EXPECT_FALSE(skin.loader().Read("k", value));
    EXPECT_EQ("kept", value);
  }
  SkinLoader empty;
  std::string value = "kept";
  EXPECT_FALSE(empty.Read("absent", value));
  EXPECT_EQ("kept", value);
}

TEST(SkinValueTest, NumberScannerTakesAnySeparators) {
  struct Case {
    const char* text;
    std::vector<int> expected;
  } cases[] = {
      {"[685,494]", {685, 494}},
      {"[0,-200]", {0, -200}},
      {"685 494", {685, 494}},
      {"x=3;y=-4", {3, -4}},
      {"--5", {-5}},
      {"a-b7", {7}},
      {"1-2", {1, -2}},
      {"", {}},
      {"[", {}},
      {"[1", {1}},
      {"99999999999,5", {}},
      {"5,99999999999,6", {5}},
      {"-2147483648", {-2147483647 - 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int numbers[4] = {};
    const int count = skin::ScanNumbers(c.text, numbers, 4);
    ASSERT_EQ(static_cast<int>(c.expected.size()), count);
    for (int i = 0; i < count; ++i) EXPECT_EQ(c.expected[i], numbers[i]);
  }
  int two[2] = {};
  EXPECT_EQ(2, skin::ScanNumbers("1 2 3 4", two, 2));
}

TEST(SkinValueTest, PointsSizesAndRectanglesNeedEnoughNumbers) {
  {
    OneKey skin("[0,-200]");
    Upp::Point p;
    ASSERT_TRUE(skin.loader().Read("k", p));
    EXPECT_EQ(Upp::Point(0, -200), p);
    Upp::Size s;
    ASSERT_TRUE(skin.loader().Read("k", s));
    EXPECT_EQ(Upp::Size(0, -200), s);
    Upp::Rect r(9, 9, 9, 9);
    EXPECT_FALSE(skin.loader().Read("k", r));
    EXPECT_EQ(Upp::Rect(9, 9, 9, 9), r);
  }
  {
    OneKey skin("[1,2,3,4,5]");
    Upp::Rect r;
    ASSERT_TRUE(skin.loader().Read("k", r));
    EXPECT_EQ(Upp::Rect(1, 2, 3, 4), r);
  }
  {
    OneKey skin("[7]");
    Upp::Point p(5, 5);
    EXPECT_FALSE(skin.loader().Read("k", p));
    EXPECT_EQ(Upp::Point(5, 5), p);
  }
}

TEST(SkinValueTest, ImageValuesTakeOneOrTwoSpotPairs) {
  struct Case {
    const char* value;
    bool ok;
    bool hot;
    Upp::Point hot_spot;
    bool second;
    Upp::Point second_spot;
  } cases[] = {
      {"x.png", true, false, {}, false, {}},
      {"x.png[10,10]", true, true, {10, 10}, false, {}},
      {"x.png[6,4][8,6]", true, true, {6, 4}, true, {8, 6}},
      {"x.png[-1,2]", true, false, {}, false, {}},
      {"x.png[-1,2][8,6]", true, false, {}, false, {}},
      {"x.png[6,4][8,-6]", true, true, {6, 4}, false, {}},
      {"x.png[1", true, false, {}, false, {}},
      {"x.png[]", true, false, {}, false, {}},
      {"x.png[0,0]", true, true, {0, 0}, false, {}},
      {"[1,2]x.png", false, false, {}, false, {}},
      {"y.png", false, false, {}, false, {}},
      {"X.PNG", false, false, {}, false, {}},
      {"x.png ", false, false, {}, false, {}},
      {"", false, false, {}, false, {}},
      {"@x.png", false, false, {}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    OneKey skin(c.value);
    ASSERT_TRUE(skin.loader().AddImage(L"x.png", SolidImage(20, 10)));
    Upp::Image image;
    EXPECT_EQ(c.ok, skin.loader().Read("k", image));
    if (!c.ok) {
      EXPECT_TRUE(image.IsEmpty());
      continue;
    }
    EXPECT_EQ(Upp::Size(20, 10), image.GetSize());
    EXPECT_EQ(c.hot, image.HasHotSpot());
    if (c.hot) {
      EXPECT_EQ(c.hot_spot, image.GetHotSpot());
    }
    EXPECT_EQ(c.second, image.Has2ndSpot());
    if (c.second) {
      EXPECT_EQ(c.second_spot, image.Get2ndSpot());
    }
    // The store's image is shared, not copied, and keeps no spots.
    EXPECT_TRUE(image.SharesPixelsWith(skin.loader().FindImage(L"x.png")));
    EXPECT_FALSE(skin.loader().FindImage(L"x.png").HasHotSpot());
  }
}

TEST(SkinValueTest, ImageValueBeginningWithBracketIsLookedUpWhole) {
  OneKey skin("[1,2]x.png");
  skin.loader().AddImage(L"[1,2]x.png", SolidImage(3, 3));
  Upp::Image image;
  ASSERT_TRUE(skin.loader().Read("k", image));
  EXPECT_FALSE(image.HasHotSpot());
}

TEST(SkinValueTest, ImageNamesAreUtf8) {
  // "图.png" in UTF-8
  OneKey skin("\xE5\x9B\xBE.png[2,3]");
  skin.loader().AddImage(L"\u56FE.png", SolidImage(4, 4));
  Upp::Image image;
  ASSERT_TRUE(skin.loader().Read("k", image));
  EXPECT_EQ(Upp::Point(2, 3), image.GetHotSpot());
}

TEST(SkinValueTest, ReferencesAreFollowedForTheTypesThatTakeThem) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText(
      "TextBlue #a0b3e2\n"
      "alias @TextBlue\n"
      "alias2 @alias\n"
      "flag true\n"
      "flag_ref @flag\n"
      "pos [3,4]\n"
      "pos_ref @pos\n"
      "rect [1,2,3,4]\n"
      "rect_ref @rect\n"
      "num 5\n"
      "num_ref @num\n"
      "text hello\n"
      "text_ref @text\n"
      "group { inner #010203 }\n"
      "dotted @group.inner\n"));
  Upp::Color color;
  ASSERT_TRUE(loader.Read("alias2", color));
  EXPECT_EQ(Upp::Color(0xa0, 0xb3, 0xe2), color);
  ASSERT_TRUE(loader.Read("dotted", color));
  EXPECT_EQ(Upp::Color(1, 2, 3), color);
  bool flag = false;
  ASSERT_TRUE(loader.Read("flag_ref", flag));
  EXPECT_TRUE(flag);
  Upp::Point p;
  ASSERT_TRUE(loader.Read("pos_ref", p));
  EXPECT_EQ(Upp::Point(3, 4), p);
  Upp::Size s;
  ASSERT_TRUE(loader.Read("pos_ref", s));
  EXPECT_EQ(Upp::Size(3, 4), s);
  Upp::Rect r;
  ASSERT_TRUE(loader.Read("rect_ref", r));
  EXPECT_EQ(Upp::Rect(1, 2, 3, 4), r);
  // Integers and strings take '@' literally.
  int n = 0;
  EXPECT_FALSE(loader.Read("num_ref", n));
  std::string text;
  ASSERT_TRUE(loader.Read("text_ref", text));
  EXPECT_EQ("@text", text);
}

TEST(SkinValueTest, ReferenceCyclesAndMissingTargetsFail) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText(
      "self @self\n"
      "a @b\n"
      "b @c\n"
      "c @a\n"
      "lost @nowhere\n"
      "empty @\n"
      "style @style\n"
      "font @font\n"));
  const char* keys[] = {"self", "a", "b", "lost", "empty"};
  for (const char* key : keys) {
    SCOPED_TRACE(key);
    Upp::Color color(9, 9, 9);
    EXPECT_FALSE(loader.Read(key, color));
    EXPECT_EQ(Upp::Color(9, 9, 9), color);
    bool flag = true;
    EXPECT_FALSE(loader.Read(key, flag));
    Upp::Point p;
    EXPECT_FALSE(loader.Read(key, p));
  }
  skin::ButtonStyle button;
  EXPECT_FALSE(loader.Read("style", button));
  Upp::Font font;
  EXPECT_FALSE(loader.Read("font", font));
}

TEST(SkinValueTest, LongReferenceChainsEndWithoutHanging) {
  // link0 -> link1 -> ... -> linkN -> the colour
  auto chain = [](int length) {
    std::string text;
    for (int i = 0; i < length; ++i)
      text += "link" + std::to_string(i) + " @link" + std::to_string(i + 1) + "\n";
    text += "link" + std::to_string(length) + " #102030\n";
    return text;
  };
  {
    SkinLoader loader;
    ASSERT_TRUE(loader.LoadInfoText(chain(SkinLoader::kMaxReferenceChain)));
    Upp::Color color;
    ASSERT_TRUE(loader.Read("link0", color));
    EXPECT_EQ(Upp::Color(0x10, 0x20, 0x30), color);
  }
  {
    SkinLoader loader;
    ASSERT_TRUE(loader.LoadInfoText(chain(50000)));
    Upp::Color color;
    EXPECT_FALSE(loader.Read("link0", color));
    EXPECT_TRUE(loader.Read("link49990", color));
  }
}

TEST(SkinValueTest, FontReadsHeightBoldAndUnderlineOnly) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText(
      "normal_ft { FaceName \"x\" Height 12 }\n"
      "bold { Height 14 Bold true Underline true }\n"
      "face_only { FaceName Arial Width 3 Italic true }\n"
      "bad_bold { Bold True }\n"
      "bad_height { Height 12px }\n"
      "mixed { Height 12px Underline true }\n"
      "ref @bold\n"
      "leaf 12\n"));
  std::vector<std::wstring> hooked;
  loader.SetFontHook([&](const std::wstring& key, Upp::Font& font) {
    hooked.push_back(key);
    font.Handle(reinterpret_cast<HFONT>(static_cast<intptr_t>(0x1234)));
  });

  Upp::Font font;
  ASSERT_TRUE(loader.Read("normal_ft", font));
  EXPECT_EQ(12, font.GetHeight());
  EXPECT_FALSE(font.IsBold());
  EXPECT_EQ(reinterpret_cast<HFONT>(static_cast<intptr_t>(0x1234)), font.GetHandle());

  font = Upp::Font();
  ASSERT_TRUE(loader.Read("ref", font));
  EXPECT_EQ(14, font.GetHeight());
  EXPECT_TRUE(font.IsBold());
  EXPECT_TRUE(font.IsUnderline());
  EXPECT_EQ(L"bold", hooked.back());  // the key actually read

  font = Upp::Font().Height(9);
  hooked.clear();
  EXPECT_FALSE(loader.Read("face_only", font));
  ASSERT_EQ(1u, hooked.size());  // the hook ran although the read failed
  EXPECT_EQ(L"face_only", hooked[0]);
  EXPECT_EQ(9, font.GetHeight());
  EXPECT_EQ(nullptr, font.GetHandle());

  EXPECT_FALSE(loader.Read("bad_bold", font));
  EXPECT_FALSE(loader.Read("bad_height", font));
  font = Upp::Font().Height(9);
  ASSERT_TRUE(loader.Read("mixed", font));
  EXPECT_EQ(9, font.GetHeight());
  EXPECT_TRUE(font.IsUnderline());

  hooked.clear();
  EXPECT_FALSE(loader.Read("leaf_missing", font));
  EXPECT_TRUE(hooked.empty());  // no node, no hook
  EXPECT_FALSE(loader.Read("leaf", font));  // a node without sub-keys
}

// Layout and drawing add and negate skin numbers in int: a font height of
// -2147483648 negated into LOGFONT, a nine-grid spot near INT_MAX added to
// the other. Every number beyond +-32767 is refused where it is read.
TEST(SkinValueTest, NumbersBeyondTheSkinRangeAreRefused) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText(
      "huge_ft { Height -2147483648 Bold true }\n"
      "edge_ft { Height -32767 }\n"
      "p \"[32768,0]\"\n"
      "s \"[685,-40000]\"\n"
      "r \"[0,0,32767,-32767]\"\n"
      "img \"x.png[2147483647,2147483647][2147483647,1]\"\n"
      "img2 \"x.png[6,4][32768,6]\"\n"));
  ASSERT_TRUE(loader.AddImage(L"x.png", SolidImage(20, 10)));

  Upp::Font font = Upp::Font().Height(9);
  ASSERT_TRUE(loader.Read("huge_ft", font));  // Bold still applies
  EXPECT_EQ(9, font.GetHeight());
  EXPECT_TRUE(font.IsBold());
  ASSERT_TRUE(loader.Read("edge_ft", font));
  EXPECT_EQ(-32767, font.GetHeight());

  Upp::Point p(5, 5);
  EXPECT_FALSE(loader.Read("p", p));
  EXPECT_EQ(Upp::Point(5, 5), p);
  Upp::Size size(5, 5);
  EXPECT_FALSE(loader.Read("s", size));
  Upp::Rect r;
  ASSERT_TRUE(loader.Read("r", r));
  EXPECT_EQ(Upp::Rect(0, 0, 32767, -32767), r);

  Upp::Image image;
  ASSERT_TRUE(loader.Read("img", image));
  EXPECT_FALSE(image.HasHotSpot());
  EXPECT_FALSE(image.Has2ndSpot());
  ASSERT_TRUE(loader.Read("img2", image));
  EXPECT_EQ(Upp::Point(6, 4), image.GetHotSpot());
  EXPECT_FALSE(image.Has2ndSpot());
}

TEST(SkinValueTest, FontWithoutHookStillReads) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText("f { Height 16 }\n"));
  Upp::Font font;
  ASSERT_TRUE(loader.Read("f", font));
  EXPECT_EQ(16, font.GetHeight());
  EXPECT_EQ(nullptr, font.GetHandle());
}

TEST(SkinValueTest, GetKeepsTheFirstDefaultAndRetriesFailedReads) {
  SkinLoader loader;
  auto& first = loader.Get<Upp::Color>("absent", Upp::Color(1, 1, 1));
  EXPECT_FALSE(first.loaded);
  EXPECT_EQ(Upp::Color(1, 1, 1), first.value);
  auto& second = loader.Get<Upp::Color>("absent", Upp::Color(2, 2, 2));
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(Upp::Color(1, 1, 1), second.value);

  // A failed key is read again once a loaded text has it.
  ASSERT_TRUE(loader.LoadInfoText("absent #0a0b0c\n"));
  auto& third = loader.Get<Upp::Color>("absent", Upp::Color(3, 3, 3));
  EXPECT_TRUE(third.loaded);
  EXPECT_EQ(Upp::Color(10, 11, 12), third.value);

  // A successful read is never repeated.
  ASSERT_TRUE(loader.LoadInfoText("absent #ffffff\n"));
  EXPECT_EQ(Upp::Color(10, 11, 12), loader.Get<Upp::Color>("absent").value);

  // A caller may settle a failed entry.
  auto& settled = loader.Get<int>("never", 42);
  settled.loaded = true;
  ASSERT_TRUE(loader.LoadInfoText("never 7\n"));
  EXPECT_EQ(42, loader.Get<int>("never").value);
}

TEST(SkinValueTest, CachesAreSeparatePerType) {
  SkinLoader loader;
  ASSERT_TRUE(loader.LoadInfoText("k 12\n"));
  EXPECT_TRUE(loader.Get<int>("k", 0).loaded);
  EXPECT_TRUE(loader.Get<std::string>("k").loaded);
  EXPECT_FALSE(loader.Get<Upp::Color>("k").loaded);
  EXPECT_EQ(12, loader.Get<int>("k").value);
  EXPECT_EQ("12", loader.Get<std::string>("k").value);
}

TEST(SkinValueTest, TypeIdentifiersComeFromOneCounter) {
  struct A {};
  struct B {};
  const int a = SkinLoader::TypeId<A>();
  const int b = SkinLoader::TypeId<B>();
  EXPECT_EQ(a + 1, b);
  EXPECT_EQ(a, SkinLoader::TypeId<A>());
  EXPECT_GE(a, 1);
  EXPECT_NE(SkinLoader::TypeId<int>(), SkinLoader::TypeId<bool>());
}

TEST(SkinValueTest, InstanceIsOneObject) {
  EXPECT_EQ(&SkinLoader::Instance(), &SkinLoader::Instance());
}

}  // namespace
