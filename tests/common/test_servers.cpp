#include "common/test_servers.h"

#include <cstdlib>

#include "common/test_util.h"

namespace testutil {

namespace {

std::wstring Env(const wchar_t* name) {
  wchar_t value[1024];
  DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// Reads a quoted field at `pos` ("..."), moving past it and one blank.
bool ReadQuoted(const std::string& line, size_t* pos, std::string* out) {
  if (*pos >= line.size() || line[*pos] != '"') return false;
  size_t end = line.find('"', *pos + 1);
  if (end == std::string::npos) return false;
  *out = line.substr(*pos + 1, end - *pos - 1);
  *pos = end + 2;
  return true;
}

}  // namespace

bool ParseNginxLogLine(const std::string& line, NginxLogLine* out) {
  size_t a = line.find(' ');
  if (a == std::string::npos) return false;
  size_t b = line.find(' ', a + 1);
  if (b == std::string::npos) return false;
  size_t c = line.find(' ', b + 1);
  if (c == std::string::npos) return false;
  out->method = line.substr(0, a);
  out->uri = line.substr(a + 1, b - a - 1);
  out->status = std::atoi(line.substr(b + 1, c - b - 1).c_str());
  size_t pos = c + 1;
  std::string range;
  if (!ReadQuoted(line, &pos, &range)) return false;
  out->range = range == "-" ? std::string() : range;
  return ReadQuoted(line, &pos, &out->user_agent);
}

bool TestNginx::Available(std::string* why) {
  if (Port() == 0 || Www().empty() || Env(L"KV_TEST_HTTP_LOGS").empty()) {
    *why = "KV_TEST_HTTP_PORT, KV_TEST_WWW or KV_TEST_HTTP_LOGS is not set: "
           "run the tests through scripts/test, which starts nginx";
    return false;
  }
  if (!FolderExists(Www())) {
    *why = "KV_TEST_WWW does not name a folder";
    return false;
  }
  return true;
}

int TestNginx::Port() { return _wtoi(Env(L"KV_TEST_HTTP_PORT").c_str()); }

std::wstring TestNginx::BaseUrl() { return L"http://" + Host(); }

std::wstring TestNginx::Host() { return L"127.0.0.1:" + std::to_wstring(Port()); }

std::wstring TestNginx::Www() { return Env(L"KV_TEST_WWW"); }

std::wstring TestNginx::AccessLogPath() { return Env(L"KV_TEST_HTTP_LOGS") + L"\\access.log"; }

size_t TestNginx::AccessLogSize() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(AccessLogPath().c_str(), GetFileExInfoStandard, &data)) return 0;
  return data.nFileSizeLow;
}

bool TestNginx::WaitForLogLines(size_t offset,
                                const std::function<bool(const NginxLogLine&)>& match,
                                size_t count, DWORD timeout_ms, std::vector<NginxLogLine>* found) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    found->clear();
    std::string text = ReadFileBytes(AccessLogPath());
    if (text.size() > offset) {
      text.erase(0, offset);
      size_t pos = 0;
      while (pos < text.size()) {
        size_t next = text.find('\n', pos);
        if (next == std::string::npos) break;  // a line still being written
        NginxLogLine line;
        if (ParseNginxLogLine(text.substr(pos, next - pos), &line) && match(line)) {
          found->push_back(line);
        }
        pos = next + 1;
      }
    }
    if (found->size() >= count) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
}

ScopedMachineIdLock::ScopedMachineIdLock()
    : mutex_(CreateMutexW(nullptr, FALSE, L"KVDownloaderTests.MachineIdRegistry")) {
  if (!mutex_) return;
  DWORD rc = WaitForSingleObject(mutex_, 60000);
  held_ = rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED;
}

ScopedMachineIdLock::~ScopedMachineIdLock() {
  if (held_) ReleaseMutex(mutex_);
  if (mutex_) CloseHandle(mutex_);
}

}  // namespace testutil
