// The https side of a connection: GET requests through WinINet, which does
// the TLS and the certificate checks (never switched off: a source whose
// certificate does not check out fails like an unreachable one), with the
// same calls and results as the plain-http connection.
//
// WinINet runs asynchronously here, so no call blocks: every wait is at
// most 200 ms long and polls the abort callback, a response head or body
// read that takes longer than the stall time-out ends with kStalled. An
// aborted or stalled request is closed and waited for (its completion
// writes into the caller's buffer), so nothing of it is left running when
// the call returns. WinINet keeps the connections to a host alive between
// requests of one session itself.
//
// Thread-safety: one thread uses a session at a time (WinINet's own threads
// only touch the request state, under the event protocol below).
// Ownership: the session owns its WinINet handles and the request state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/scoped_handle.h"
#include "engine/http_conn.h"

namespace fetch {

struct HttpsRequest;

// WinINet handles (HINTERNET, kept as void* so this header needs no
// wininet.h).
struct InternetHandleTraits {
  using Handle = void*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h);
};
using ScopedInternetHandle = base::ScopedGeneric<InternetHandleTraits>;

class HttpsSession {
 public:
  HttpsSession(std::function<bool()> abort, uint32_t stall_ms);
  ~HttpsSession();
  HttpsSession(const HttpsSession&) = delete;
  HttpsSession& operator=(const HttpsSession&) = delete;

  // As HttpConnection::Get, for an https URL.
  IoResult Get(const HttpUrl& url, uint64_t first, uint64_t last, const std::string& if_range,
               HttpResponse* response);
  // As HttpConnection::ReadBody; kEnd once the body is complete.
  IoResult ReadBody(char* buffer, size_t capacity, size_t* got);
  // Whether a next request may follow (the session lives on).
  bool Reusable() const;
  // Ends the current request, if any; the session stays for the next.
  void Close();
  // The WinINet error of the last failure (12045: unknown certificate
  // authority, 12157: TLS failure, ...).
  int last_error() const { return last_error_; }

 private:
  bool Open();
  // Completes a call on the current request that returned `completed`:
  // kOk at once, or after waiting (at most `limit_ms`) for its pending
  // completion; otherwise the failure, with the request closed.
  IoResult Finish(int completed, uint32_t limit_ms);
  void CloseRequest();

  std::function<bool()> abort_;
  uint32_t stall_ms_;
  // The destructor closes the request first; members then go in reverse
  // order, the host before the session.
  ScopedInternetHandle internet_;  // the session
  ScopedInternetHandle connect_;   // the current host
  std::string connect_key_;
  HttpsRequest* request_ = nullptr;  // owned; leaked on purpose if WinINet never lets go
  uint64_t body_left_ = 0;
  bool body_bounded_ = false;
  bool body_done_ = true;
  int last_error_ = 0;
};

}  // namespace fetch
