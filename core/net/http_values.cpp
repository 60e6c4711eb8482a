#include "core/net/http_values.h"

#include <algorithm>
#include <cwctype>
#include <limits>

namespace net {

namespace {

// Reads decimal digits at `*pos`; at least one. Values past 2^64 saturate,
// which the size checks then refuse.
bool ParseNumber(const std::wstring& text, size_t* pos, uint64_t* value) {
  size_t i = *pos;
  uint64_t n = 0;
  while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
    const uint64_t digit = static_cast<uint64_t>(text[i] - L'0');
    if (n > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
      n = std::numeric_limits<uint64_t>::max();
    } else {
      n = n * 10 + digit;
    }
    ++i;
  }
  if (i == *pos) return false;
  *pos = i;
  *value = n;
  return true;
}

bool Expect(const std::wstring& text, size_t* pos, wchar_t c) {
  if (*pos >= text.size() || text[*pos] != c) return false;
  ++*pos;
  return true;
}

}  // namespace

bool FixUpHttpUrl(const std::wstring& url, std::wstring* fixed) {
  fixed->clear();
  if (url.compare(0, 7, L"http://") == 0) {
    *fixed = url;
    return true;
  }
  // Any other "scheme://" (https, ftp, or HTTP in capitals) is refused here
  // rather than turned into a host name by the prefix below.
  size_t colon = url.find(L"://");
  if (colon != std::wstring::npos && colon > 0) {
    bool is_scheme = std::all_of(url.begin(), url.begin() + colon, [](wchar_t c) {
      return std::iswalnum(c) || c == L'+' || c == L'-' || c == L'.';
    });
    if (is_scheme) return false;
  }
  *fixed = L"http://" + url;
  return true;
}

bool ParseContentLength(const std::wstring& text, uint64_t* length) {
  size_t pos = text.find_first_not_of(L" \t");
  if (pos == std::wstring::npos || !ParseNumber(text, &pos, length)) return false;
  return text.find_first_not_of(L" \t", pos) == std::wstring::npos;
}

bool ParseContentRange(const std::wstring& text, uint64_t* first, uint64_t* last,
                       uint64_t* total) {
  size_t pos = 6;
  return text.compare(0, 6, L"bytes ") == 0 && ParseNumber(text, &pos, first) &&
         Expect(text, &pos, L'-') && ParseNumber(text, &pos, last) && Expect(text, &pos, L'/') &&
         ParseNumber(text, &pos, total) && pos == text.size();
}

}  // namespace net
