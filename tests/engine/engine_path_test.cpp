// The ways to a server: a name whose first address is dead, a name lookup
// that hangs while the engine shuts down, and the proxy the user's Internet
// settings name (a real tinyproxy on loopback, an origin that refuses what
// did not come through it), with its bypass list.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "base/scoped_handle.h"
#include "common/test_servers.h"
#include "engine/engine_harness.h"
#include "engine/http_conn.h"
#include "engine/name_lookup.h"
#include "engine/system_proxy.h"
#include "scripted_server.h"

namespace enginetest {
namespace {

fetch::SocketAddress Loopback(int port) {
  fetch::SocketAddress a;
  auto* in = reinterpret_cast<sockaddr_in*>(&a.storage);
  in->sin_family = AF_INET;
  in->sin_port = htons(static_cast<u_short>(port));
  in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.length = sizeof(sockaddr_in);
  return a;
}

// A loopback port that takes no more connections and does not refuse them
// either: its accept queue is full, so new handshakes go unanswered, as
// with a server that is down behind a silent firewall.
class BlackHole {
 public:
  BlackHole() {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(at);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&at), size) != 0 || listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
      return;
    }
    port_ = ntohs(at.sin_port);
    for (int i = 0; i < 16 && !Silent(); ++i) {
      SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      u_long nonblocking = 1;
      ioctlsocket(filler, FIONBIO, &nonblocking);
      connect(filler, reinterpret_cast<sockaddr*>(&at), size);
      fillers_.push_back(filler);
      Sleep(20);
    }
  }
  ~BlackHole() {
    for (SOCKET s : fillers_) closesocket(s);
    closesocket(listener_);
  }
  int port() const { return port_; }
  // True once a new connection gets no answer within 300 ms.
  bool Silent() const {
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonblocking = 1;
    ioctlsocket(probe, FIONBIO, &nonblocking);
    fetch::SocketAddress to = Loopback(port_);
    connect(probe, reinterpret_cast<const sockaddr*>(&to.storage), to.length);
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(probe, &writable);
    FD_SET(probe, &failed);
    timeval tv = {0, 300 * 1000};
    const bool silent = select(0, nullptr, &writable, &failed, &tv) == 0;
    closesocket(probe);
    return silent;
  }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::vector<SOCKET> fillers_;
};

// The test's own resolver for the connection layer, for the test's life.
class ScopedLookup {
 public:
  explicit ScopedLookup(fetch::NameLookupFn fn) { fetch::SetNameLookupForTesting(std::move(fn)); }
  ~ScopedLookup() { fetch::SetNameLookupForTesting(nullptr); }
};

TEST(EnginePathTest, NameWhoseFirstAddressIsDeadIsReachedThroughTheNext) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  const std::string body = RandomBytes(300 * 1000, 31);
  ScriptedServer live([&](ServerConn& conn, const ServedRequest& request) { ServeFile(conn, request, body); });
  ASSERT_TRUE(live.Start());
  BlackHole dead;
  ASSERT_TRUE(dead.Silent()) << "could not make a silent address";
  std::atomic<int> lookups{0};
  ScopedLookup lookup([&](const std::string& host, uint16_t, std::vector<fetch::SocketAddress>* out) {
    ++lookups;
    if (host != "cdn.kv-test.invalid") return WSAHOST_NOT_FOUND;
    *out = {Loopback(dead.port()), Loopback(live.port())};
    return 0;
  });

  fetch::HttpConnection conn([] { return false; }, 5000);
  fetch::HttpUrl url;
  ASSERT_TRUE(fetch::ParseHttpUrl("http://cdn.kv-test.invalid/f", &url));
  fetch::HttpResponse response;
  const ULONGLONG started = GetTickCount64();
  ASSERT_EQ(conn.Get(url, 1000, 1999, std::string(), &response), fetch::IoResult::kOk);
  const ULONGLONG took = GetTickCount64() - started;
  EXPECT_EQ(response.status, 206);
  std::string got(1000, '\0');
  size_t have = 0;
  while (have < got.size()) {
    size_t n = 0;
    ASSERT_EQ(conn.ReadBody(&got[have], got.size() - have, &n), fetch::IoResult::kOk);
    have += n;
  }
  EXPECT_TRUE(got == body.substr(1000, 1000));
  EXPECT_EQ(lookups.load(), 1);
  // The dead address held the race for a stagger, not a connect time-out.
  EXPECT_LT(took, 3000u);
  WSACleanup();
}

