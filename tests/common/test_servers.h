// The loopback nginx that scripts/test starts for the tests, as the test
// programs see it through the environment (KV_TEST_HTTP_PORT, KV_TEST_WWW,
// KV_TEST_HTTP_LOGS), and its access log.
//
// The access log has one line per request:
//   <method> <request URI as sent> <status> "<Range>" "<User-Agent>"
//
// Test thread only. Several test programs share the server at once, so a
// test names its files uniquely and reads only log lines written after it
// noted the log's size.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testutil {

struct NginxLogLine {
  std::string method;
  std::string uri;
  int status = 0;
  std::string range;
  std::string user_agent;
};

class TestNginx {
 public:
  // False (with the reason in `why`) when the environment does not describe
  // a running server: the tests were not started by scripts/test.
  static bool Available(std::string* why);
  static int Port();
  // "http://127.0.0.1:<port>"
  static std::wstring BaseUrl();
  // "127.0.0.1:<port>"
  static std::wstring Host();
  // Document root; files written here are served at BaseUrl() + "/" + name.
  static std::wstring Www();
  static std::wstring AccessLogPath();

  // Current size of the access log: the offset to read new lines from.
  static size_t AccessLogSize();
  // Waits up to `timeout_ms` for a line after `offset` that satisfies
  // `match`; all such lines go to `found`.
  static bool WaitForLogLines(size_t offset, const std::function<bool(const NginxLogLine&)>& match,
                              size_t count, DWORD timeout_ms, std::vector<NginxLogLine>* found);
};

bool ParseNginxLogLine(const std::string& line, NginxLogLine* out);

// Serialises every test that computes the machine identifier with the tests
// that write the stored identifier into the registry; the test programs run
// in parallel and share the Wine registry.
class ScopedMachineIdLock {
 public:
  ScopedMachineIdLock();
  ~ScopedMachineIdLock();
  ScopedMachineIdLock(const ScopedMachineIdLock&) = delete;
  ScopedMachineIdLock& operator=(const ScopedMachineIdLock&) = delete;
  bool held() const { return held_; }

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
};

}  // namespace testutil
