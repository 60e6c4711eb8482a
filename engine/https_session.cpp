#include "engine/https_session.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>

namespace fetch {

namespace {

constexpr DWORD kConnectTimeoutMs = 10000;
constexpr DWORD kPollMs = 200;
// How long a closed request may take to let go of its buffer.
constexpr DWORD kCloseWaitMs = 1500;

std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

}  // namespace

// What WinINet's threads report about one request. Only request handles
// carry a context, so only they call back.
struct HttpsRequest {
  HINTERNET handle = nullptr;  // closed by HttpsSession::CloseRequest, which then waits for `closed`
  base::ScopedHandle done{CreateEventW(nullptr, FALSE, FALSE, nullptr)};   // an operation completed
  base::ScopedHandle closed{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // no more callbacks
  std::atomic<DWORD_PTR> result{0};
  std::atomic<DWORD> error{0};
  DWORD read = 0;  // InternetReadFile's count, written at completion
};

namespace {

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
  auto* request = reinterpret_cast<HttpsRequest*>(context);
  if (!request) return;
  if (status == INTERNET_STATUS_REQUEST_COMPLETE && info) {
    const auto* async = static_cast<const INTERNET_ASYNC_RESULT*>(info);
    request->error = async->dwError;
    request->result = async->dwResult;
    SetEvent(request->done.Get());
  } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    SetEvent(request->closed.Get());
  }
}

}  // namespace

void InternetHandleTraits::Close(Handle h) { InternetCloseHandle(static_cast<HINTERNET>(h)); }

HttpsSession::HttpsSession(std::function<bool()> abort, uint32_t stall_ms)
    : abort_(std::move(abort)), stall_ms_(stall_ms) {}

HttpsSession::~HttpsSession() { CloseRequest(); }

bool HttpsSession::Open() {
  HINTERNET internet =
      InternetOpenW(L"FetchCore/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC);
  if (!internet) {
    last_error_ = static_cast<int>(GetLastError());
    return false;
  }
  InternetSetStatusCallbackW(internet, &OnStatus);
  DWORD connect_ms = kConnectTimeoutMs;
  DWORD io_ms = stall_ms_;
  InternetSetOptionW(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connect_ms, sizeof(connect_ms));
  InternetSetOptionW(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &io_ms, sizeof(io_ms));
  InternetSetOptionW(internet, INTERNET_OPTION_SEND_TIMEOUT, &io_ms, sizeof(io_ms));
  internet_.Reset(internet);
  return true;
}

bool HttpsSession::Reusable() const { return request_ == nullptr || body_done_; }

void HttpsSession::Close() { CloseRequest(); }

void HttpsSession::CloseRequest() {
  body_done_ = true;
  if (!request_) return;
  HttpsRequest* request = request_;
  request_ = nullptr;
  InternetCloseHandle(request->handle);
  // A pending read completes into the caller's buffer: only once WinINet
  // says the handle is closing is it done with the buffer and the record.
  if (WaitForSingleObject(request->closed.Get(), kCloseWaitMs) == WAIT_OBJECT_0) delete request;
}

IoResult HttpsSession::Finish(BOOL completed, uint32_t limit_ms) {
  if (completed) return IoResult::kOk;
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) {
    last_error_ = static_cast<int>(error);
    CloseRequest();
    return IoResult::kFailed;
  }
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (WaitForSingleObject(request_->done.Get(), kPollMs) != WAIT_OBJECT_0) {
    const bool aborted = abort_();
    if (aborted || GetTickCount64() > deadline) {
      CloseRequest();
      return aborted ? IoResult::kAborted : IoResult::kStalled;
    }
  }
  if (!request_->result) {
    last_error_ = static_cast<int>(request_->error.load());
    CloseRequest();
    return IoResult::kFailed;
  }
  return IoResult::kOk;
}

