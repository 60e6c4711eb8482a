// A loopback HTTP/1.1 server for the engine tests whose every answer is
// scripted by the test: resets, truncations, stalls, wrong ranges, 5xx with
// Retry-After, redirects, ranges ignored, changed validators. Unlike the
// shared fault server it serves many connections at once (the engine opens
// several) and keeps them alive between requests.
//
// Thread-safety: construct, start, read and destroy on the test thread. The
// handler runs on the connection threads, several at once: it must be safe
// for that. Ownership: the server owns its threads and sockets; the
// destructor closes every socket (ending stalls) and joins the threads.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace enginetest {

struct ServedRequest {
  std::string target;  // "/path"
  std::map<std::string, std::string> headers;  // lower-case names
  bool has_range = false;
  uint64_t first = 0;
  uint64_t last = UINT64_MAX;  // open range
  std::string Header(const std::string& lower_name) const;
};

class ServerConn {
 public:
  ServerConn(SOCKET s, const std::atomic<bool>* stop) : socket_(s), stop_(stop) {}
  bool Send(const std::string& data);
  // Sends slowly: `bytes_per_second` in 16 KiB pieces (0 = at once) until
  // `full_speed` (if given) turns true; `count_body` adds what was sent to
  // the server's body byte count.
  bool SendPaced(const char* data, size_t size, uint64_t bytes_per_second, bool count_body,
                 const std::atomic<bool>* full_speed = nullptr);
  void Close() { closed_ = true; }
  void Reset();  // closes with an RST instead of a FIN
  void StallUntilStopped();
  bool closed() const { return closed_; }
  SOCKET socket() const { return socket_; }

 private:
  SOCKET socket_;
  const std::atomic<bool>* stop_;
  bool closed_ = false;
};

// Options of the ordinary answer: the file, with Range support.
struct ServeOptions {
  std::string etag = "\"v1\"";
  bool ignore_range = false;       // 200 and the whole body even to a Range
  uint64_t bytes_per_second = 0;   // pacing, 0 = full speed
  const std::atomic<bool>* full_speed = nullptr;  // ends the pacing once true
  int64_t declared_size = -1;      // a Content-Length/total other than the body's
};
// Answers `request` from `body`: 206 for a satisfiable range (honouring
// If-Range against the ETag), 200 otherwise. Keeps the connection open.
void ServeFile(ServerConn& conn, const ServedRequest& request, const std::string& body,
               const ServeOptions& options = ServeOptions());

class ScriptedServer {
 public:
  using Handler = std::function<void(ServerConn& conn, const ServedRequest& request)>;
  explicit ScriptedServer(Handler handler);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  // Listens on 127.0.0.1 at `port`, or at one the system picks (0).
  bool Start(int port = 0);
  int port() const { return port_; }
  std::wstring Url(const std::wstring& path) const;
  std::vector<ServedRequest> Requests() const;
  uint64_t BodyBytesSent() const { return body_bytes_; }
  void CountBody(uint64_t n) { body_bytes_ += n; }

 private:
  void Accept();
  void Serve(SOCKET client);

  Handler handler_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> body_bytes_{0};
  std::thread acceptor_;
  mutable std::mutex lock_;
  std::vector<std::thread> threads_;
  std::vector<SOCKET> clients_;
  std::vector<ServedRequest> requests_;
};

// The server currently running the handler (for ServeFile's byte count).
ScriptedServer*& CurrentServer();

}  // namespace enginetest
