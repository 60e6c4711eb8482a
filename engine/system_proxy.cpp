#include "engine/system_proxy.h"

#include <windows.h>
#include <winhttp.h>

#include <cctype>
#include <map>
#include <memory>
#include <mutex>

#include "engine/detached_call.h"

namespace fetch {

namespace {

constexpr uint32_t kScriptBoundMs = 10000;
constexpr ULONGLONG kRouteLifeMs = 60000;
constexpr ULONGLONG kDetectLifeMs = 5 * 60000;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Narrow(const wchar_t* text) {
  if (!text || !*text) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring out(static_cast<size_t>(n - 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], n);
  return out;
}

std::vector<std::string> Split(const std::string& list, const char* separators) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < list.size()) {
    const size_t end = list.find_first_of(separators, pos);
    const std::string item = list.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (!item.empty()) out.push_back(item);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return out;
}

bool Glob(const char* pattern, const char* text) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') return Glob(pattern + 1, text) || (*text != '\0' && Glob(pattern, text + 1));
  return *text != '\0' && *pattern == *text && Glob(pattern + 1, text + 1);
}

bool ParseServer(std::string item, ProxyServer* out) {
  const size_t scheme = item.find("://");
  if (scheme != std::string::npos) item.erase(0, scheme + 3);
  while (!item.empty() && item.back() == '/') item.pop_back();
  ProxyServer server;
  const size_t colon = item.rfind(':');
  if (colon != std::string::npos && item.find(']', colon) == std::string::npos) {
    const long port = std::strtol(item.c_str() + colon + 1, nullptr, 10);
    if (port <= 0 || port > 65535) return false;
    server.port = static_cast<uint16_t>(port);
    item.erase(colon);
  }
  if (item.size() > 2 && item.front() == '[' && item.back() == ']') item = item.substr(1, item.size() - 2);
  if (item.empty()) return false;
  server.host = item;
  *out = server;
  return true;
}

struct IeConfig {
  bool auto_detect = false;
  std::string script_url, proxy, bypass;
};

bool ReadIeConfig(IeConfig* out) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie = {};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&ie)) return false;
  out->auto_detect = ie.fAutoDetect != FALSE;
  out->script_url = Narrow(ie.lpszAutoConfigUrl);
  out->proxy = Narrow(ie.lpszProxy);
  out->bypass = Narrow(ie.lpszProxyBypass);
  if (ie.lpszAutoConfigUrl) GlobalFree(ie.lpszAutoConfigUrl);
  if (ie.lpszProxy) GlobalFree(ie.lpszProxy);
  if (ie.lpszProxyBypass) GlobalFree(ie.lpszProxyBypass);
  return true;
}

// The configuration script auto-detection finds (DHCP, then DNS "wpad"),
// looked for once a while per process: on most networks there is none,
// and the search must not cost every connection again.
std::string DetectScriptUrl(const std::function<bool()>& abort) {
  static std::mutex lock;
  static std::string found;
  static ULONGLONG until = 0;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (until != 0 && GetTickCount64() < until) return found;
  }
  auto outcome = std::make_shared<std::string>();
  const DetachedResult waited = RunDetached(
      [outcome] {
        wchar_t* url = nullptr;
        if (WinHttpDetectAutoProxyConfigUrl(WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A, &url) &&
            url) {
          *outcome = Narrow(url);
        }
        if (url) GlobalFree(url);
      },
      abort, kScriptBoundMs);
  if (waited == DetachedResult::kAborted) return std::string();
  std::lock_guard<std::mutex> guard(lock);
  found = waited == DetachedResult::kDone ? *outcome : std::string();
  until = GetTickCount64() + kDetectLifeMs;
  return found;
}

