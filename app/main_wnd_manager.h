// Owner of the main window set: the layered main window (MainWnd) and the
// plain middle window (MiddleWnd) that hosts the web page and stays glued
// over the main window at (57, 112), 580 x 206, because a browser control
// cannot be drawn inside a layered window. Creates, shows, hides and raises
// both, keeps the middle window in place while the main window moves,
// starts the download set-up once the windows are up, and shows the
// application's message boxes.
//
// The windows are created once per run and only hidden when closed; the
// UI-object registry deletes them when the controller goes.
//
// IMPORTANT: Thread-safety. User-interface thread only; other threads post
// to it (PostToUI).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/logic_object.h"

namespace korvan {

class MainWndManager : public base::LogicObject {
 public:
  // Where the middle window sits, from the main window's top-left corner.
  static constexpr int kMiddleOffsetX = 57, kMiddleOffsetY = 112;
  static constexpr int kMiddleWidth = 580, kMiddleHeight = 206;

  MainWndManager();
  ~MainWndManager() override;

  // Creates and shows the window set (CreateWindows), brings it forward and
  // schedules DownloadManager::Initialize 0 ms later (owner: this manager),
  // so the set-up starts once start-up is back in the message loop. When a
  // window cannot be created, nothing is shown and nothing scheduled.
  void ShowMainWindow();

  // Creates the main window without owner and shows it, then the middle
  // window owned by it, glued in place. False when either fails.
  bool CreateWindows();

  // Brings the main window to the front (shown, restored, foreground,
  // raised above other programs without staying topmost) and shows the
  // middle window. Does nothing while there is no main window.
  void Activate();

  // On the next pass of the UI thread's timer: hides the main window, then
  // the middle window (the program stays in the tray).
  void HideWindows();

  // Moves the middle window (no size or z-order change) to the main
  // window's top-left corner plus (57, 112).
  void FollowMainWindow();

  // The windows' handles while the registry holds them; null otherwise.
  HWND GetMainWindowHandle() const;
  HWND GetMiddleWindowHandle() const;

  // The application's modal message box with one OK button, owned by the
  // main window when there is one. An empty caption stands for the skin's
  // window caption. Returns when the user closed it.
  void ShowMessage(const std::wstring& text, const std::wstring& caption);

  // For tests: ShowMessage hands text and caption (as given) to `sink`
  // instead of opening a box. An empty sink restores the box.
  using MessageSink = std::function<void(const std::wstring& text, const std::wstring& caption)>;
  void SetMessageSinkForTesting(MessageSink sink) { message_sink_ = std::move(sink); }

  // How often Activate ran (for diagnostics and tests).
  int activation_count() const { return activation_count_; }

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
  int activation_count_ = 0;
  MessageSink message_sink_;
};

}  // namespace korvan