TEST(EnginePathTest, LookupThatHangsDoesNotHoldAShutDown) {
  auto release = std::make_shared<base::ScopedHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<bool> entered{false};
  ScopedLookup lookup([release, &entered](const std::string&, uint16_t, std::vector<fetch::SocketAddress>*) {
    entered = true;
    WaitForSingleObject(release->Get(), 60000);  // a resolver that does not answer
    return WSAHOST_NOT_FOUND;
  });
  std::atomic<bool> shutting_down{false};
  fetch::HttpConnection conn([&] { return shutting_down.load(); }, 20000);
  fetch::HttpUrl url;
  ASSERT_TRUE(fetch::ParseHttpUrl("http://slow-dns.kv-test.invalid/f", &url));
  std::thread shut_down([&] {
    Sleep(300);
    shutting_down = true;
  });
  fetch::HttpResponse response;
  const ULONGLONG started = GetTickCount64();
  const fetch::IoResult r = conn.Get(url, 0, 99, std::string(), &response);
  const ULONGLONG took = GetTickCount64() - started;
  shut_down.join();
  EXPECT_TRUE(entered.load());
  EXPECT_EQ(r, fetch::IoResult::kAborted);
  EXPECT_LT(took, 1500u) << "the shut down waited for the resolver";
  SetEvent(release->Get());  // the abandoned lookup ends by itself
}

TEST(EnginePathTest, ProxySettingsAreReadAsThePlatformWritesThem) {
  using fetch::ProxyServer;
  EXPECT_EQ(fetch::ProxiesForScheme("proxy.corp:3128", "http"), (std::vector<ProxyServer>{{"proxy.corp", 3128}}));
  EXPECT_EQ(fetch::ProxiesForScheme("https=s:1;http=h:8080;ftp=f:21", "http"),
            (std::vector<ProxyServer>{{"h", 8080}}));
  EXPECT_EQ(fetch::ProxiesForScheme("https=s:1", "http"), std::vector<ProxyServer>());
  EXPECT_EQ(fetch::ProxiesForScheme("http://a:81 b", "http"), (std::vector<ProxyServer>{{"a", 81}, {"b", 80}}));
  EXPECT_TRUE(fetch::Bypassed("<local>", "intranet", 80));
  EXPECT_FALSE(fetch::Bypassed("<local>", "cdn.example.com", 80));
  EXPECT_TRUE(fetch::Bypassed("*.example.com;10.*", "CDN.Example.com", 80));
  EXPECT_TRUE(fetch::Bypassed("foo; 10.*", "10.1.2.3", 80));
  EXPECT_FALSE(fetch::Bypassed("*.example.com", "example.org", 80));
  EXPECT_TRUE(fetch::Bypassed("http://mirror:8080", "mirror", 8080));
  EXPECT_FALSE(fetch::Bypassed("mirror:8080", "mirror", 80));
}

// The user's proxy settings as the Internet settings dialog stores them,
// for the test's life; the earlier value comes back after. The test
// programs run in parallel and share the Wine registry: proxy tests take
// turns, and every setting they write bypasses the hosts the other tests
// use (kOthers).
class ScopedProxySettings {
 public:
  ScopedProxySettings() : turn_(CreateMutexW(nullptr, FALSE, L"KVDownloaderTestProxySettings")) {
    if (turn_) WaitForSingleObject(turn_.Get(), 60000);
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    DWORD size = 0, type = 0;
    if (key_ && RegQueryValueExW(key_, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      saved_.resize(size);
      had_ = RegQueryValueExW(key_, kValue, nullptr, &type, saved_.data(), &size) == ERROR_SUCCESS;
    }
  }
  ~ScopedProxySettings() {
    if (key_) {
      if (had_) {
        RegSetValueExW(key_, kValue, 0, REG_BINARY, saved_.data(), static_cast<DWORD>(saved_.size()));
      } else {
        RegDeleteValueW(key_, kValue);
      }
      RegCloseKey(key_);
    }
    if (turn_) ReleaseMutex(turn_.Get());
  }
  // A manual proxy and its bypass list; no detection, no script.
  bool Set(const std::string& proxy, const std::string& bypass) {
    std::vector<BYTE> blob;
    auto put = [&blob](DWORD v) { blob.insert(blob.end(), reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + 4); };
    auto put_text = [&](const std::string& s) {
      put(static_cast<DWORD>(s.size()));
      blob.insert(blob.end(), s.begin(), s.end());
    };
    put(0x46);          // the Internet settings' own layout
    put(++counter_);    // changes with every write
    put(proxy.empty() ? 1 : 3);  // direct, plus a manual proxy when named
    put_text(proxy);
    put_text(bypass);
    put_text(std::string());  // no configuration script
    for (int i = 0; i < 8; ++i) put(0);
    return key_ && RegSetValueExW(key_, kValue, 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())) ==
                       ERROR_SUCCESS;
  }

