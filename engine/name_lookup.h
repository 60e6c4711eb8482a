// Name lookup for the engine's own connections: every address a name has,
// IPv6 and IPv4, ordered for trying one after another. The lookup runs on a
// detached thread (see detached_call.h), bounded in time and given up at
// once on a cancel, so a slow or hanging resolver never holds a shut down.
// Numeric addresses are taken as they are, without a thread.
//
// Thread-safety: LookUpName() from any thread. SetNameLookupForTesting()
// only while no lookup runs (a test's set-up).
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fetch {

struct SocketAddress {
  sockaddr_storage storage = {};
  int length = 0;
  int family() const { return storage.ss_family; }
};

enum class LookupResult { kOk, kFailed, kAborted };

// Every address of `host` with `port`, families interleaved (first the
// family the resolver put first), so that a dead family costs one stagger,
// not a round of time-outs. `error` gets the resolver's code on kFailed.
LookupResult LookUpName(const std::string& host, uint16_t port, const std::function<bool()>& abort,
                        uint32_t bound_ms, std::vector<SocketAddress>* addresses, int* error);

// Interleaves families, keeping the order within each.
std::vector<SocketAddress> InterleaveFamilies(const std::vector<SocketAddress>& addresses);

// Replaces the system resolver in unit tests. The function runs on the
// lookup thread, as the system resolver would; it returns 0 or an error.
using NameLookupFn = std::function<int(const std::string& host, uint16_t port, std::vector<SocketAddress>* out)>;
void SetNameLookupForTesting(NameLookupFn lookup);

}  // namespace fetch
