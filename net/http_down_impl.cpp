#include "net/http_down_impl.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "base/scoped_handle.h"
#include "net/http_parse.h"

namespace net {

namespace {

// Always from the server, never into the cache; the cache only when the
// network is down.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_CACHE_IF_NET_FAIL | INTERNET_FLAG_PRAGMA_NOCACHE;

constexpr size_t kFirstBodyBuffer = 8192;

const wchar_t kFormContentType[] = L"Content-Type: application/x-www-form-urlencoded\r\n";

bool IsSuccessStatus(DWORD status) { return status >= 200 && status <= 299; }

enum class LengthKind { kAbsent, kKnown };

// The declared Content-Length as a 64-bit number. WinInet's numeric form is
// 32 bits wide and wraps a 4 GB declaration, so the text is parsed here.
LengthKind QueryContentLength(HINTERNET request, uint64_t* length) {
  wchar_t text[64];
  DWORD size = sizeof(text);
  if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
    return LengthKind::kAbsent;
  }
  if (!ParseContentLength(std::wstring(text, size / sizeof(wchar_t)), length)) {
    return LengthKind::kAbsent;
  }
  return LengthKind::kKnown;
}

bool QueryRawHeaders(HINTERNET request, std::wstring* headers) {
  std::vector<wchar_t> buffer(1024);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &size, nullptr)) {
      headers->assign(buffer.data(), size / sizeof(wchar_t));
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    buffer.resize(size / sizeof(wchar_t) + 1);
  }
  return false;
}

// A 206 answer that starts exactly at `offset`: "bytes <offset>-<end>/<total>".
// A server that answered another range, or whose copy changed length, would
// splice two different files together.
bool IsRangeAnswerAt(HINTERNET request, uint64_t offset, uint64_t whole_length,
                     bool whole_known) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr) ||
      status != 206) {
    return false;
  }
  wchar_t text[128];
  size = sizeof(text);
  if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_RANGE, text, &size, nullptr)) return false;
  uint64_t start = 0, end = 0, total = 0;
  if (!ParseContentRange(std::wstring(text, size / sizeof(wchar_t)), &start, &end, &total)) {
    return false;
  }
  if (start != offset || end < start) return false;
  return !whole_known || total == whole_length;
}

// Replaces `to` with `from`, closing the old handles request first.
template <class Handles>
void MoveHandles(Handles* from, Handles* to) {
  to->request = std::move(from->request);
  to->connection = std::move(from->connection);
  to->session = std::move(from->session);
}

bool SeekFile(HANDLE file, uint64_t offset, DWORD method) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, distance, nullptr, method) != 0;
}

bool TruncateFile(HANDLE file) { return SeekFile(file, 0, FILE_BEGIN) && SetEndOfFile(file); }

bool WriteAll(HANDLE file, const char* data, DWORD length) {
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, length, &written, nullptr) || written == 0) return false;
    data += written;
    length -= written;
  }
  return true;
}

// The "data" time-outs are the ones WinInet documents for transfers, but it
// acts only on the plain send and receive options, and some implementations
// only where they are set on the connection or the request itself. Without
// them a server that accepts and never answers holds the thread for minutes.
void ApplyTimeouts(HINTERNET handle, DWORD timeout_ms) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                       INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    DWORD value = timeout_ms;
    InternetSetOptionW(handle, option, &value, sizeof(value));
  }
}

bool AskOverwriteWithMessageBox(const std::wstring& path) {
  return MessageBoxW(nullptr, path.c_str(), L"文件存在，是否覆盖",
                     MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) == IDYES;
}

}  // namespace

CHttpDownImpl::CHttpDownImpl() : ask_overwrite_(AskOverwriteWithMessageBox) {}

CHttpDownImpl::~CHttpDownImpl() = default;

void CHttpDownImpl::Status(const std::wstring& text) {
  if (observer_) observer_->OnStatus(text);
}

void CHttpDownImpl::Error(const wchar_t* call, DWORD code) {
  if (observer_) observer_->OnError(call, code);
}

