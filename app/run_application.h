// The run step: creates the controller, starts it and runs the message loop
// until the quit message. User-interface thread only.
#pragma once

#include <string>

namespace korvan {

// Returns the quit message's code. The controller stays alive afterwards:
// managers end with the process.
int RunApplication(const std::wstring& command_line);

}  // namespace korvan
