// The floor for the engine's CPU per byte: a bare Winsock reader that
// fetches a file over plain http with as many ranged connections as the
// engine uses, each a blocking recv() into a 1 MiB buffer, and throws the
// bytes away (no file, no check, no select). engine_bench.sh runs it beside
// the engine under the same Wine.
//
//   wine winsock_reader.exe <host> <port> <path> <size> [connections]
//
// Prints the bytes read; exits 1 when any connection came up short.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

bool ReadRange(const char* host, const char* port, const std::string& path, unsigned long long first,
               unsigned long long last, unsigned long long* got) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, port, &hints, &found) != 0) return false;
  SOCKET s = socket(found->ai_family, SOCK_STREAM, IPPROTO_TCP);
  int window = 4 * 1024 * 1024;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&window), sizeof(window));
  const bool connected = connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
  freeaddrinfo(found);
  if (!connected) {
    closesocket(s);
    return false;
  }
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nRange: bytes=" +
                              std::to_string(first) + "-" + std::to_string(last) + "\r\nConnection: close\r\n\r\n";
  send(s, request.data(), static_cast<int>(request.size()), 0);
  std::vector<char> buffer(1 << 20);
  std::string head;
  unsigned long long body = 0;
  bool in_body = false;
  for (;;) {
    const int n = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (n <= 0) break;
    if (in_body) {
      body += static_cast<unsigned long long>(n);
      continue;
    }
    head.append(buffer.data(), static_cast<size_t>(n));
    const size_t end = head.find("\r\n\r\n");
    if (end != std::string::npos) {
      in_body = true;
      body += head.size() - end - 4;
    }
  }
  closesocket(s);
  *got = body;
  return body == last - first + 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: winsock_reader <host> <port> <path> <size> [connections]\n");
    return 2;
  }
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const unsigned long long size = std::strtoull(argv[4], nullptr, 10);
  const int connections = argc > 5 ? std::atoi(argv[5]) : 8;
  const unsigned long long share = (size + connections - 1) / connections;
  std::vector<std::thread> threads;
  std::vector<unsigned long long> got(static_cast<size_t>(connections), 0);
  std::vector<char> ok(static_cast<size_t>(connections), 0);
  for (int i = 0; i < connections; ++i) {
    const unsigned long long first = share * static_cast<unsigned long long>(i);
    if (first >= size) break;
    const unsigned long long last = std::min(size, first + share) - 1;
    threads.emplace_back([&, i, first, last] {
      ok[static_cast<size_t>(i)] = ReadRange(argv[1], argv[2], argv[3], first, last, &got[static_cast<size_t>(i)]);
    });
  }
  unsigned long long total = 0;
  bool all = true;
  for (size_t i = 0; i < threads.size(); ++i) {
    threads[i].join();
    total += got[i];
    all = all && ok[i];
  }
  std::printf("%llu\n", total);
  WSACleanup();
  return all ? 0 : 1;
}
