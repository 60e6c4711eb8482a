#include "engine/name_lookup.h"

#include <cstring>
#include <memory>

#include "engine/detached_call.h"

namespace fetch {

namespace {

NameLookupFn& TestLookup() {
  static NameLookupFn lookup;
  return lookup;
}

void Append(const addrinfo* list, std::vector<SocketAddress>* out) {
  for (const addrinfo* a = list; a; a = a->ai_next) {
    if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    SocketAddress address;
    memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
    address.length = static_cast<int>(a->ai_addrlen);
    out->push_back(address);
  }
}

int SystemLookup(const std::string& host, uint16_t port, int flags, std::vector<SocketAddress>* out) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (rc != 0) return rc;
  Append(found, out);
  freeaddrinfo(found);
  return out->empty() ? WSAHOST_NOT_FOUND : 0;
}

}  // namespace

std::vector<SocketAddress> InterleaveFamilies(const std::vector<SocketAddress>& addresses) {
  if (addresses.empty()) return addresses;
  std::vector<SocketAddress> first, second, out;
  const int lead = addresses.front().family();
  for (const SocketAddress& a : addresses) (a.family() == lead ? first : second).push_back(a);
  for (size_t i = 0; i < first.size() || i < second.size(); ++i) {
    if (i < first.size()) out.push_back(first[i]);
    if (i < second.size()) out.push_back(second[i]);
  }
  return out;
}

void SetNameLookupForTesting(NameLookupFn lookup) { TestLookup() = std::move(lookup); }

LookupResult LookUpName(const std::string& host, uint16_t port, const std::function<bool()>& abort,
                        uint32_t bound_ms, std::vector<SocketAddress>* addresses, int* error) {
  addresses->clear();
  *error = 0;
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  // A literal address needs no resolver and no thread.
  if (SystemLookup(bare, port, AI_NUMERICHOST, addresses) == 0) return LookupResult::kOk;
  addresses->clear();

  struct Outcome {
    int rc = WSAHOST_NOT_FOUND;
    std::vector<SocketAddress> found;
  };
  auto outcome = std::make_shared<Outcome>();
  NameLookupFn lookup = TestLookup();
  const DetachedResult waited = RunDetached(
      [outcome, lookup, bare, port] {
        outcome->rc = lookup ? lookup(bare, port, &outcome->found) : SystemLookup(bare, port, 0, &outcome->found);
      },
      abort, bound_ms);
  switch (waited) {
    case DetachedResult::kDone:
      break;
    case DetachedResult::kAborted:
      return LookupResult::kAborted;
    case DetachedResult::kTimedOut:
      *error = WSATRY_AGAIN;
      return LookupResult::kFailed;
    case DetachedResult::kNoThread:
      *error = WSAENOBUFS;
      return LookupResult::kFailed;
  }
  if (outcome->rc != 0 || outcome->found.empty()) {
    *error = outcome->rc != 0 ? outcome->rc : WSAHOST_NOT_FOUND;
    return LookupResult::kFailed;
  }
  *addresses = InterleaveFamilies(outcome->found);
  return LookupResult::kOk;
}

}  // namespace fetch
