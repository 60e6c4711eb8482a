// The engine's own HTTP text: splitting a URL, resolving a redirect's
// Location against it, and reading a response head (status, length,
// Content-Range, keep-alive, validators, Retry-After). The sockets around
// it are engine/http_conn.h.
//
// Part of the pure core: standard C++ only, no platform call, so the
// native fuzzers build exactly this code.
//
// Thread-safety: free functions without state; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace fetch {

struct HttpUrl {
  bool https = false;
  std::string host;
  uint16_t port = 80;
  std::string target;  // path and query as sent, "/" at least
};

// Splits an absolute http or https URL. False for anything else, and for a
// host or target with a space or control byte (they go into the request).
bool ParseHttpUrl(const std::string& url, HttpUrl* out);
// Resolves a Location header against the URL it came from.
std::string ResolveLocation(const HttpUrl& base, const std::string& location);

struct HttpResponse {
  int status = 0;  // 0 when the status line has no three-digit code
  bool has_length = false;
  uint64_t content_length = 0;
  bool has_range = false;
  uint64_t range_first = 0, range_last = 0, range_total = 0;
  bool range_total_known = false;
  bool keep_alive = true;
  bool chunked = false;
  std::string etag, last_modified, location;
  uint32_t retry_after_s = 0;  // 0 = none given, at most an hour
};

// Parses a response head (status line and header lines, CRLF-separated,
// without the blank line). False when it is no HTTP status line.
bool ParseResponseHead(const std::string& head, HttpResponse* response);

}  // namespace fetch
