// One HTTP/1.1 connection over Winsock, kept alive between requests to the
// same host. Plain http only: the engine carries http itself because the
// platform libraries cost too much CPU per byte on big files (WinHTTP
// several times curl's, WinINet only close with large reads), while a
// socket read of up to a whole chunk straight into the write buffer beats
// both.
// https URLs go through the platform's library instead (HttpsSession over
// WinINet), which does the certificate checks; the connection hands them
// over and callers see no difference.
//
// A connection tries every address of the name (name_lookup.h,
// connect_any.h) and goes through the proxy the user's settings name
// (system_proxy.h). Every wait is a select() of at most 200 ms, and every
// read checks the cancel flag first, so a cancel is noticed within that
// time and a connection never hangs a shut down; the name lookup and a
// proxy script are given up on a cancel too. A body that arrives under the
// lowest speed for a whole window ends as stalled (read_pace.h).
//
// Thread-safety: one thread uses a connection at a time. Ownership: the
// connection owns its socket; the abort callback is borrowed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/engine/http_head.h"
#include "engine/read_pace.h"

namespace fetch {

enum class IoResult { kOk, kEnd, kAborted, kStalled, kFailed };

class HttpsSession;

class HttpConnection {
 public:
  // `abort` is polled between waits; true ends the current call with kAborted.
  HttpConnection(std::function<bool()> abort, uint32_t stall_ms);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Sends a GET (reusing the open connection when it is to the same host)
  // and reads the response head. `last` == UINT64_MAX asks for `first`
  // to the end; first == 0 && last == UINT64_MAX asks for no range at all.
  IoResult Get(const HttpUrl& url, uint64_t first, uint64_t last, const std::string& if_range,
               HttpResponse* response);
  // Reads body bytes (at most what is left of the declared length).
  IoResult ReadBody(char* buffer, size_t capacity, size_t* got);
  // Whether the body was read whole and the server keeps the connection.
  bool Reusable() const;
  void Close();
  int last_error() const { return last_error_; }

 private:
  // Through the proxies the user's settings name for `url`, or directly.
  IoResult Connect(const HttpUrl& url);
  // Every address of the name, raced (connect_any.h).
  IoResult ConnectTo(const std::string& host, uint16_t port);
  IoResult WaitReadable();
  // One recv(), waiting first only when nothing is there; 0 bytes = closed.
  IoResult Receive(char* buffer, size_t capacity, size_t* got);
  IoResult SendAll(const std::string& data);
  IoResult ReadHead(std::string* head);

  std::function<bool()> abort_;
  uint32_t stall_ms_;
  ReadPace pace_;
  std::unique_ptr<HttpsSession> tls_;  // the https side, made on first use
  bool tls_active_ = false;            // the current response came through tls_
  uintptr_t socket_;
  std::string host_key_;
  std::string pending_;      // body bytes read along with the head
  uint64_t body_left_ = 0;
  bool body_unbounded_ = false;
  bool keep_alive_ = false;
  bool proxied_ = false;  // the socket goes to a proxy, not the origin
  int last_error_ = 0;
};

}  // namespace fetch
