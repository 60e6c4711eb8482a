// Small HTTP requests that never block the user-interface thread.
//
// AskGet/AskPost hand a URL and a body to a RequestPool worker (four
// threads, ThreadManager); the worker runs the request with a 10000 ms
// time-out and posts the completion callback, if any, to the user-interface
// thread: (true, body) on a 2xx answer, (false, "") otherwise. No retry.
// Connection failures are silent; an answer with an error status is logged
// once with its status code.
//
// IMPORTANT: Thread-safety. The manager is created on the user-interface
// thread (that also creates the request pool). AskGet/AskPost may then be
// called from any thread; the completion always runs on the user-interface
// thread. AskGetNow blocks its caller for the whole request and belongs on
// a worker.
//
// Ownership: every request copies its own HTTPASK_DOWNLOADURL_PARAM and
// callback into the worker job; nothing the caller passes is kept.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/logic_object.h"
#include "upp/callback.h"

namespace korvan {

// One request as the worker sees it.
struct HTTPASK_DOWNLOADURL_PARAM {
  std::wstring url;
  std::string body;      // sent as the request body
  std::wstring verb;     // "GET" or "POST"
  std::string response;  // the answer's body
  bool done = false;     // true when the request succeeded
};

class HttpAsk : public base::LogicObject {
 public:
  // (success, response body). May be empty.
  using Completion = Upp::Callback2<bool, std::string>;

  static constexpr DWORD kTimeoutMs = 10000;

  HttpAsk();
  ~HttpAsk() override;
  HttpAsk(const HttpAsk&) = delete;
  HttpAsk& operator=(const HttpAsk&) = delete;

  bool CanRelease() override { return true; }

  void AskGet(const std::wstring& url, const std::string& body, Completion done);
  void AskPost(const std::wstring& url, const std::string& body, Completion done);

  // Runs a GET on the calling thread; returns the response body and sets
  // `*ok` (which may be null).
  std::string AskGetNow(const std::wstring& url, const std::string& body, bool* ok);

  // The platform's user-agent string with "lumen" appended.
  static std::wstring UserAgent();

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
