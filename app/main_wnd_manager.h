// Owner of the main window set. So far it answers the wake-up from a second
// copy of the program and shows the application's message boxes; the
// windows themselves come with the window layer.
//
// Thread-safety: user-interface thread only.
#pragma once

#include <windows.h>

#include <string>

#include "base/logic_object.h"

namespace korvan {

class MainWndManager : public base::LogicObject {
 public:
  MainWndManager() = default;
  ~MainWndManager() override;

  // Creates and shows the main window set, then schedules the download
  // set-up 0 ms later, so it starts once start-up is back in the message
  // loop. Until the window layer exists only the set-up is scheduled.
  void ShowMainWindow();

  // Brings the main window to the front: shown if hidden, restored if
  // minimised. Does nothing while there is no main window.
  void Activate();

  // The application's modal message box with one OK button, owned by the
  // main window when there is one. An empty caption stands for the skin's
  // window caption. Returns when the user closed it.
  void ShowMessage(const std::wstring& text, const std::wstring& caption);

  // The main window, or null while there is none.
  HWND main_window() const { return nullptr; }

  // How often a wake-up arrived (for diagnostics and tests).
  int activation_count() const { return activation_count_; }

 private:
  int activation_count_ = 0;
};

}  // namespace korvan