IoResult HttpsSession::Get(const HttpUrl& url, uint64_t first, uint64_t last, const std::string& if_range,
                           HttpResponse* response) {
  *response = HttpResponse();
  CloseRequest();
  if (abort_()) return IoResult::kAborted;
  if (!internet_.IsValid() && !Open()) return IoResult::kFailed;
  const std::string key = url.host + ":" + std::to_string(url.port);
  if (connect_.IsValid() && key != connect_key_) connect_.Reset();
  if (!connect_.IsValid()) {
    // No context: only requests call back.
    connect_.Reset(InternetConnectW(static_cast<HINTERNET>(internet_.Get()), Widen(url.host).c_str(), url.port,
                                    nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connect_.IsValid()) {
      last_error_ = static_cast<int>(GetLastError());
      return IoResult::kFailed;
    }
    connect_key_ = key;
  }

  auto* request = new HttpsRequest;
  const DWORD flags = INTERNET_FLAG_SECURE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_KEEP_CONNECTION |
                      INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
  request->handle = HttpOpenRequestW(static_cast<HINTERNET>(connect_.Get()), L"GET", Widen(url.target).c_str(),
                                     L"HTTP/1.1", nullptr, nullptr, flags, reinterpret_cast<DWORD_PTR>(request));
  if (!request->handle) {
    last_error_ = static_cast<int>(GetLastError());
    delete request;  // never had a handle, so never a callback
    return IoResult::kFailed;
  }
  request_ = request;
  body_done_ = false;

  std::wstring headers = L"Accept-Encoding: identity\r\n";
  if (first != 0 || last != UINT64_MAX) {
    headers += L"Range: bytes=" + std::to_wstring(first) + L"-" +
               (last == UINT64_MAX ? std::wstring() : std::to_wstring(last)) + L"\r\n";
    if (!if_range.empty()) headers += L"If-Range: " + Widen(if_range) + L"\r\n";
  }
  ResetEvent(request_->done.Get());
  const IoResult sent = Finish(
      HttpSendRequestW(request_->handle, headers.c_str(), static_cast<DWORD>(headers.size()), nullptr, 0),
      kConnectTimeoutMs + stall_ms_);
  if (sent != IoResult::kOk) return sent;

  DWORD size = 0;
  HttpQueryInfoA(request_->handle, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
  std::string head(size, '\0');
  if (size == 0 || !HttpQueryInfoA(request_->handle, HTTP_QUERY_RAW_HEADERS_CRLF, &head[0], &size, nullptr)) {
    last_error_ = static_cast<int>(GetLastError());
    CloseRequest();
    return IoResult::kFailed;
  }
  head.resize(std::min<size_t>(size, head.size()));
  while (!head.empty() && (head.back() == '\n' || head.back() == '\r' || head.back() == '\0')) head.pop_back();
  if (!ParseResponseHead(head, response)) {
    CloseRequest();
    return IoResult::kFailed;
  }
  body_bounded_ = response->has_length && !response->chunked;
  body_left_ = body_bounded_ ? response->content_length : 0;
  return IoResult::kOk;
}

IoResult HttpsSession::ReadBody(char* buffer, size_t capacity, size_t* got) {
  *got = 0;
  if (!request_ || body_done_) return IoResult::kEnd;
  size_t want = std::min<size_t>(capacity, 1u << 30);
  if (body_bounded_) {
    if (body_left_ == 0) {
      body_done_ = true;
      return IoResult::kEnd;
    }
    want = static_cast<size_t>(std::min<uint64_t>(want, body_left_));
  }
  if (abort_()) {
    CloseRequest();
    return IoResult::kAborted;
  }
  request_->read = 0;
  ResetEvent(request_->done.Get());
  const IoResult read =
      Finish(InternetReadFile(request_->handle, buffer, static_cast<DWORD>(want), &request_->read), stall_ms_);
  if (read != IoResult::kOk) return read;
  const DWORD n = request_->read;
  if (n == 0) {
    // The server ended the body: complete when unbounded, cut short when not.
    body_done_ = true;
    if (body_bounded_) {
      CloseRequest();
      return IoResult::kFailed;
    }
    return IoResult::kEnd;
  }
  *got = n;
  if (body_bounded_) body_left_ -= n;
  return IoResult::kOk;
}

}  // namespace fetch
