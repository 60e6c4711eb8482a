// Pure text work of the HTTP client: fixing up and splitting URLs, and
// reading the numbers of the Content-Length and Content-Range headers.
//
// Thread-safety: free functions without state; any thread.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

namespace net {

// The parts of an http URL the connect-based calls need.
struct HttpUrlParts {
  std::wstring host;
  INTERNET_PORT port = 0;  // the URL's port; 80 when it names none
  // Path (unescaped) followed by the query (left escaped); "/" at least.
  std::wstring object;
};

// "http://" in front of a URL that has no scheme. False, leaving `fixed`
// empty, for any scheme other than http (https included: this client never
// speaks TLS, and silently fetching the plain-text URL would be wrong).
bool FixUpHttpUrl(const std::wstring& url, std::wstring* fixed);

// Canonicalises `url` in browser mode and splits it. False unless the scheme
// is http and a host is present.
bool SplitHttpUrl(const std::wstring& url, HttpUrlParts* parts);

// A Content-Length value as a 64-bit number (blanks around it allowed).
// Values past 2^64 saturate, so the caller's size limit refuses them. False
// when the text is not a number.
bool ParseContentLength(const std::wstring& text, uint64_t* length);

// "bytes <first>-<last>/<total>". False for anything else ("*" totals too).
bool ParseContentRange(const std::wstring& text, uint64_t* first, uint64_t* last,
                       uint64_t* total);

}  // namespace net