bool CHttpDownImpl::OpenSession(Handles* h) {
  const bool use_proxy = !proxy_.empty();
  h->session.Reset(InternetOpenW(agent_.c_str(),
                                 use_proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
                                 use_proxy ? proxy_.c_str() : nullptr,
                                 use_proxy && !proxy_bypass_.empty() ? proxy_bypass_.c_str() : nullptr,
                                 0));
  if (!h->session) {
    Error(L"InternetOpen", GetLastError());
    return false;
  }
  ApplyTimeouts(h->session.Get(), timeout_ms_);
  return true;
}

bool CHttpDownImpl::Connect(const HttpUrlParts& parts, Handles* h) {
  if (!OpenSession(h)) return false;
  h->connection.Reset(InternetConnectW(h->session.Get(), parts.host.c_str(), parts.port, nullptr,
                                       nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!h->connection) {
    Error(L"InternetConnect", GetLastError());
    return false;
  }
  ApplyTimeouts(h->connection.Get(), timeout_ms_);
  return true;
}

bool CHttpDownImpl::OpenAndSend(const HttpUrlParts& parts, const std::wstring& verb,
                                const std::wstring& extra_headers, const char* body,
                                size_t body_length, Handles* h) {
  if (body_length > std::numeric_limits<DWORD>::max()) return false;
  // One accept type; WinInet writes the "Accept: " name itself.
  const wchar_t* accept[] = {L"*/*", nullptr};
  h->request.Reset(HttpOpenRequestW(h->connection.Get(), verb.c_str(), parts.object.c_str(),
                                    L"HTTP/1.0", nullptr, accept, kRequestFlags, 0));
  if (!h->request) {
    Error(L"HttpOpenRequest", GetLastError());
    return false;
  }
  ApplyTimeouts(h->request.Get(), timeout_ms_);
  std::wstring headers = kFormContentType + extra_headers;
  if (!HttpSendRequestW(h->request.Get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                        const_cast<char*>(body), static_cast<DWORD>(body_length))) {
    Error(L"HttpSendRequest", GetLastError());
    return false;
  }
  return true;
}

bool CHttpDownImpl::OpenUrl(const std::wstring& url, uint64_t offset, Handles* h) {
  if (!OpenSession(h)) return false;
  std::wstring headers;
  if (offset > 0) headers = L"Range: bytes=" + std::to_wstring(offset) + L"-\r\n";
  h->request.Reset(InternetOpenUrlW(h->session.Get(), url.c_str(),
                                    headers.empty() ? nullptr : headers.c_str(),
                                    static_cast<DWORD>(headers.size()), kRequestFlags, 0));
  if (!h->request) {
    Error(L"InternetOpenUrl", GetLastError());
    return false;
  }
  return true;
}

bool CHttpDownImpl::ReadStatus(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr)) {
    last_status_ = 0;
    Error(L"QueryHeaders", GetLastError());
    return false;
  }
  last_status_ = status;
  if (!IsSuccessStatus(status)) {
    // An error page is not the answer the caller asked for, body or not.
    Error(L"HttpStatus", status);
    return false;
  }
  return true;
}

