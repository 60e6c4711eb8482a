// The application module and its message loop: the small part of a window
// framework the program needs (MinGW has no ATL/WTL).
//
// The run step registers one MessageLoop with the AppModule; windows find it
// there to install message filters (pre-translation, e.g. a dialog's Tab
// handling or a browser's accelerators) and idle handlers.
//
// Thread-safety: user-interface thread only.
#pragma once

#include <windows.h>

#include <vector>

namespace base {

class MessageFilter {
 public:
  // True when the message was handled and must not be dispatched.
  virtual bool PreTranslateMessage(MSG* msg) = 0;

 protected:
  ~MessageFilter() = default;
};

class IdleHandler {
 public:
  // True to be called again before the loop waits for the next message.
  virtual bool OnIdle() = 0;

 protected:
  ~IdleHandler() = default;
};

class MessageLoop {
 public:
  MessageLoop() = default;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  void AddMessageFilter(MessageFilter* filter);
  void RemoveMessageFilter(MessageFilter* filter);
  void AddIdleHandler(IdleHandler* handler);
  void RemoveIdleHandler(IdleHandler* handler);

  // Runs until WM_QUIT; returns its exit code.
  int Run();

 private:
  bool RunIdleHandlers();
  bool RunFilters(MSG* msg);
  static bool IsIdleResettingMessage(const MSG& msg);

  std::vector<MessageFilter*> filters_;
  std::vector<IdleHandler*> idle_handlers_;
};

// One per process.
class AppModule {
 public:
  static AppModule& Get();

  void Init(HINSTANCE instance);
  void Term();
  HINSTANCE instance() const { return instance_; }

  void AddMessageLoop(MessageLoop* loop) { loop_ = loop; }
  void RemoveMessageLoop() { loop_ = nullptr; }
  // The running loop, or null outside the run step.
  MessageLoop* GetMessageLoop() const { return loop_; }

 private:
  AppModule() = default;
  HINSTANCE instance_ = nullptr;
  MessageLoop* loop_ = nullptr;
};

// Set once the program has begun to end; new engine work is refused then.
// Written on the user-interface thread, read from any thread.
bool IsExiting();
void SetExiting();

}  // namespace base
