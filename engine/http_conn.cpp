#include <winsock2.h>
#include <ws2tcpip.h>

#include "engine/http_conn.h"

#include "engine/https_session.h"

#include <algorithm>
#include <cstring>
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
