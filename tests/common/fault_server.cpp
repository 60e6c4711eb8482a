// Winsock comes in through LoadLibrary: the test programs link only what the
// program itself links, and the program has no use for raw sockets.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "common/fault_server.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <type_traits>

namespace testutil {

namespace {

struct Winsock {
  HMODULE dll = nullptr;
  decltype(&::WSAStartup) startup = nullptr;
  decltype(&::socket) socket = nullptr;
  decltype(&::bind) bind = nullptr;
  decltype(&::listen) listen = nullptr;
  decltype(&::getsockname) getsockname = nullptr;
  decltype(&::accept) accept = nullptr;
  decltype(&::recv) recv = nullptr;
  decltype(&::send) send = nullptr;
  decltype(&::select) select = nullptr;
  decltype(&::setsockopt) setsockopt = nullptr;
  decltype(&::closesocket) closesocket = nullptr;

  bool Load() {
    dll = LoadLibraryW(L"ws2_32.dll");
    if (!dll) return false;
    auto get = [this](auto* slot, const char* name) {
      *slot = reinterpret_cast<std::remove_reference_t<decltype(*slot)>>(
          reinterpret_cast<void*>(GetProcAddress(dll, name)));
      return *slot != nullptr;
    };
    WSADATA data;
    return get(&startup, "WSAStartup") && get(&socket, "socket") && get(&bind, "bind") &&
           get(&listen, "listen") && get(&getsockname, "getsockname") &&
           get(&accept, "accept") && get(&recv, "recv") && get(&send, "send") &&
           get(&select, "select") && get(&setsockopt, "setsockopt") &&
           get(&closesocket, "closesocket") && startup(MAKEWORD(2, 2), &data) == 0;
  }
};

Winsock& Ws() {
  static Winsock ws;
  static bool loaded = ws.Load();
  (void)loaded;
  return ws;
}

bool SendAll(SOCKET s, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    int n = Ws().send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Waits up to `ms` for `s` to become readable (or, for a listener, to have a
// connection waiting).
bool Readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv = {ms / 1000, (ms % 1000) * 1000};
  return Ws().select(0, &set, nullptr, nullptr, &tv) > 0;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

struct FaultServer::Sockets {
  SOCKET listener = INVALID_SOCKET;
  std::vector<SOCKET> held;  // stalled clients, closed when the server stops
};

std::string RecordedRequest::Header(const std::string& name, bool* present) const {
  for (const auto& h : headers) {
    if (Lower(h.first) == Lower(name)) {
      if (present) *present = true;
      return h.second;
    }
  }
  if (present) *present = false;
  return std::string();
}

FaultServer::FaultServer(Answer answer, std::string body, unsigned long long declared_length)
    : answer_(answer),
      body_(std::move(body)),
      declared_length_(declared_length),
      sockets_(std::make_unique<Sockets>()) {}

FaultServer::~FaultServer() {
  stop_ = true;
  if (thread_) {
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
  }
  if (sockets_->listener != INVALID_SOCKET) Ws().closesocket(sockets_->listener);
  for (SOCKET s : sockets_->held) Ws().closesocket(s);
}

bool FaultServer::Start() {
  Winsock& ws = Ws();
  if (!ws.closesocket) return false;
  SOCKET s = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockets_->listener = s;
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = 0;  // the system picks a free port
  addr.sin_addr.s_addr = 0x0100007F;  // 127.0.0.1 in network order
  int len = sizeof(addr);
  if (ws.bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ws.listen(s, 8) != 0 ||
      ws.getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return false;
  }
  port_ = ((addr.sin_port & 0xFF) << 8) | ((addr.sin_port >> 8) & 0xFF);
  thread_ = CreateThread(nullptr, 0, &FaultServer::ThreadMain, this, 0, nullptr);
  return thread_ != nullptr;
}

std::wstring FaultServer::Url(const std::wstring& path) const {
  return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
}

std::vector<RecordedRequest> FaultServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

bool FaultServer::WaitForRequests(size_t count, DWORD timeout_ms) const {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (requests_.size() >= count) return true;
    }
    if (GetTickCount64() >= end) return false;
    Sleep(5);
  }
}

DWORD WINAPI FaultServer::ThreadMain(void* self) {
  try {
    static_cast<FaultServer*>(self)->Serve();
  } catch (...) {
    // A server that died shows up as missing requests in the test.
  }
  return 0;
}

void FaultServer::Serve() {
  while (!stop_) {
    if (!Readable(sockets_->listener, 50)) continue;
    SOCKET client = Ws().accept(sockets_->listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    HandleConnection(client);
  }
}

bool FaultServer::ReadRequest(uintptr_t client_handle, RecordedRequest* request) {
  const SOCKET client = static_cast<SOCKET>(client_handle);
  std::string data;
  size_t head_end = std::string::npos;
  char buffer[4096];
  while (head_end == std::string::npos) {
    if (stop_ || !Readable(client, 5000)) return false;
    int n = Ws().recv(client, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    data.append(buffer, n);
    head_end = data.find("\r\n\r\n");
  }
  std::string head = data.substr(0, head_end);
  std::string rest = data.substr(head_end + 4);
  size_t line_end = head.find("\r\n");
  request->request_line = head.substr(0, line_end);
  size_t pos = line_end == std::string::npos ? head.size() : line_end + 2;
  while (pos < head.size()) {
    size_t next = head.find("\r\n", pos);
    if (next == std::string::npos) next = head.size();
    std::string line = head.substr(pos, next - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      request->headers.emplace_back(line.substr(0, colon), value);
    }
    pos = next + 2;
  }
  const size_t length = std::strtoul(request->Header("Content-Length").c_str(), nullptr, 10);
  while (rest.size() < length) {
    if (stop_ || !Readable(client, 5000)) return false;
    int n = Ws().recv(client, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    rest.append(buffer, n);
  }
  request->body = rest.substr(0, length);
  return true;
}

void FaultServer::HandleConnection(uintptr_t client_handle) {
  const SOCKET client = static_cast<SOCKET>(client_handle);
  RecordedRequest request;
  const bool read = ReadRequest(client, &request);
  if (read) {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
  }
  if (!read) {
    Ws().closesocket(client);
    return;
  }
  const std::string length = std::to_string(body_.size());
  switch (answer_) {
    case Answer::kOk:
      SendAll(client, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + length +
                          "\r\nConnection: close\r\n\r\n" + body_);
      break;
    case Answer::kNotFoundWithBody:
      SendAll(client, "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: " +
                          length + "\r\nConnection: close\r\n\r\n" + body_);
      break;
    case Answer::kCloseDelimited:
      SendAll(client, "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + body_);
      break;
    case Answer::kDeclaredLength:
      SendAll(client, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                      "Content-Length: " + std::to_string(declared_length_) +
                          "\r\nConnection: close\r\n\r\n" + body_);
      break;
    case Answer::kStall:
      // Keep the connection open and silent until the server stops.
      sockets_->held.push_back(client);
      return;
    case Answer::kResetMidBody: {
      SendAll(client, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                      "Content-Length: " + length + "\r\nConnection: close\r\n\r\n" +
                          body_.substr(0, body_.size() / 2));
      Sleep(100);  // let the first half arrive before the reset
      // A zero linger time turns the close into a reset.
      linger hard = {1, 0};
      Ws().setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                      sizeof(hard));
      Ws().closesocket(client);
      return;
    }
  }
  // Half a second for the client to read before the close; a close with
  // unread request bytes could otherwise turn into a reset.
  Readable(client, 500);
  Ws().closesocket(client);
}

}  // namespace testutil
