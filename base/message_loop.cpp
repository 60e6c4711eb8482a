#include "base/message_loop.h"

#include <algorithm>
#include <atomic>

namespace base {
namespace {

std::atomic<bool> g_exiting{false};

template <class T>
void RemoveFrom(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

bool IsExiting() { return g_exiting.load(std::memory_order_acquire); }
void SetExiting() { g_exiting.store(true, std::memory_order_release); }

void MessageLoop::AddMessageFilter(MessageFilter* filter) { filters_.push_back(filter); }
void MessageLoop::RemoveMessageFilter(MessageFilter* filter) { RemoveFrom(filters_, filter); }
void MessageLoop::AddIdleHandler(IdleHandler* handler) { idle_handlers_.push_back(handler); }
void MessageLoop::RemoveIdleHandler(IdleHandler* handler) { RemoveFrom(idle_handlers_, handler); }

bool MessageLoop::RunIdleHandlers() {
  // A copy: a handler may remove itself.
  std::vector<IdleHandler*> handlers = idle_handlers_;
  bool more = false;
  for (IdleHandler* h : handlers) {
    if (h->OnIdle()) more = true;
  }
  return more;
}

bool MessageLoop::RunFilters(MSG* msg) {
  // Last added first: the innermost window sees the message first.
  std::vector<MessageFilter*> filters = filters_;
  for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
    // One filter's work may have destroyed another window and its filter.
    if (std::find(filters_.begin(), filters_.end(), *it) == filters_.end()) continue;
    if ((*it)->PreTranslateMessage(msg)) return true;
  }
  return false;
}

bool MessageLoop::IsIdleResettingMessage(const MSG& msg) {
  switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case 0x0118:  // WM_SYSTIMER (caret blink)
      return false;
    default:
      return true;
  }
}

int MessageLoop::Run() {
  bool do_idle = true;
  MSG msg = {};
  for (;;) {
    while (do_idle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!RunIdleHandlers()) do_idle = false;
    }
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) continue;  // an error getting the message: skip it
    if (!got) break;          // WM_QUIT
    if (!RunFilters(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (IsIdleResettingMessage(msg)) do_idle = true;
  }
  return static_cast<int>(msg.wParam);
}

AppModule& AppModule::Get() {
  static AppModule module;
  return module;
}

void AppModule::Init(HINSTANCE instance) { instance_ = instance; }

void AppModule::Term() { loop_ = nullptr; }

}  // namespace base
