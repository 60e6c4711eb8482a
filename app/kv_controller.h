// The application's controller: starts the client flow and holds the day's
// log file.
//
// Thread-safety: user-interface thread only. Created once by the run step and
// left alive until the process exits.
#pragma once

#include <cstdio>
#include <string>

#include "base/controller.h"

namespace korvan {

class KVController : public base::Controller {
 public:
  KVController() = default;
  ~KVController() override;

  // Reads the settings, opens the log when asked for, then starts the client.
  // False when another instance runs (the quit message is posted by then).
  bool Start(const std::wstring& command_line) override;

 private:
  FILE* log_file_ = nullptr;
};

}  // namespace korvan
