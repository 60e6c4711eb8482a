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

namespace Upp {
// Reports code that runs on the wrong thread: always logged, and fatal in
// debug builds. Cheap (one thread-id comparison).
void ReportWrongThread(const char* where);
}  // namespace Upp

#define UPP_CHECK_UI_THREAD()                                  \
  do {                                                         \
    if (!Upp::IsUIThread()) Upp::ReportWrongThread(__func__);  \
  } while (0)
