// The client's life from the controller's start to the end of the process:
// the single-instance test, the clean-up of stale copies and the stop path.
//
// Thread-safety: user-interface thread only.
#pragma once

#include <memory>
#include <string>

#include "base/logic_object.h"

namespace korvan {

// Name of the single-instance mutex and of the hidden instance window class.
constexpr wchar_t kInstanceName[] = L"KVDOWNLOADER_INSWND";
// Posted to a running instance's hidden window to bring it forward.
constexpr unsigned kWakeUpMessage = 37889;
constexpr wchar_t kProcessImageName[] = L"KVDownloader.exe";

class ClientManager : public base::LogicObject {
 public:
  ClientManager();
  ~ClientManager() override;

  // False when another instance runs: it was told to come forward and this
  // one has posted its quit message.
  bool Start(const std::wstring& command_line);

  // Ends the program: refuses new work, releases what it holds, and posts
  // the quit message one second later. Safe to call more than once.
  void Stop();

  bool IsAnotherInstance() const;

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
