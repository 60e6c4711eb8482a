#include "core/skin/skin_values.h"

#include <boost/lexical_cast/try_lexical_convert.hpp>

#include <climits>

namespace skin {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool InRange(int n) { return n >= -kMaxSkinNumber && n <= kMaxSkinNumber; }

bool IsSpot(int x, int y) { return x >= 0 && y >= 0 && x <= kMaxSkinNumber && y <= kMaxSkinNumber; }

}  // namespace

bool ParseColorValue(const std::string& v, ColorValue* color) {
  if (v == "#") {
    *color = ColorValue();
    color->null = true;
    return true;
  }
  if (v.size() != 7 || v[0] != '#') return false;
  int d[6];
  for (int i = 0; i < 6; ++i) {
    d[i] = HexDigit(v[i + 1]);
    if (d[i] < 0) return false;
  }
  color->null = false;
  color->r = static_cast<uint8_t>(d[0] * 16 + d[1]);
  color->g = static_cast<uint8_t>(d[2] * 16 + d[3]);
  color->b = static_cast<uint8_t>(d[4] * 16 + d[5]);
  return true;
}

bool ParseBoolValue(const std::string& v, bool* value) {
  if (v == "true") {
    *value = true;
    return true;
  }
  if (v == "false") {
    *value = false;
    return true;
  }
  return false;
}

bool ParseIntValue(const std::string& v, int* value) {
  int parsed = 0;
  if (!boost::conversion::try_lexical_convert(v, parsed) || !InRange(parsed)) return false;
  *value = parsed;
  return true;
}

int ScanNumbers(const std::string& text, int* numbers, int max) {
  int count = 0;
  size_t i = 0;
  const size_t n = text.size();
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  while (count < max && i < n) {
    if (!is_digit(text[i]) && text[i] != '-') {
      ++i;
      continue;
    }
    bool negative = false;
    if (text[i] == '-') {
      if (i + 1 >= n || !is_digit(text[i + 1])) {
        ++i;  // a dash that starts no number is a separator like any other
        continue;
      }
      negative = true;
      ++i;
    }
    long long magnitude = 0;
    while (i < n && is_digit(text[i])) {
      magnitude = magnitude * 10 + (text[i] - '0');
      if (magnitude > static_cast<long long>(INT_MAX) + 1) return count;
      ++i;
    }
    const long long v = negative ? -magnitude : magnitude;
    if (v > INT_MAX || v < INT_MIN) return count;
    numbers[count++] = static_cast<int>(v);
  }
  return count;
}

bool ParseNumberList(const std::string& text, int* numbers, int count) {
  if (ScanNumbers(text, numbers, count) < count) return false;
  for (int i = 0; i < count; ++i) {
    if (!InRange(numbers[i])) return false;
  }
  return true;
}

ImageValue ParseImageValue(const std::string& v) {
  ImageValue out;
  const size_t bracket = v.find('[');
  const bool has_pairs = bracket != std::string::npos && bracket > 0;
  out.name = has_pairs ? v.substr(0, bracket) : v;
  if (!has_pairs) return out;
  int n[4];
  const int count = ScanNumbers(v.substr(bracket), n, 4);
  if (count >= 2 && IsSpot(n[0], n[1])) {
    out.has_hot_spot = true;
    out.hot_x = n[0];
    out.hot_y = n[1];
    if (count >= 4 && IsSpot(n[2], n[3])) {
      out.has_second_spot = true;
      out.second_x = n[2];
      out.second_y = n[3];
    }
  }
  return out;
}

}  // namespace skin
