#include <winsock2.h>
#include <ws2tcpip.h>

#include "engine/http_conn.h"

#include "engine/https_session.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "engine/connect_any.h"
#include "engine/name_lookup.h"
#include "engine/system_proxy.h"

namespace fetch {

namespace {

constexpr uint32_t kConnectTimeoutMs = 10000;
constexpr uint32_t kLookupBoundMs = 15000;
constexpr size_t kMaxHead = 64 * 1024;
constexpr int kPollMs = 200;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

bool ParseU64(const std::string& s, size_t* pos, uint64_t* v) {
  size_t i = *pos;
  uint64_t n = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (n > (UINT64_MAX - 9) / 10) return false;
    n = n * 10 + static_cast<uint64_t>(s[i] - '0');
    ++i;
  }
  if (i == *pos) return false;
  *pos = i;
  *v = n;
  return true;
}

void ParseHeader(const std::string& name, const std::string& value, HttpResponse* r) {
  const std::string key = Lower(name);
  size_t pos = 0;
  if (key == "content-length") {
    r->has_length = ParseU64(value, &pos, &r->content_length) && pos == value.size();
  } else if (key == "content-range") {
    // bytes <first>-<last>/<total or *>
    if (value.compare(0, 6, "bytes ") != 0) return;
    pos = 6;
    if (!ParseU64(value, &pos, &r->range_first) || pos >= value.size() || value[pos++] != '-' ||
        !ParseU64(value, &pos, &r->range_last) || pos >= value.size() || value[pos++] != '/') {
      return;
    }
    r->has_range = true;
    r->range_total_known = ParseU64(value, &pos, &r->range_total);
  } else if (key == "connection") {
    if (Lower(value).find("close") != std::string::npos) r->keep_alive = false;
  } else if (key == "transfer-encoding") {
    if (Lower(value).find("chunked") != std::string::npos) r->chunked = true;
  } else if (key == "etag") {
    r->etag = value;
  } else if (key == "last-modified") {
    r->last_modified = value;
  } else if (key == "location") {
    r->location = value;
  } else if (key == "retry-after") {
    uint64_t s = 0;
    // Only the seconds form; a date is taken as "soon".
    if (ParseU64(value, &pos, &s)) r->retry_after_s = static_cast<uint32_t>(std::min<uint64_t>(s, 3600));
  }
}

class WinsockInit {
 public:
  WinsockInit() {
    WSADATA data;
    ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockInit() {
    if (ok_) WSACleanup();
  }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

bool EnsureWinsock() {
  static WinsockInit init;
  return init.ok();
}

}  // namespace

bool ParseResponseHead(const std::string& head, HttpResponse* response) {
  *response = HttpResponse();
  size_t line_end = head.find("\r\n");
  std::string status_line = head.substr(0, line_end);
  if (status_line.compare(0, 5, "HTTP/") != 0) return false;
  size_t sp = status_line.find(' ');
  response->status = sp == std::string::npos ? 0 : std::atoi(status_line.c_str() + sp + 1);
  if (status_line.compare(0, 8, "HTTP/1.0") == 0) response->keep_alive = false;
  size_t pos = line_end == std::string::npos ? head.size() : line_end + 2;
  while (pos < head.size()) {
    size_t next = head.find("\r\n", pos);
    if (next == std::string::npos) next = head.size();
    std::string line = head.substr(pos, next - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) ParseHeader(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)), response);
    pos = next + 2;
  }
  return true;
}

bool ParseHttpUrl(const std::string& url, HttpUrl* out) {
  HttpUrl u;
  size_t rest;
  if (Lower(url.substr(0, 7)) == "http://") {
    rest = 7;
  } else if (Lower(url.substr(0, 8)) == "https://") {
    u.https = true;
    u.port = 443;
    rest = 8;
  } else {
    return false;
  }
  size_t end = url.find_first_of("/?#", rest);
  std::string authority = url.substr(rest, end == std::string::npos ? std::string::npos : end - rest);
  if (authority.find('@') != std::string::npos || authority.empty()) return false;
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos) {
    size_t pos = colon + 1;
    uint64_t port = 0;
    if (!ParseU64(authority, &pos, &port) || pos != authority.size() || port == 0 || port > 65535) return false;
    u.port = static_cast<uint16_t>(port);
    authority.erase(colon);
  }
  if (authority.empty()) return false;
  u.host = authority;
  std::string target = end == std::string::npos ? std::string("/") : url.substr(end);
  size_t hash = target.find('#');
  if (hash != std::string::npos) target.erase(hash);  // never sent
  if (target.empty() || target[0] != '/') target = "/" + target;
  for (char c : target) {
    if (static_cast<unsigned char>(c) <= 0x20) return false;  // no header injection
  }
  u.target = target;
  *out = u;
  return true;
}