bool CHttpDownImpl::ReadKnownLength(HINTERNET request, uint64_t length,
                                    std::vector<char>* response) {
  if (length > kMaxBodyBytes) {
    Error(L"ContentLength", ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  try {
    response->resize(static_cast<size_t>(length));
  } catch (const std::bad_alloc&) {
    Error(L"ContentLength", ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  // One read normally brings everything; a slow server may hand it over in
  // parts, so keep asking until it is all here or the stream ends.
  size_t got = 0;
  while (got < response->size()) {
    DWORD n = 0;
    if (!InternetReadFile(request, response->data() + got,
                          static_cast<DWORD>(response->size() - got), &n) ||
        n == 0) {
      break;
    }
    got += n;
  }
  const bool complete = got == response->size();
  response->resize(got);
  return complete;
}

bool CHttpDownImpl::ReadUnknownLength(HINTERNET request, std::vector<char>* response) {
  // The block is what the platform has at hand; fall back to the configured
  // block when it reports nothing, so the loop always makes progress.
  DWORD available = 0;
  if (!InternetQueryDataAvailable(request, &available, 0, 0) || available == 0) {
    available = block_size_;
  }
  const size_t block = available;
  size_t used = 0;
  bool ok = true;
  try {
    response->resize(kFirstBodyBuffer);
    for (;;) {
      if (response->size() - used < block) {
        if (response->size() + block > kMaxBodyBytes) {
          Error(L"ContentLength", ERROR_NOT_ENOUGH_MEMORY);
          ok = false;
          break;
        }
        response->resize(response->size() + block);
      }
      DWORD n = 0;
      if (!InternetReadFile(request, response->data() + used, static_cast<DWORD>(block), &n)) {
        ok = false;
        break;
      }
      if (n == 0) break;
      used += n;
    }
  } catch (const std::bad_alloc&) {
    response->clear();
    return false;
  }
  response->resize(used);
  return ok && used > 0;
}

bool CHttpDownImpl::Request(const std::wstring& url, const std::wstring& verb, const char* body,
                            size_t body_length, bool notify, std::vector<char>* response) {
  response->clear();
  last_status_ = 0;
  if (notify) Status(L"正在解析url...");
  std::wstring fixed;
  HttpUrlParts parts;
  if (!FixUpHttpUrl(url, &fixed) || !SplitHttpUrl(fixed, &parts)) return false;

  if (notify) Status(L"正在连接服务器...");
  Handles h;
  if (!Connect(parts, &h)) return false;
  if (notify) Status(L"已经连接服务器，请求下载文件...");
  if (!OpenAndSend(parts, verb, L"", body, body_length, &h)) return false;

  if (notify) Status(L"正在获取文件大小请稍候...");
  if (!ReadStatus(h.request.Get())) return false;

  uint64_t length = 0;
  bool ok;
  if (QueryContentLength(h.request.Get(), &length) == LengthKind::kKnown) {
    if (notify && observer_) {
      observer_->OnFileSize(static_cast<int64_t>(std::min<uint64_t>(
          length, static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))));
    }
    ok = ReadKnownLength(h.request.Get(), length, response);
  } else {
    if (notify && observer_) observer_->OnFileSize(-1);
    ok = ReadUnknownLength(h.request.Get(), response);
  }
  if (notify && observer_) observer_->OnDone(nullptr, ok);
  return ok;
}

bool CHttpDownImpl::TransferToFile(Handles* h, const std::wstring& path, bool resume,
                                   const Reopen& reopen) {
  auto finish = [&](bool ok) {
    if (observer_) observer_->OnDone(path.c_str(), ok);
    return ok;
  };
  // Check the answer before touching the file: an error page must never
  // overwrite a partial download.
  if (!ReadStatus(h->request.Get())) return finish(false);

  Status(L"正在获取文件大小请稍候...");
  uint64_t declared = 0;
  bool known = QueryContentLength(h->request.Get(), &declared) == LengthKind::kKnown;
  if (observer_) {
    observer_->OnFileSize(known ? static_cast<int64_t>(std::min<uint64_t>(
                                      declared, std::numeric_limits<int64_t>::max()))
                                : -1);
  }

  base::ScopedHandle file;
  uint64_t count = 0;          // bytes of the file in place
  uint64_t expected = declared;  // final size, when known
  const DWORD existing = GetFileAttributesW(path.c_str());
  if (resume && existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY)) {
    file.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size)) {
      Error(L"CreateFile", GetLastError());
      return finish(false);
    }
    const uint64_t have = static_cast<uint64_t>(size.QuadPart);
    if (known && have == declared) return finish(true);  // already complete
    if (known && have > declared) {
      if (!ask_overwrite_ || !ask_overwrite_(path)) return finish(false);
      if (!TruncateFile(file.Get())) return finish(false);
    } else if (have > 0) {
      Handles ranged;
      uint64_t rest = 0;
      if (reopen(have, &ranged) &&
          IsRangeAnswerAt(ranged.request.Get(), have, declared, known)) {
        MoveHandles(&ranged, h);
        last_status_ = 206;
        known = QueryContentLength(h->request.Get(), &rest) == LengthKind::kKnown;
        expected = have + rest;
        count = have;
        Status(L"断点续传...，开始位置" + std::to_wstring(have));
        if (!SeekFile(file.Get(), 0, FILE_END)) return finish(false);
      } else {
        Status(L"设置服务器断点失败,将重新下载整个文件");
        if (!TruncateFile(file.Get())) return finish(false);
      }
    }
  } else {
    file.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      Error(L"CreateFile", GetLastError());
      return finish(false);
    }
  }

  std::vector<char> chunk(block_size_);
  bool ok = true;
  for (;;) {
    DWORD want = block_size_;
    if (known) {
      if (count >= expected) break;
      want = static_cast<DWORD>(std::min<uint64_t>(block_size_, expected - count));
    }
    DWORD got = 0;
    if (!InternetReadFile(h->request.Get(), chunk.data(), want, &got)) {
      Status(L"下载文件出错");
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!WriteAll(file.Get(), chunk.data(), got)) {
      Error(L"WriteFile", GetLastError());
      Status(L"下载文件出错");
      ok = false;
      break;
    }
    count += got;
    if (observer_) observer_->OnProgress(count);
    if (observer_ && observer_->IsCancelled()) {
      Status(L"取消文件下载");
      ok = false;
      break;
    }
  }
  file.Reset();
  // Complete means every declared byte is in the file; a stream that broke
  // off early is a partial file kept for the next resume, not a success.
  return finish(ok && (known ? count == expected : count > 0));
}

