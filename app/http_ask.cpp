#include "app/http_ask.h"

#include <urlmon.h>

#include <exception>
#include <utility>
#include <vector>

#include "app/thread_manager.h"
#include "base/controller.h"
#include "base/post_to_ui.h"
#include "base/thread_pool.h"
#include "log/log.h"
#include "net/http_down_impl.h"

namespace korvan {

namespace {

void PostCompletion(const HttpAsk::Completion& done, bool ok, std::string response) {
  if (!done) return;
  base::PostToUI(Upp::Callback(
      [done, ok, response = std::move(response)] { done(ok, response); }));
}

// The worker step; also the synchronous path. Touches nothing but its own
// record, so it needs no manager and no lock.
void Perform(HTTPASK_DOWNLOADURL_PARAM* param) {
  param->done = false;
  param->response.clear();
  net::CHttpDownImpl http;
  http.SetAgentName(HttpAsk::UserAgent());
  http.SetTimeout(HttpAsk::kTimeoutMs);
  std::vector<char> body;
  if (http.Request(param->url, param->verb, param->body.data(), param->body.size(), false, &body)) {
    param->response.assign(body.begin(), body.end());
    param->done = true;
    return;
  }
  // A server that answered with an error keeps its status in the log; an
  // unreachable one (no network, no server) is not worth a line.
  if (http.last_status() != 0) {
    KV_LOG_WARNING << "korvan::HttpAsk::Perform 请求失败，HTTP状态 " << http.last_status() << " "
                   << param->url;
  }
}

void RunOnWorker(HTTPASK_DOWNLOADURL_PARAM param, HttpAsk::Completion done) {
  // Nothing may leave a pool task by exception; a failed request is a false.
  try {
    Perform(&param);
  } catch (const std::exception&) {
    param.done = false;
    param.response.clear();
  }
  PostCompletion(done, param.done, param.done ? param.response : std::string());
}

}  // namespace

class HttpAsk::Pimpl : public Upp::Pte<Pimpl> {
 public:
  Pimpl() {
    // Built here, on the user-interface thread, so workers asking later only
    // ever look the pool up.
    GetLogicObject<ThreadManager>()->RequestPool();
  }

  void Ask(const wchar_t* verb, const std::wstring& url, const std::string& body,
           Completion done) {
    HTTPASK_DOWNLOADURL_PARAM param;
    param.url = url;
    param.body = body;
    param.verb = verb;
    base::ThreadPool* pool = GetLogicObject<ThreadManager>()->RequestPool();
    if (!pool || !pool->Post(Upp::BindFn(&RunOnWorker, std::move(param), done))) {
      // Shutting down: the request is lost, but the caller still hears of it.
      PostCompletion(done, false, std::string());
    }
  }
};

HttpAsk::HttpAsk() : pimpl_(std::make_unique<Pimpl>()) {}

HttpAsk::~HttpAsk() = default;

void HttpAsk::AskGet(const std::wstring& url, const std::string& body, Completion done) {
  pimpl_->Ask(L"GET", url, body, std::move(done));
}

void HttpAsk::AskPost(const std::wstring& url, const std::string& body, Completion done) {
  pimpl_->Ask(L"POST", url, body, std::move(done));
}

std::string HttpAsk::AskGetNow(const std::wstring& url, const std::string& body, bool* ok) {
  HTTPASK_DOWNLOADURL_PARAM param;
  param.url = url;
  param.body = body;
  param.verb = L"GET";
  try {
    Perform(&param);
  } catch (const std::exception&) {
    param.done = false;
    param.response.clear();
  }
  if (ok) *ok = param.done;
  return param.response;
}

std::wstring HttpAsk::UserAgent() {
  char agent[1024] = {};
  DWORD size = sizeof(agent) - 1;
  std::wstring wide;
  if (SUCCEEDED(ObtainUserAgentString(0, agent, &size))) {
    agent[sizeof(agent) - 1] = '\0';
    const int length = static_cast<int>(strnlen(agent, sizeof(agent) - 1));
    const int chars = MultiByteToWideChar(CP_THREAD_ACP, 0, agent, length, nullptr, 0);
    if (chars > 0) {
      wide.resize(chars);
      MultiByteToWideChar(CP_THREAD_ACP, 0, agent, length, &wide[0], chars);
    }
  }
  return wide + L"lumen";
}

}  // namespace korvan
