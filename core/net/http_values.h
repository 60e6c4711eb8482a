// The HTTP client's own text work on what servers and settings hand it:
// fixing up a URL without a scheme, and the numbers of the Content-Length
// and Content-Range headers. (Splitting a URL stays with WinInet's
// canonicaliser in net/http_parse.)
//
// Part of the pure core: standard C++ only, no platform call, so the
// native fuzzers build exactly this code.
//
// Thread-safety: free functions without state; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace net {

// "http://" in front of a URL that has no scheme. False, leaving `fixed`
// empty, for any scheme other than http (https included: this client never
// speaks TLS, and silently fetching the plain-text URL would be wrong).
bool FixUpHttpUrl(const std::wstring& url, std::wstring* fixed);

// A Content-Length value as a 64-bit number (blanks around it allowed).
// Values past 2^64 saturate, so the caller's size limit refuses them. False
// when the text is not a number.
bool ParseContentLength(const std::wstring& text, uint64_t* length);

// "bytes <first>-<last>/<total>". False for anything else ("*" totals too).
bool ParseContentRange(const std::wstring& text, uint64_t* first, uint64_t* last,
                       uint64_t* total);

}  // namespace net
