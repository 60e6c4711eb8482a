#include "net/http_parse.h"

#include <shlwapi.h>

#include <vector>

namespace net {

namespace {

constexpr DWORD kCanonicalBufferChars = 2084;

}  // namespace

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

}  // namespace net
