// The proxy the user's Internet settings name for a plain-http URL, as the
// platform reports them: automatic detection and the configuration script
// first (WinHttpGetProxyForUrl), then the manual proxy with its bypass
// list. https needs none of this: WinINet follows the same settings.
//
// The answer is a route: the proxies to try in order, then, only when the
// settings allow it, a direct connection. A manual proxy that fails is not
// bypassed (the user asked for it); a script that cannot be had falls back
// to the manual proxy, and to a direct connection when none is set.
//
// Thread-safety: ProxyRouteFor() from any thread; answers are kept for a
// short while per host, so connections do not run the script each time.
// The script runs on a detached thread (detached_call.h): a cancel or its
// bound ends the wait at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fetch {

struct ProxyServer {
  std::string host;
  uint16_t port = 80;
  bool operator==(const ProxyServer& o) const { return host == o.host && port == o.port; }
};

struct ProxyRoute {
  std::vector<ProxyServer> proxies;  // in order; none = direct
  bool direct_after = true;          // a direct attempt once every proxy failed
};

ProxyRoute ProxyRouteFor(const std::string& host, uint16_t port, const std::function<bool()>& abort);

// The settings' proxy list for `scheme` ("http"): "host:port", several of
// them separated by ';' or spaces, or per scheme ("http=host:port;https=...").
std::vector<ProxyServer> ProxiesForScheme(const std::string& list, const std::string& scheme);
// Whether the bypass list names this host: entries separated by ';', ',' or
// spaces, '*' wildcards, an optional scheme and port, "<local>" for every
// name without a dot.
bool Bypassed(const std::string& bypass_list, const std::string& host, uint16_t port);

}  // namespace fetch
