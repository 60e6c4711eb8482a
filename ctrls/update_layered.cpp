#include "ctrls/update_layered.h"

#include "log/log.h"
#include "upp/gdi_handles.h"

namespace ctrls {

bool PushLayeredFrame(HWND hwnd, const Upp::Draw& frame, Upp::Point dest, int alpha) {
  if (!hwnd || !IsWindow(hwnd) || !frame.IsValid()) return false;
  GdiFlush();  // GDI text may still be queued for the surface
  POINT src = {0, 0};
  POINT dst = {dest.x, dest.y};
  SIZE size = {frame.GetSize().cx, frame.GetSize().cy};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(alpha < 0 ? 0 : alpha > 255 ? 255 : alpha),
                         AC_SRC_ALPHA};
  Upp::ScopedWindowDC screen(nullptr);
  const BOOL ok = UpdateLayeredWindow(hwnd, screen.Get(), &dst, &size, frame.GetDC(), &src, 0, &blend, ULW_ALPHA);
  const DWORD error = ok ? 0 : GetLastError();
  if (!ok) KV_LOG_ERROR << "ctrls::PushLayeredFrame UpdateLayeredWindow failed, error " << error;
  return ok != FALSE;
}

}  // namespace ctrls
