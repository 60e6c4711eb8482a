// Splitting URLs for the HTTP client, through WinInet's canonicaliser; the
// rest of the client's text work is in core/net/http_values.h.
//
// Thread-safety: free functions without state; any thread.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "core/net/http_values.h"

namespace net {

// The parts of an http URL the connect-based calls need.
struct HttpUrlParts {
  std::wstring host;
  INTERNET_PORT port = 0;  // the URL's port; 80 when it names none
  // Path (unescaped) followed by the query (left escaped); "/" at least.
  std::wstring object;
};

// Canonicalises `url` in browser mode and splits it. False unless the scheme
// is http and a host is present.
bool SplitHttpUrl(const std::wstring& url, HttpUrlParts* parts);

}  // namespace net
