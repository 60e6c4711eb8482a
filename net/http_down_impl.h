// Blocking HTTP transfers over WinInet: an in-memory request that returns the
// response body, and a file download that can resume a partial file.
//
// Every call opens and closes its own session, connection and request;
// nothing but the settings is kept between calls. Only plain http:// URLs are
// fetched; a URL without a scheme gets "http://" in front of it. The URL's
// port is used (80 when it has none).
//
// Thread-safety: an object runs on whichever thread calls it and blocks that
// thread for up to the time-out per network step. It is not shared between
// threads; make one per request (they are cheap).
//
// Ownership: the observer is borrowed and must outlive the call. Results are
// returned by value; no handle leaves a call. Partial files stay on disk so a
// later call can resume them.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/http_parse.h"
#include "net/scoped_internet_handle.h"

namespace net {

// What a transfer tells its watcher, in the order the calls happen. Every
// method runs on the transferring thread. The defaults do nothing.
class HttpDownObserver {
 public:
  virtual void OnUrl(const std::wstring& url) {}
  virtual void OnStatus(const std::wstring& text) {}
  // Raw response headers (CRLF separated) and their length in characters.
  virtual void OnHeaders(const wchar_t* headers, DWORD length) {}
  // Bytes of the file present so far (a resumed part counts).
  virtual void OnProgress(uint64_t transferred) {}
  // Content length, -1 when the server did not declare one.
  virtual void OnFileSize(int64_t length) {}
  // `path` is null for in-memory requests.
  virtual void OnDone(const wchar_t* path, bool ok) {}
  // Polled between chunks; true stops the download.
  virtual bool IsCancelled() { return false; }
  // The platform call that failed ("InternetOpen", "InternetConnect",
  // "HttpOpenRequest", "HttpSendRequest", "InternetOpenUrl", "QueryHeaders")
  // with its last error, or "HttpStatus" with a non-success status code.
  virtual void OnError(const wchar_t* call, DWORD code) {}

 protected:
  ~HttpDownObserver() = default;
};

class CHttpDownImpl {
 public:
  // An in-memory body larger than this is refused before any allocation.
  static constexpr uint64_t kMaxBodyBytes = 64ull * 1024 * 1024;

  CHttpDownImpl();
  virtual ~CHttpDownImpl();
  CHttpDownImpl(const CHttpDownImpl&) = delete;
  CHttpDownImpl& operator=(const CHttpDownImpl&) = delete;

  void SetObserver(HttpDownObserver* observer) { observer_ = observer; }
  void SetBlockSize(DWORD bytes) { block_size_ = bytes ? bytes : 1; }
  void SetAgentName(const std::wstring& agent) { agent_ = agent; }
  void SetProxy(const std::wstring& proxy, const std::wstring& bypass) {
    proxy_ = proxy;
    proxy_bypass_ = bypass;
  }
  // Connect, send and receive time-out of every network step.
  void SetTimeout(DWORD ms) { timeout_ms_ = ms; }
  // Asked when a file to resume is longer than the server's copy; true
  // recreates it empty. The default is a yes/no message box.
  void SetOverwriteQuestion(std::function<bool(const std::wstring& path)> ask) {
    ask_overwrite_ = std::move(ask);
  }

  // Sends `verb` with `body` (form encoded) and reads the whole answer into
  // `response`. True only for a 2xx answer read completely. On a short read
  // `response` holds what arrived.
  bool Request(const std::wstring& url, const std::wstring& verb, const char* body,
               size_t body_length, bool notify, std::vector<char>* response);

  // Fetches `url` into the file `path`. With `resume`, an existing file is
  // continued from its size (HTTP Range). True when the file is complete.
  bool Download(const std::wstring& url, const std::wstring& path, bool want_headers,
                bool resume);

  // Like Download, but sends `body` with the GET request.
  bool DownloadWithBody(const std::wstring& url, const std::string& body,
                        const std::wstring& path, bool resume);

  // The raw response headers of a HEAD request, CRLF separated.
  bool FetchHeaders(const std::wstring& url, std::wstring* headers);

  // HTTP status of the last answer received by this object; 0 when the last
  // call got no answer.
  DWORD last_status() const { return last_status_; }

 private:
  // One transfer's handles, declared in opening order so they close in
  // reverse. The URL-open form has no connection handle.
  struct Handles {
    ScopedInternetHandle session;
    ScopedInternetHandle connection;
    ScopedInternetHandle request;
  };
  // Opens a fresh set at `offset` (0: the whole resource) into `*out`.
  using Reopen = std::function<bool(uint64_t offset, Handles* out)>;

  bool OpenSession(Handles* h);
  bool Connect(const HttpUrlParts& parts, Handles* h);
  bool OpenAndSend(const HttpUrlParts& parts, const std::wstring& verb,
                   const std::wstring& extra_headers, const char* body, size_t body_length,
                   Handles* h);
  bool OpenUrl(const std::wstring& url, uint64_t offset, Handles* h);
  bool ReadStatus(HINTERNET request);
  bool ReadKnownLength(HINTERNET request, uint64_t length, std::vector<char>* response);
  bool ReadUnknownLength(HINTERNET request, std::vector<char>* response);
  bool TransferToFile(Handles* h, const std::wstring& path, bool resume, const Reopen& reopen);

  void Status(const std::wstring& text);
  void Error(const wchar_t* call, DWORD code);

  HttpDownObserver* observer_ = nullptr;
  DWORD block_size_ = 4096;
  std::wstring agent_ = L"HTTPDOWNIMPL";
  std::wstring proxy_;
  std::wstring proxy_bypass_;
  DWORD timeout_ms_ = 30000;
  std::function<bool(const std::wstring&)> ask_overwrite_;
  DWORD last_status_ = 0;
};

}  // namespace net
