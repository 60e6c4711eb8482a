#include "engine/connect_any.h"

#include <ws2tcpip.h>

#include <algorithm>

namespace fetch {

namespace {

constexpr ULONGLONG kPollMs = 200;

struct Attempt {
  SOCKET socket;
  size_t index;
};

// A started, non-blocking connect, or INVALID_SOCKET when it failed at once.
SOCKET StartAttempt(const SocketAddress& address, int* error) {
  SOCKET s = socket(address.family(), SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    *error = WSAGetLastError();
    return INVALID_SOCKET;
  }
  // A large receive window keeps a fast or far server streaming between our
  // (big) reads; no Nagle delay for the small requests.
  int window = 4 * 1024 * 1024;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&window), sizeof(window));
  BOOL nodelay = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&nodelay), sizeof(nodelay));
  u_long nonblocking = 1;
  ioctlsocket(s, FIONBIO, &nonblocking);
  if (connect(s, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    *error = WSAGetLastError();
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

int SocketError(SOCKET s) {
  int value = 0;
  int size = sizeof(value);
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&value), &size) != 0) return WSAGetLastError();
  return value;
}

}  // namespace

ConnectResult ConnectAny(const std::vector<SocketAddress>& addresses, const std::function<bool()>& abort,
                         uint32_t timeout_ms, uint32_t stagger_ms, SOCKET* out, int* error, size_t* winner) {
  *out = INVALID_SOCKET;
  *error = WSAEHOSTUNREACH;
  std::vector<Attempt> racing;
  auto close_all = [&racing] {
    for (const Attempt& a : racing) closesocket(a.socket);
    racing.clear();
  };
  size_t next = 0;
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  ULONGLONG next_start = 0;
  for (;;) {
    if (abort && abort()) {
      close_all();
      return ConnectResult::kAborted;
    }
    ULONGLONG now = GetTickCount64();
    while (next < addresses.size() && (racing.empty() || now >= next_start)) {
      const SOCKET s = StartAttempt(addresses[next], error);
      if (s != INVALID_SOCKET) {
        racing.push_back({s, next});
        next_start = now + stagger_ms;
      }
      ++next;
    }
    if (racing.empty()) return ConnectResult::kFailed;  // every address refused at once
    if (now >= deadline) {
      close_all();
      *error = WSAETIMEDOUT;
      return ConnectResult::kFailed;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    for (const Attempt& a : racing) {
      FD_SET(a.socket, &writable);
      FD_SET(a.socket, &failed);
    }
    ULONGLONG wait = std::min<ULONGLONG>(kPollMs, deadline - now);
    if (next < addresses.size()) wait = std::min<ULONGLONG>(wait, next_start > now ? next_start - now : 0);
    timeval tv = {0, static_cast<long>(wait * 1000)};
    const int n = select(0, nullptr, &writable, &failed, &tv);
    if (n < 0) {
      *error = WSAGetLastError();
      close_all();
      return ConnectResult::kFailed;
    }
    if (n == 0) continue;
    for (size_t i = 0; i < racing.size();) {
      const Attempt a = racing[i];
      if (FD_ISSET(a.socket, &writable) && SocketError(a.socket) == 0) {
        racing.erase(racing.begin() + static_cast<std::ptrdiff_t>(i));
        close_all();
        *out = a.socket;
        *error = 0;
        if (winner) *winner = a.index;
        return ConnectResult::kOk;
      }
      if (FD_ISSET(a.socket, &failed) || FD_ISSET(a.socket, &writable)) {
        // Refused or unreachable: the next address starts now, not after
        // the stagger.
        const int e = SocketError(a.socket);
        *error = e != 0 ? e : WSAECONNREFUSED;
        closesocket(a.socket);
        racing.erase(racing.begin() + static_cast<std::ptrdiff_t>(i));
        next_start = 0;
        continue;
      }
      ++i;
    }
  }
}

}  // namespace fetch