std::string ResolveLocation(const HttpUrl& base, const std::string& location) {
  const std::string lower = Lower(location.substr(0, 8));
  if (lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0) return location;
  std::string origin = std::string(base.https ? "https://" : "http://") + base.host + ":" +
                       std::to_string(base.port);
  if (location.compare(0, 2, "//") == 0) return std::string(base.https ? "https:" : "http:") + location;
  if (!location.empty() && location[0] == '/') return origin + location;
  std::string dir = base.target.substr(0, base.target.find('?'));
  dir.erase(dir.rfind('/') + 1);
  return origin + dir + location;
}

HttpConnection::HttpConnection(std::function<bool()> abort, uint32_t stall_ms)
    : abort_(std::move(abort)), stall_ms_(stall_ms), pace_(stall_ms), socket_(INVALID_SOCKET) {}

HttpConnection::~HttpConnection() { Close(); }

void HttpConnection::Close() {
  if (tls_) tls_->Close();
  tls_active_ = false;
  if (socket_ != INVALID_SOCKET) {
    closesocket(static_cast<SOCKET>(socket_));
    socket_ = INVALID_SOCKET;
  }
  proxied_ = false;
  host_key_.clear();
  pending_.clear();
  body_left_ = 0;
  body_unbounded_ = false;
}

bool HttpConnection::Reusable() const {
  if (tls_active_) return tls_->Reusable();
  return socket_ != INVALID_SOCKET && keep_alive_ && body_left_ == 0 && !body_unbounded_ &&
         pending_.empty();
}

IoResult HttpConnection::ConnectTo(const std::string& host, uint16_t port) {
  std::vector<SocketAddress> addresses;
  int error = 0;
  const LookupResult found = LookUpName(host, port, abort_, kLookupBoundMs, &addresses, &error);
  if (found == LookupResult::kAborted) return IoResult::kAborted;
  if (found != LookupResult::kOk) {
    last_error_ = error;
    return IoResult::kFailed;
  }
  SOCKET s = INVALID_SOCKET;
  const ConnectResult connected = ConnectAny(addresses, abort_, kConnectTimeoutMs, kConnectStaggerMs, &s, &error);
  if (connected == ConnectResult::kAborted) return IoResult::kAborted;
  if (connected != ConnectResult::kOk) {
    last_error_ = error;
    return IoResult::kFailed;
  }
  // The socket stays non-blocking: a read tries recv() first and waits
  // only when nothing is there. Under Wine every select() is a trip to the
  // wine server, while a recv() that finds data completes in the process.
  socket_ = s;
  return IoResult::kOk;
}

IoResult HttpConnection::Connect(const HttpUrl& url) {
  Close();
  if (!EnsureWinsock()) return IoResult::kFailed;
  const ProxyRoute route = ProxyRouteFor(url.host, url.port, abort_);
  if (abort_()) return IoResult::kAborted;
  IoResult r = IoResult::kFailed;
  for (const ProxyServer& proxy : route.proxies) {
    r = ConnectTo(proxy.host, proxy.port);
    if (r == IoResult::kAborted) return r;
    if (r == IoResult::kOk) {
      proxied_ = true;
      break;
    }
  }
  if (r != IoResult::kOk && (route.proxies.empty() || route.direct_after)) r = ConnectTo(url.host, url.port);
  if (r != IoResult::kOk) return r;
  host_key_ = url.host + ":" + std::to_string(url.port);
  return IoResult::kOk;
}

IoResult HttpConnection::WaitReadable() {
  const ULONGLONG deadline = GetTickCount64() + stall_ms_;
  for (;;) {
    if (abort_()) return IoResult::kAborted;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(socket_), &readable);
    timeval tv = {0, kPollMs * 1000};
    int n = select(0, &readable, nullptr, nullptr, &tv);
    if (n > 0) return IoResult::kOk;
    if (n < 0) {
      last_error_ = WSAGetLastError();
      return IoResult::kFailed;
    }
    if (GetTickCount64() > deadline) return IoResult::kStalled;
  }
}

IoResult HttpConnection::Receive(char* buffer, size_t capacity, size_t* got) {
  for (;;) {
    if (abort_()) return IoResult::kAborted;
    const int n = recv(static_cast<SOCKET>(socket_), buffer, static_cast<int>(std::min<size_t>(capacity, 1 << 30)), 0);
    if (n >= 0) {
      *got = static_cast<size_t>(n);
      return IoResult::kOk;
    }
    last_error_ = WSAGetLastError();
    if (last_error_ != WSAEWOULDBLOCK) return IoResult::kFailed;
    const IoResult wait = WaitReadable();
    if (wait != IoResult::kOk) return wait;
  }
}

IoResult HttpConnection::SendAll(const std::string& data) {
  size_t sent = 0;
  const ULONGLONG deadline = GetTickCount64() + stall_ms_;
  while (sent < data.size()) {
    int n = send(static_cast<SOCKET>(socket_), data.data() + sent, static_cast<int>(data.size() - sent), 0);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    last_error_ = WSAGetLastError();
    if (n == 0 || last_error_ != WSAEWOULDBLOCK) return IoResult::kFailed;
    if (abort_()) return IoResult::kAborted;
    if (GetTickCount64() > deadline) return IoResult::kStalled;
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(static_cast<SOCKET>(socket_), &writable);
    timeval tv = {0, kPollMs * 1000};
    if (select(0, nullptr, &writable, nullptr, &tv) < 0) {
      last_error_ = WSAGetLastError();
      return IoResult::kFailed;
    }
  }
  return IoResult::kOk;
}

