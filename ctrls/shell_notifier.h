// Shell_NotifyIcon on a thread of its own, in the order the calls were made.
// The shell answers from the desktop's process; when that is slow (Wine
// takes seconds while it cleans up after a killed program's icon, a hung
// Explorer takes forever), the user-interface thread must not wait with it:
// the window would stop answering clicks and painting.
//
// Thread-safety: PostShellNotify and FlushShellNotify from any thread.
// Ownership: each posted call owns a copy of the record and of its icon
// (destroyed once the shell has been called). The thread lives until the
// process ends and is never joined.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace ctrls {

// Queues Shell_NotifyIconW(op, *data); TRUE once queued. Has the signature
// of TrayIcon::NotifyFn.
BOOL PostShellNotify(DWORD op, NOTIFYICONDATAW* data);

// Waits up to `timeout_ms` for every queued call to have been made; false
// when some are still waiting. For the way out of the program.
bool FlushShellNotify(DWORD timeout_ms);

}  // namespace ctrls
