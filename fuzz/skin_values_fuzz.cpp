// One skin value through every value syntax, with the properties each
// promises: the range bound on every number, the colour's exact form, the
// image name as the text before the spots.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/skin/skin_values.h"
#include "fuzz_check.h"

namespace {

bool InRange(int n) { return n >= -skin::kMaxSkinNumber && n <= skin::kMaxSkinNumber; }
bool IsSpot(int x, int y) { return x >= 0 && y >= 0 && InRange(x) && InRange(y); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string v(reinterpret_cast<const char*>(data), size);

  skin::ColorValue color;
  if (skin::ParseColorValue(v, &color)) {
    if (color.null) {
      KV_FUZZ_CHECK(v == "#");
    } else {
      char text[8];
      std::snprintf(text, sizeof(text), "#%02x%02x%02x", color.r, color.g, color.b);
      std::string lower = v;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      KV_FUZZ_CHECK(lower == text);
    }
  }

  bool flag = false;
  if (skin::ParseBoolValue(v, &flag)) KV_FUZZ_CHECK(v == (flag ? "true" : "false"));

  int value = 0;
  if (skin::ParseIntValue(v, &value)) KV_FUZZ_CHECK(InRange(value));

  int n[4] = {};
  const int count = skin::ScanNumbers(v, n, 4);
  KV_FUZZ_CHECK(count >= 0 && count <= 4);
  for (int want : {2, 4}) {
    if (!skin::ParseNumberList(v, n, want)) continue;
    for (int i = 0; i < want; ++i) KV_FUZZ_CHECK(InRange(n[i]));
  }

  const skin::ImageValue image = skin::ParseImageValue(v);
  KV_FUZZ_CHECK(v.compare(0, image.name.size(), image.name) == 0);
  KV_FUZZ_CHECK(image.name.size() == v.size() || v[image.name.size()] == '[');
  if (image.has_hot_spot) KV_FUZZ_CHECK(IsSpot(image.hot_x, image.hot_y));
  if (image.has_second_spot) {
    KV_FUZZ_CHECK(image.has_hot_spot && IsSpot(image.second_x, image.second_y));
  }
  return 0;
}