// What the configuration script says: true with a route, false when the
// script could not be had or run.
bool RunScript(const std::string& script_url, const std::string& host, uint16_t port,
               const std::function<bool()>& abort, ProxyRoute* route) {
  struct Outcome {
    bool answered = false;
    bool named = false;
    std::string proxy, bypass;
  };
  auto outcome = std::make_shared<Outcome>();
  const std::wstring url = Wide("http://" + host + ":" + std::to_string(port) + "/");
  const std::wstring script = Wide(script_url);
  const DetachedResult waited = RunDetached(
      [outcome, url, script] {
        HINTERNET session = WinHttpOpen(L"FetchCore/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                        WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session) return;
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = script.c_str();
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info = {};
        if (WinHttpGetProxyForUrl(session, url.c_str(), &options, &info)) {
          outcome->answered = true;
          outcome->named = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy;
          outcome->proxy = Narrow(info.lpszProxy);
          outcome->bypass = Narrow(info.lpszProxyBypass);
        }
        if (info.lpszProxy) GlobalFree(info.lpszProxy);
        if (info.lpszProxyBypass) GlobalFree(info.lpszProxyBypass);
        WinHttpCloseHandle(session);
      },
      abort, kScriptBoundMs);
  if (waited != DetachedResult::kDone || !outcome->answered) return false;
  route->proxies.clear();
  route->direct_after = true;
  if (outcome->named && !Bypassed(outcome->bypass, host, port)) {
    route->proxies = ProxiesForScheme(outcome->proxy, "http");
    route->direct_after = route->proxies.empty();
  }
  return true;
}

struct CachedRoute {
  ProxyRoute route;
  ULONGLONG until = 0;
};

}  // namespace

std::vector<ProxyServer> ProxiesForScheme(const std::string& list, const std::string& scheme) {
  std::vector<ProxyServer> scheme_specific, general;
  for (const std::string& item : Split(list, "; \t")) {
    const size_t equals = item.find('=');
    ProxyServer server;
    if (equals == std::string::npos) {
      if (ParseServer(item, &server)) general.push_back(server);
    } else if (Lower(item.substr(0, equals)) == scheme && ParseServer(item.substr(equals + 1), &server)) {
      scheme_specific.push_back(server);
    }
  }
  return scheme_specific.empty() ? general : scheme_specific;
}

bool Bypassed(const std::string& bypass_list, const std::string& host, uint16_t port) {
  const std::string name = Lower(host);
  for (std::string entry : Split(Lower(bypass_list), "; ,\t\r\n")) {
    if (entry == "<local>") {
      if (name.find('.') == std::string::npos && name.find(':') == std::string::npos) return true;
      continue;
    }
    const size_t scheme = entry.find("://");
    if (scheme != std::string::npos) {
      if (entry.compare(0, scheme, "http") != 0) continue;
      entry.erase(0, scheme + 3);
    }
    const size_t colon = entry.rfind(':');
    if (colon != std::string::npos && entry.find(']', colon) == std::string::npos &&
        entry.find(':') == colon) {
      if (std::strtol(entry.c_str() + colon + 1, nullptr, 10) != port) continue;
      entry.erase(colon);
    }
    if (!entry.empty() && Glob(entry.c_str(), name.c_str())) return true;
  }
  return false;
}

ProxyRoute ProxyRouteFor(const std::string& host, uint16_t port, const std::function<bool()>& abort) {
  static std::mutex lock;
  static std::map<std::string, CachedRoute> cache;
  const std::string key = Lower(host) + ":" + std::to_string(port);
  IeConfig config;
  if (!ReadIeConfig(&config)) return ProxyRoute();
  const std::string settings = std::to_string(config.auto_detect) + "|" + config.script_url + "|" +
                               config.proxy + "|" + config.bypass;
  {
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache.find(settings + "|" + key);
    if (it != cache.end() && GetTickCount64() < it->second.until) return it->second.route;
  }
  // The order of the settings dialog: detection, then the script, then
  // the manual proxy; nothing that answers means a direct connection.
  ProxyRoute route;
  std::string script = config.auto_detect ? DetectScriptUrl(abort) : std::string();
  bool decided = !script.empty() && RunScript(script, host, port, abort, &route);
  if (!decided && !config.script_url.empty()) decided = RunScript(config.script_url, host, port, abort, &route);
  if (!decided && !config.proxy.empty()) {
    route = ProxyRoute();
    if (!Bypassed(config.bypass, host, port)) {
      route.proxies = ProxiesForScheme(config.proxy, "http");
      route.direct_after = route.proxies.empty();
    }
  }
  if (abort && abort()) return route;  // a cut-short answer is not kept
  std::lock_guard<std::mutex> guard(lock);
  if (cache.size() > 64) cache.clear();
  cache[settings + "|" + key] = CachedRoute{route, GetTickCount64() + kRouteLifeMs};
  return route;
}

}  // namespace fetch
