// The value syntaxes of skin.info: colours, booleans, integers, the lenient
// number lists of points, sizes and rectangles, and image values with their
// spot pairs.
//
// Part of the pure core: standard C++ and header-only Boost, no platform
// call, so the native fuzzers build exactly this code.
//
// Range: every number a skin gives (integers, coordinates, sizes, spots,
// font heights) lies within +-kMaxSkinNumber, or the value is refused.
// Drawing and layout add and negate these numbers in int (a font height of
// -2147483648 negated, a spot near INT_MAX added to another); no screen is
// larger than this bound, so inside it no such sum overflows.
//
// Thread-safety: free functions without state; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace skin {

constexpr int kMaxSkinNumber = 32767;

struct ColorValue {
  bool null = false;  // "#": no colour
  uint8_t r = 0, g = 0, b = 0;
};

// "#" or "#rrggbb" (hex digits of either case).
bool ParseColorValue(const std::string& text, ColorValue* color);

// "true" or "false", lower case only.
bool ParseBoolValue(const std::string& text, bool* value);

// A whole decimal number (optional sign, nothing around it) within range.
bool ParseIntValue(const std::string& text, int* value);

// The lenient number scanner of points, sizes, rectangles and image
// brackets: skips anything up to a digit or '-', takes an optional '-' and
// at least one digit, and goes on after the last digit. Returns how many
// numbers (at most `max`) it read; a number too large for an int ends the
// scan.
int ScanNumbers(const std::string& text, int* numbers, int max);

// The first `count` numbers of `text`: false when there are fewer or one
// of them is out of range.
bool ParseNumberList(const std::string& text, int* numbers, int count);

// "name", "name[x,y]" or "name[x1,y1][x2,y2]": the image's name and up to
// two spots. A spot pair with a negative or out-of-range number is dropped,
// and the second is kept only with the first. A value that begins with '['
// is a name as a whole.
struct ImageValue {
  std::string name;
  bool has_hot_spot = false;
  int hot_x = 0, hot_y = 0;
  bool has_second_spot = false;
  int second_x = 0, second_y = 0;
};
ImageValue ParseImageValue(const std::string& text);

}  // namespace skin
