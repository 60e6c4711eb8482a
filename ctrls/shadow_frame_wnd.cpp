#include "ctrls/shadow_frame_wnd.h"

#include "ctrls/alpha_draw.h"
#include "ctrls/update_layered.h"
#include "log/log.h"
#include "upp/toolkit.h"

namespace ctrls {
namespace {

const wchar_t kClassName[] = L"KVShadowFrameWnd";

bool RegisterShadowClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = proc;
  wc.hInstance = Upp::ToolkitInstance() ? Upp::ToolkitInstance() : GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

}  // namespace

ShadowFrameWnd::~ShadowFrameWnd() {
  if (IsOpen()) DestroyWindow(hwnd_);
}

LRESULT CALLBACK ShadowFrameWnd::WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == kShowMessage) {
    ShowWindow(hwnd, wparam ? SW_SHOWNOACTIVATE : SW_HIDE);
    return 0;
  }
  if (msg == WM_NCHITTEST) return HTTRANSPARENT;
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

bool ShadowFrameWnd::Create(HWND host, const Upp::Image& image) {
  UPP_CHECK_UI_THREAD();
  if (IsOpen()) return true;
  if (!RegisterShadowClass(&WndProc)) {
    KV_LOG_ERROR << "ctrls::ShadowFrameWnd::Create RegisterClassEx failed, error " << GetLastError();
    return false;
  }
  host_ = host;
  image_ = image;
  hwnd_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW, kClassName, L"",
                          WS_POPUP | WS_DISABLED, 0, 0, 1, 1, host,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) {
    KV_LOG_ERROR << "ctrls::ShadowFrameWnd::Create CreateWindowEx failed, error " << GetLastError();
    return false;
  }
  return true;
}

Upp::Rect ShadowFrameWnd::ShadowRect(const RECT& host) {
  return Upp::Rect(host.left - kLeft, host.top - kTop, host.right + kRight, host.bottom + kBottom);
}

void ShadowFrameWnd::PaintFrame(Upp::Draw& w, const Upp::Image& image) {
  const Upp::Size size = w.GetSize();
  w.DrawNineGrid(Upp::Rect(Upp::Point(), size), image);
  if (!w.IsValid()) return;
  for (int y = kTop; y < size.cy - kBottom; ++y)
    for (int x = kLeft; x < size.cx - kRight; ++x) w.Pixels()[y * size.cx + x] = Upp::RGBA();
}

void ShadowFrameWnd::Place() {
  if (!IsOpen() || !host_ || !IsWindow(host_)) return;
  RECT hr;
  GetWindowRect(host_, &hr);
  const Upp::Rect r = ShadowRect(hr);
  AlphaDraw w(r.GetSize());
  PaintFrame(w, image_);
  PushLayeredFrame(hwnd_, w, r.TopLeft(), 255);
}

void ShadowFrameWnd::Follow() {
  if (!IsOpen() || !host_ || !IsWindow(host_)) return;
  RECT hr;
  GetWindowRect(host_, &hr);
  const Upp::Rect r = ShadowRect(hr);
  SetWindowPos(hwnd_, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
}

}  // namespace ctrls