IoResult HttpConnection::ReadHead(std::string* head) {
  std::string data;
  char buffer[16384];
  for (;;) {
    size_t end = data.find("\r\n\r\n");
    if (end != std::string::npos) {
      *head = data.substr(0, end);
      pending_ = data.substr(end + 4);
      return IoResult::kOk;
    }
    if (data.size() > kMaxHead) return IoResult::kFailed;
    size_t n = 0;
    IoResult r = Receive(buffer, sizeof(buffer), &n);
    if (r != IoResult::kOk) return r;
    if (n == 0) {
      last_error_ = 0;
      return IoResult::kFailed;
    }
    data.append(buffer, n);
  }
}

IoResult HttpConnection::Get(const HttpUrl& url, uint64_t first, uint64_t last,
                             const std::string& if_range, HttpResponse* response) {
  *response = HttpResponse();
  if (url.https) {
    if (socket_ != INVALID_SOCKET) Close();
    if (!tls_) tls_ = std::make_unique<HttpsSession>(abort_, stall_ms_);
    tls_active_ = true;
    const IoResult r = tls_->Get(url, first, last, if_range, response);
    last_error_ = tls_->last_error();
    return r;
  }
  if (tls_active_) {
    tls_->Close();
    tls_active_ = false;
  }
  const std::string key = url.host + ":" + std::to_string(url.port);
  const std::string authority = url.host + (url.port == 80 ? std::string() : ":" + std::to_string(url.port));
  std::string headers = "Host: " + authority +
                        "\r\nUser-Agent: FetchCore/1.0\r\nAccept-Encoding: identity\r\n"
                        "Connection: keep-alive\r\n";
  if (first != 0 || last != UINT64_MAX) {
    headers += "Range: bytes=" + std::to_string(first) + "-" +
               (last == UINT64_MAX ? std::string() : std::to_string(last)) + "\r\n";
    if (!if_range.empty()) headers += "If-Range: " + if_range + "\r\n";
  }
  headers += "\r\n";

  // A kept-alive connection may have been closed by the server meanwhile:
  // one fresh attempt covers that without counting as a failure.
  const bool reuse = Reusable() && key == host_key_;
  for (int attempt = reuse ? 0 : 1; attempt < 2; ++attempt) {
    if (attempt == 1) {
      IoResult c = Connect(url);
      if (c != IoResult::kOk) return c;
    }
    // Through a proxy the request names the whole URL (absolute form).
    const std::string request =
        "GET " + (proxied_ ? "http://" + authority + url.target : url.target) + " HTTP/1.1\r\n" + headers;
    std::string head;
    IoResult r = SendAll(request);
    if (r == IoResult::kOk) r = ReadHead(&head);
    if (r == IoResult::kAborted) return r;
    if (r != IoResult::kOk) {
      if (attempt == 0) continue;
      Close();
      return r;
    }
    if (!ParseResponseHead(head, response)) {
      Close();
      return IoResult::kFailed;
    }
    keep_alive_ = response->keep_alive && !response->chunked;
    body_unbounded_ = !response->has_length || response->chunked;
    body_left_ = response->has_length ? response->content_length : 0;
    pace_.Restart(GetTickCount64());
    return IoResult::kOk;
  }
  return IoResult::kFailed;
}

IoResult HttpConnection::ReadBody(char* buffer, size_t capacity, size_t* got) {
  *got = 0;
  if (tls_active_) {
    const IoResult r = tls_->ReadBody(buffer, capacity, got);
    last_error_ = tls_->last_error();
    return r;
  }
  if (!body_unbounded_ && body_left_ == 0) return IoResult::kEnd;
  size_t want = capacity;
  if (!body_unbounded_ && body_left_ < want) want = static_cast<size_t>(body_left_);
  if (!pending_.empty()) {
    size_t n = std::min(want, pending_.size());
    memcpy(buffer, pending_.data(), n);
    pending_.erase(0, n);
    *got = n;
  } else {
    if (want > ReadPace::kSmallRead) {
      if (const uint32_t gather = pace_.GatherMs()) ::Sleep(gather);
    }
    size_t n = 0;
    IoResult r = Receive(buffer, want, &n);
    if (r != IoResult::kOk) return r;
    if (n == 0) {
      // Closed by the server: the end of an unbounded body, a truncation of
      // a declared one.
      if (body_unbounded_) {
        body_unbounded_ = false;
        keep_alive_ = false;
        return IoResult::kEnd;
      }
      return IoResult::kFailed;
    }
    if (!pace_.Note(n, want, GetTickCount64())) {
      // A drip: give the span back rather than hold it for ever.
      last_error_ = WSAETIMEDOUT;
      return IoResult::kStalled;
    }
    *got = n;
  }
  if (!body_unbounded_) body_left_ -= *got;
  return IoResult::kOk;
}

}  // namespace fetch
