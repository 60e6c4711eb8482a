// A small HTTP server inside the test program, for the answers nginx will
// not give: a 404 with a body, a body ended only by closing, an absurd
// declared length, a server that never answers, a reset in mid-body. It
// listens on 127.0.0.1 at a port the system picks, serves one connection at
// a time on its own thread, and records every request it reads.
//
// Thread-safety: construct, start, read and destroy on the test thread; the
// server thread only touches the recorded requests under their lock.
// Ownership: the server owns its thread and sockets; the destructor stops
// the thread and closes them (which ends a stalled client's connection).
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace testutil {

struct RecordedRequest {
  std::string request_line;  // "GET /path?query HTTP/1.0"
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // The value of the first header named `name` (case-insensitive); empty if
  // absent. `present` tells the two apart.
  std::string Header(const std::string& name, bool* present = nullptr) const;
};

class FaultServer {
 public:
  enum class Answer {
    kOk,               // 200, Content-Length, the body
    kNotFoundWithBody, // 404, Content-Length, the body
    kCloseDelimited,   // 200 over HTTP/1.0 without a length: the body, then close
    kDeclaredLength,   // 200 declaring `declared_length`, the body, then close
    kStall,            // reads the request and never answers
    kResetMidBody,     // declares the body's length, sends half of it, resets
  };

  FaultServer(Answer answer, std::string body, unsigned long long declared_length = 0);
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  // Binds, listens and starts the thread. False when any step failed.
  bool Start();
  int port() const { return port_; }
  // "http://127.0.0.1:<port><path>"
  std::wstring Url(const std::wstring& path) const;

  // Requests read so far, in order.
  std::vector<RecordedRequest> Requests() const;
  // Waits (without pumping messages) until `count` requests were read.
  bool WaitForRequests(size_t count, DWORD timeout_ms) const;

 private:
  struct Sockets;
  static DWORD WINAPI ThreadMain(void* self);
  void Serve();
  void HandleConnection(uintptr_t client);
  bool ReadRequest(uintptr_t client, RecordedRequest* request);

  const Answer answer_;
  const std::string body_;
  const unsigned long long declared_length_;
  int port_ = 0;
  std::unique_ptr<Sockets> sockets_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace testutil
