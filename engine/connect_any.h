// Opens a TCP connection to the first of several addresses that answers,
// the Happy Eyeballs way: the next attempt starts when the current one has
// not connected within the stagger (or at once when it failed), earlier
// attempts stay in the race, and the first to connect wins; the others are
// closed. So a dead first address (a CDN node down, IPv6 with no route)
// costs a quarter of a second, not a connect time-out.
//
// The socket comes back non-blocking, with a large receive window and no
// Nagle delay.
//
// Thread-safety: any thread; `abort` is polled at least every 200 ms.
// Ownership: the caller owns the returned socket (closesocket()).
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/name_lookup.h"

namespace fetch {

enum class ConnectResult { kOk, kFailed, kAborted };

constexpr uint32_t kConnectStaggerMs = 250;

// `error` gets the last attempt's error on kFailed; `winner` the index of
// the address that answered.
ConnectResult ConnectAny(const std::vector<SocketAddress>& addresses, const std::function<bool()>& abort,
                         uint32_t timeout_ms, uint32_t stagger_ms, SOCKET* out, int* error, size_t* winner = nullptr);

}  // namespace fetch
