// One push of an alpha frame to a layered window: UpdateLayeredWindow with
// source point (0, 0), the frame's size at `dest` (screen coordinates),
// source-over with `alpha` as the constant alpha and per-pixel alpha on.
// Used by layered windows and the shadow.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <windows.h>

#include "upp/draw.h"
#include "upp/geometry.h"

namespace ctrls {

// False (with the last error logged) when the window is gone or the push
// failed.
bool PushLayeredFrame(HWND hwnd, const Upp::Draw& frame, Upp::Point dest, int alpha);

}  // namespace ctrls