bool CHttpDownImpl::Download(const std::wstring& url, const std::wstring& path,
                             bool want_headers, bool resume) {
  last_status_ = 0;
  std::wstring fixed;
  if (!FixUpHttpUrl(url, &fixed)) {
    if (observer_) observer_->OnDone(path.c_str(), false);
    return false;
  }
  if (observer_) observer_->OnUrl(fixed);
  Status(L"正在连接服务器，请稍候...");
  Handles h;
  if (!OpenUrl(fixed, 0, &h)) {
    if (observer_) observer_->OnDone(path.c_str(), false);
    return false;
  }
  if (want_headers) {
    std::wstring headers;
    if (QueryRawHeaders(h.request.Get(), &headers)) {
      if (observer_) observer_->OnHeaders(headers.c_str(), static_cast<DWORD>(headers.size()));
    } else {
      Error(L"QueryHeaders", 0);
    }
  }
  Status(L"开始下载文件");
  return TransferToFile(&h, path, resume, [this, &fixed](uint64_t offset, Handles* out) {
    return OpenUrl(fixed, offset, out);
  });
}

bool CHttpDownImpl::DownloadWithBody(const std::wstring& url, const std::string& body,
                                     const std::wstring& path, bool resume) {
  last_status_ = 0;
  std::wstring fixed;
  HttpUrlParts parts;
  if (!FixUpHttpUrl(url, &fixed) || !SplitHttpUrl(fixed, &parts)) {
    if (observer_) observer_->OnDone(path.c_str(), false);
    return false;
  }
  if (observer_) observer_->OnUrl(fixed);
  Status(L"正在连接服务器，请稍候...");
  auto open = [&](uint64_t offset, Handles* out) {
    std::wstring range;
    if (offset > 0) range = L"Range: bytes=" + std::to_wstring(offset) + L"-\r\n";
    return Connect(parts, out) &&
           OpenAndSend(parts, L"GET", range, body.data(), body.size(), out);
  };
  Handles h;
  if (!open(0, &h)) {
    if (observer_) observer_->OnDone(path.c_str(), false);
    return false;
  }
  Status(L"开始下载文件");
  return TransferToFile(&h, path, resume, open);
}

bool CHttpDownImpl::FetchHeaders(const std::wstring& url, std::wstring* headers) {
  headers->clear();
  last_status_ = 0;
  std::wstring fixed;
  HttpUrlParts parts;
  if (!FixUpHttpUrl(url, &fixed) || !SplitHttpUrl(fixed, &parts)) return false;
  Handles h;
  if (!Connect(parts, &h) || !OpenAndSend(parts, L"HEAD", L"", nullptr, 0, &h)) return false;
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (HttpQueryInfoW(h.request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                     &size, nullptr)) {
    last_status_ = status;
  }
  if (!QueryRawHeaders(h.request.Get(), headers)) {
    Error(L"QueryHeaders", 0);
    return false;
  }
  return true;
}

}  // namespace net
