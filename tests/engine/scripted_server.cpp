#include "scripted_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace enginetest {

namespace {

thread_local ScriptedServer* current_server = nullptr;

bool Readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = {ms / 1000, (ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) > 0;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

void ParseRange(const std::string& value, ServedRequest* r) {
  if (value.compare(0, 6, "bytes=") != 0) return;
  const std::string range_text = value.substr(6);
  size_t dash = range_text.find('-');
  if (dash == std::string::npos || dash == 0) return;
  r->has_range = true;
  r->first = std::strtoull(range_text.substr(0, dash).c_str(), nullptr, 10);
  std::string last = range_text.substr(dash + 1);
  r->last = last.empty() ? UINT64_MAX : std::strtoull(last.c_str(), nullptr, 10);
}

}  // namespace

ScriptedServer*& CurrentServer() { return current_server; }

std::string ServedRequest::Header(const std::string& lower_name) const {
  auto it = headers.find(lower_name);
  return it == headers.end() ? std::string() : it->second;
}

bool ServerConn::Send(const std::string& data) { return SendPaced(data.data(), data.size(), 0, false); }

bool ServerConn::SendPaced(const char* data, size_t size, uint64_t bytes_per_second, bool count_body,
                           const std::atomic<bool>* full_speed) {
  size_t sent = 0;
  // Small pieces, each sent only once the socket can take it, so a client
  // that stopped reading never keeps the server from stopping.
  const size_t piece = bytes_per_second ? 16384 : 256 * 1024;
  const ULONGLONG start = GetTickCount64();
  while (sent < size) {
    if (*stop_) return false;
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket_, &writable);
    timeval tv = {0, 100 * 1000};
    const int ready = select(0, nullptr, &writable, nullptr, &tv);
    if (ready < 0) return false;
    if (ready == 0) continue;
    const size_t n = std::min(piece, size - sent);
    int r = send(socket_, data + sent, static_cast<int>(n), 0);
    if (r <= 0) return false;
    sent += static_cast<size_t>(r);
    if (count_body && CurrentServer()) CurrentServer()->CountBody(static_cast<uint64_t>(r));
    if (bytes_per_second && !(full_speed && *full_speed)) {
      const ULONGLONG due = start + sent * 1000 / bytes_per_second;
      const ULONGLONG now = GetTickCount64();
      if (due > now) Sleep(static_cast<DWORD>(due - now));
    }
  }
  return true;
}

void ServerConn::Reset() {
  linger hard = {1, 0};
  setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
  closed_ = true;
}

void ServerConn::StallUntilStopped() {
  while (!*stop_) Sleep(20);
  closed_ = true;
}

void ServeFile(ServerConn& conn, const ServedRequest& request, const std::string& body,
               const ServeOptions& options) {
  const uint64_t size = options.declared_size >= 0 ? static_cast<uint64_t>(options.declared_size) : body.size();
  bool partial = request.has_range && !options.ignore_range && request.first < size;
  const std::string if_range = request.Header("if-range");
  if (partial && !if_range.empty() && if_range != options.etag) partial = false;
  uint64_t first = 0, last = size - 1;
  if (partial) {
    first = request.first;
    last = std::min<uint64_t>(request.last, size - 1);
  }
  std::string head = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
  head += "Content-Length: " + std::to_string(last - first + 1) + "\r\n";
  if (partial) {
    head += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
            std::to_string(size) + "\r\n";
  }
  if (!options.etag.empty()) head += "ETag: " + options.etag + "\r\n";
  head += "\r\n";
  if (!conn.Send(head)) {
    conn.Close();
    return;
  }
  const uint64_t end = std::min<uint64_t>(last + 1, body.size());
  if (first < end) {
    if (!conn.SendPaced(body.data() + first, static_cast<size_t>(end - first), options.bytes_per_second, true,
                       options.full_speed)) {
      conn.Close();
      return;
    }
  }
  if (end < last + 1) conn.Close();  // declared more than there is
}

ScriptedServer::ScriptedServer(Handler handler) : handler_(std::move(handler)) {}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> guard(lock_);
    threads.swap(threads_);
  }
  for (std::thread& t : threads) t.join();
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
}

bool ScriptedServer::Start(int port) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return false;
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  if (port != 0) {
    // A port chosen again, as a server coming back would: its earlier
    // connections may linger in TIME_WAIT.
    const BOOL reuse = TRUE;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
  }
  int len = sizeof(addr);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(listener_, 64) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return false;
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread(&ScriptedServer::Accept, this);
  return true;
}

std::wstring ScriptedServer::Url(const std::wstring& path) const {
  return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
}

std::vector<ServedRequest> ScriptedServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void ScriptedServer::Accept() {
  while (!stop_) {
    if (!Readable(listener_, 50)) continue;
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    std::lock_guard<std::mutex> guard(lock_);
    threads_.emplace_back(&ScriptedServer::Serve, this, client);
  }
}

void ScriptedServer::Serve(SOCKET client) {
  CurrentServer() = this;
  ServerConn conn(client, &stop_);
  std::string data;
  char buffer[8192];
  while (!stop_ && !conn.closed()) {
    size_t end = data.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (!Readable(client, 100)) continue;
      int n = recv(client, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      data.append(buffer, static_cast<size_t>(n));
      continue;
    }
    ServedRequest request;
    const std::string head = data.substr(0, end);
    data.erase(0, end + 4);
    size_t line_end = head.find("\r\n");
    const std::string line = head.substr(0, line_end);
    size_t a = line.find(' '), b = line.find(' ', a + 1);
    if (a != std::string::npos && b != std::string::npos) request.target = line.substr(a + 1, b - a - 1);
    size_t pos = line_end == std::string::npos ? head.size() : line_end + 2;
    while (pos < head.size()) {
      size_t next = head.find("\r\n", pos);
      if (next == std::string::npos) next = head.size();
      const std::string h = head.substr(pos, next - pos);
      size_t colon = h.find(':');
      if (colon != std::string::npos) request.headers[Lower(Trim(h.substr(0, colon)))] = Trim(h.substr(colon + 1));
      pos = next + 2;
    }
    ParseRange(request.Header("range"), &request);
    {
      std::lock_guard<std::mutex> guard(lock_);
      requests_.push_back(request);
    }
    handler_(conn, request);
  }
  closesocket(client);
}

}  // namespace enginetest
