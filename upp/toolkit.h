// Start-up of the GUI toolkit core.
//
// InitToolkit must be called once on the thread that will be the
// user-interface thread, before the first window: it records that thread,
// registers the toolkit's hidden window class and starts the 10 ms timer that
// services the timer queue (timer_queue.h).
#pragma once

#include <windows.h>

namespace Upp {

bool InitToolkit(HINSTANCE instance);
void ShutdownToolkit();

HINSTANCE ToolkitInstance();

// True on the thread that called InitToolkit (and before it, on any thread:
// code that runs before the toolkit exists has only one thread).
bool IsUIThread();
DWORD UIThreadId();

}  // namespace Upp
