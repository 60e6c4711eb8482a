// Move-only owner of a WinInet handle (session, connection, request or URL).
// Closing keeps the thread's last-error value, like the other owners in
// base/scoped_handle.h, so an error can still be read after an early return.
//
// Thread-safety: an owner is used by one thread at a time, like the handle.
// Declare owners in the order the handles are opened: C++ destroys them in
// reverse, which is the order WinInet wants them closed.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "base/scoped_handle.h"

namespace net {

struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { InternetCloseHandle(h); }
};
using ScopedInternetHandle = base::ScopedGeneric<InternetHandleTraits>;

}  // namespace net