 private:
  static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
  static constexpr const wchar_t* kValue = L"DefaultConnectionSettings";
  base::ScopedHandle turn_;
  HKEY key_ = nullptr;
  bool had_ = false;
  std::vector<BYTE> saved_;
  DWORD counter_ = 0x100;
};

// What every setting bypasses: the hosts the tests running beside use.
const std::string kOthers = "<local>;127.0.0.1;*.kv-test.invalid";

std::wstring EnvPort(const wchar_t* name) {
  wchar_t value[32] = {};
  return GetEnvironmentVariableW(name, value, 32) ? std::wstring(value) : std::wstring();
}

class EngineProxyTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(testutil::TestNginx::Available(&why)) << why;
    proxy_port_ = EnvPort(L"KV_TEST_PROXY_PORT");
    ASSERT_FALSE(proxy_port_.empty()) << "no test proxy (KV_TEST_PROXY_PORT); tinyproxy is started by scripts/test";
    ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded";
    name_ = L"proxy_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) + L".bin";
    body_ = RandomBytes(5 * 1024 * 1024 + 321, 41);
    ASSERT_TRUE(testutil::WriteFileBytes(testutil::TestNginx::Www() + L"\\" + name_, body_));
    // The origin behind the proxy: same port, 127.0.0.2.
    origin_ = L"http://127.0.0.2:" + std::to_wstring(testutil::TestNginx::Port());
  }
  void TearDown() override { DeleteFileW((testutil::TestNginx::Www() + L"\\" + name_).c_str()); }
  std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

  EngineLibrary library_;
  std::wstring proxy_port_, name_, origin_;
  std::string body_;
};

TEST_F(EngineProxyTest, ManualProxyCarriesTheRangedDownloadToAnOriginThatNeedsIt) {
  TaskSandbox sandbox;
  sandbox.WriteTask({origin_ + L"/" + name_}, body_.size(), Sha256Hex(body_), "connections=4\nretry_limit=1\n");
  ScopedProxySettings settings;
  // Without the proxy the origin refuses: the engine cannot get there alone.
  ASSERT_TRUE(settings.Set("", ""));
  {
    EngineRef engine(library_);
    auto status = std::make_unique<fetch::Result>();
    EXPECT_EQ(engine.CheckStatus(status.get()), fetch::kSourceUnreachable);
  }
  ASSERT_TRUE(settings.Set("http=127.0.0.1:" + Narrow(proxy_port_) + ";https=127.0.0.1:1", kOthers));
  const size_t log_offset = testutil::TestNginx::AccessLogSize();
  EngineRef engine(library_);
  auto status = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.CheckStatus(status.get()), fetch::kOk);
  EXPECT_EQ(status->total, static_cast<int64_t>(body_.size()));
  ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox.FinalPath()) == body_);
  // Ranges went through the proxy, several of them.
  EXPECT_GE(DistinctRangesServed(log_offset, name_), 3u);
}

TEST_F(EngineProxyTest, BypassListGoesDirectAndAFailingManualProxyIsNotBypassed) {
  ScopedProxySettings settings;
  // A proxy that is down; the origin's open part is on the bypass list.
  ASSERT_TRUE(settings.Set("127.0.0.1:1", kOthers + ";127.0.0.2"));
  TaskSandbox sandbox;
  sandbox.WriteTask({origin_ + L"/open/" + name_}, body_.size(), Sha256Hex(body_), "retry_limit=1\n");
  {
    EngineRef engine(library_);
    auto status = std::make_unique<fetch::Result>();
    EXPECT_EQ(engine.CheckStatus(status.get()), fetch::kOk) << "a bypassed host went to the proxy";
    ASSERT_EQ(engine.Start(sandbox.save_folder()), fetch::kOk);
    ASSERT_EQ(engine.WaitForEnd(60000, status.get()), fetch::kOk);
    EXPECT_TRUE(testutil::ReadFileBytes(sandbox.FinalPath()) == body_);
  }
  // Not on the list: the user's proxy or nothing, never around it.
  ASSERT_TRUE(settings.Set("127.0.0.1:1", kOthers));
  EngineRef engine(library_);
  auto status = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.CheckStatus(status.get()), fetch::kSourceUnreachable);
}

}  // namespace
}  // namespace enginetest
