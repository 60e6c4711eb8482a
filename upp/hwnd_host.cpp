#include "upp/hwnd_host.h"

#include <windowsx.h>

#include <exception>

#include "log/log.h"
#include "upp/draw.h"
#include "upp/toolkit.h"

namespace Upp {

namespace {

Point ClientPoint(LPARAM lparam) { return Point(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)); }

uint32_t KeyFlags(WPARAM wparam) { return static_cast<uint32_t>(GET_KEYSTATE_WPARAM(wparam)); }

Rect ClientRect(HWND hwnd) {
  RECT rc = {};
  GetClientRect(hwnd, &rc);
  return Rect(rc.left, rc.top, rc.right, rc.bottom);
}

}  // namespace

HwndCtrlHost::~HwndCtrlHost() { Detach(); }

void HwndCtrlHost::Attach(HWND hwnd, Ctrl* root) {
  UPP_CHECK_UI_THREAD();
  Detach();
  hwnd_ = hwnd;
  root_ = root;
  if (!root_) return;
  root_->SetHost(this);
  if (hwnd_ && IsWindow(hwnd_)) root_->SetRect(Rect(Point(), ClientRect(hwnd_).GetSize()));
}

void HwndCtrlHost::Detach() {
  if (root_) root_->SetHost(nullptr);
  if (hwnd_ && GetCapture() == hwnd_) ReleaseCapture();
  root_ = nullptr;
  hwnd_ = nullptr;
  tracking_leave_ = false;
}

void HwndCtrlHost::Invalidate(const Rect& r) {
  if (!hwnd_ || !IsWindow(hwnd_)) return;
  RECT rc = r.ToRECT();
  InvalidateRect(hwnd_, &rc, FALSE);
}

void HwndCtrlHost::SetMouseCapture(bool capture) {
  if (!hwnd_ || !IsWindow(hwnd_)) return;
  if (capture) {
    ::SetCapture(hwnd_);
  } else if (GetCapture() == hwnd_) {
    ::ReleaseCapture();
  }
}

void HwndCtrlHost::SetCursor(HCURSOR cursor) { ::SetCursor(cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW)); }

void HwndCtrlHost::TrackLeave() {
  if (tracking_leave_) return;
  TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, hwnd_, 0};
  tracking_leave_ = TrackMouseEvent(&track) != FALSE;
}

void HwndCtrlHost::PaintTo(HDC dc) {
  if (!root_ || !hwnd_) return;
  const Size size = ClientRect(hwnd_).GetSize();
  Draw w(size);
  if (!w.IsValid()) return;
  w.DrawRect(Rect(Point(), size), background_);
  root_->PaintTree(w);
  BitBlt(dc, 0, 0, size.cx, size.cy, w.GetDC(), 0, 0, SRCCOPY);
}

bool HwndCtrlHost::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  if (!root_ || !hwnd_) return false;
  // Called from a window procedure: nothing may escape.
  try {
    return Route(msg, wparam, lparam, result);
  } catch (const std::exception& e) {
    KV_LOG_ERROR << "Upp::HwndCtrlHost::HandleMessage " << static_cast<int>(msg) << " threw: " << e.what();
  } catch (...) {
    KV_LOG_ERROR << "Upp::HwndCtrlHost::HandleMessage " << static_cast<int>(msg) << " threw";
  }
  *result = 0;
  return true;
}

bool HwndCtrlHost::Route(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  *result = 0;
  switch (msg) {
    case WM_MOUSEMOVE:
      TrackLeave();
      root_->DispatchMouse(Ctrl::MOUSEMOVE, ClientPoint(lparam), 0, KeyFlags(wparam));
      return true;
    case WM_LBUTTONDOWN:
      root_->DispatchMouse(Ctrl::LEFTDOWN, ClientPoint(lparam), 0, KeyFlags(wparam));
      return true;
    case WM_LBUTTONUP:
      root_->DispatchMouse(Ctrl::LEFTUP, ClientPoint(lparam), 0, KeyFlags(wparam));
      return true;
    case WM_LBUTTONDBLCLK:
      root_->DispatchMouse(Ctrl::LEFTDOUBLE, ClientPoint(lparam), 0, KeyFlags(wparam));
      return true;
    case WM_RBUTTONDOWN:
      root_->DispatchMouse(Ctrl::RIGHTDOWN, ClientPoint(lparam), 0, KeyFlags(wparam));
      return true;
    case WM_RBUTTONUP:
      root_->DispatchMouse(Ctrl::RIGHTUP, ClientPoint(lparam), 0, KeyFlags(wparam));
      return true;
    case WM_MOUSEWHEEL: {
      // The wheel carries screen coordinates.
      POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      ScreenToClient(hwnd_, &pt);
      root_->DispatchMouse(Ctrl::MOUSEWHEEL, Point(pt.x, pt.y), GET_WHEEL_DELTA_WPARAM(wparam),
                           KeyFlags(wparam));
      return true;
    }
    case WM_MOUSELEAVE:
      tracking_leave_ = false;
      root_->DispatchMouseLeave();
      return true;
    case WM_CANCELMODE:
      // A message box or a system menu is coming: end any press now. The
      // window's default handling still releases the native capture.
      if (root_->GetCaptureCtrl()) root_->CaptureLost();
      return false;
    case WM_CAPTURECHANGED:
      // Someone else took the mouse: the tree must not wait for a release.
      if (reinterpret_cast<HWND>(lparam) != hwnd_ && root_->GetCaptureCtrl()) root_->CaptureLost();
      return true;
    case WM_SETCURSOR: {
      if (LOWORD(lparam) != HTCLIENT) return false;
      POINT pt = {};
      GetCursorPos(&pt);
      ScreenToClient(hwnd_, &pt);
      SetCursor(root_->DispatchCursor(Point(pt.x, pt.y)));
      *result = TRUE;
      return true;
    }
    case WM_SIZE:
      root_->SetRect(Rect(0, 0, LOWORD(lparam), HIWORD(lparam)));
      return true;
    case WM_ERASEBKGND:
      *result = 1;
      return true;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      if (dc) PaintTo(dc);
      EndPaint(hwnd_, &ps);
      return true;
    }
    case WM_PRINTCLIENT:
      PaintTo(reinterpret_cast<HDC>(wparam));
      return true;
    default:
      return false;
  }
}

}  // namespace Upp
