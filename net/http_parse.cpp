#include "net/http_parse.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwctype>
#include <limits>
#include <vector>

namespace net {

namespace {

constexpr DWORD kCanonicalBufferChars = 2084;

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

bool SplitHttpUrl(const std::wstring& url, HttpUrlParts* parts) {
  std::vector<wchar_t> canonical(kCanonicalBufferChars);
  DWORD chars = static_cast<DWORD>(canonical.size());
  if (!InternetCanonicalizeUrlW(url.c_str(), canonical.data(), &chars, ICU_BROWSER_MODE)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    canonical.resize(chars + 1);
    chars = static_cast<DWORD>(canonical.size());
    if (!InternetCanonicalizeUrlW(url.c_str(), canonical.data(), &chars, ICU_BROWSER_MODE)) {
      return false;
    }
  }

  URL_COMPONENTSW c = {};
  c.dwStructSize = sizeof(c);
  c.dwSchemeLength = 1;
  c.dwHostNameLength = 1;
  c.dwUrlPathLength = 1;
  c.dwExtraInfoLength = 1;
  if (!InternetCrackUrlW(canonical.data(), chars, 0, &c)) return false;
  if (c.nScheme != INTERNET_SCHEME_HTTP || !c.lpszHostName || c.dwHostNameLength == 0) {
    return false;
  }

  parts->host.assign(c.lpszHostName, c.dwHostNameLength);
  parts->port = c.nPort ? c.nPort : INTERNET_DEFAULT_HTTP_PORT;

  std::wstring path = c.lpszUrlPath ? std::wstring(c.lpszUrlPath, c.dwUrlPathLength) : L"";
  if (path.empty()) path = L"/";
  // The path is unescaped for HttpOpenRequest; the query stays exactly as
  // given, since its escapes belong to the server's parameters.
  std::vector<wchar_t> unescaped(path.begin(), path.end());
  unescaped.push_back(L'\0');
  if (SUCCEEDED(UrlUnescapeW(unescaped.data(), nullptr, nullptr, URL_UNESCAPE_INPLACE))) {
    path = unescaped.data();
  }
  std::wstring query = c.lpszExtraInfo ? std::wstring(c.lpszExtraInfo, c.dwExtraInfoLength) : L"";
  size_t fragment = query.find(L'#');
  if (fragment != std::wstring::npos) query.erase(fragment);  // never sent to a server
  parts->object = path + query;
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
