#include "ctrls/tray_icon.h"

#include <shlwapi.h>

#include <atomic>
#include <exception>
#include <vector>

#include "ctrls/shell_notifier.h"
#include "log/log.h"
#include "upp/gdi_handles.h"
#include "upp/toolkit.h"

namespace ctrls {
namespace {

const wchar_t kClassName[] = L"KVTrayIconWnd";

UINT NextIconId() {
  static std::atomic<UINT> next{0};
  return ++next;
}

DWORD ShellMajorVersion() {
  // The shell's own version, as the notification record layout follows it.
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  typedef HRESULT(CALLBACK * GetVersionFn)(DLLVERSIONINFO*);
  auto get = shell ? reinterpret_cast<GetVersionFn>(
                         reinterpret_cast<void*>(GetProcAddress(shell, "DllGetVersion")))
                   : nullptr;
  DLLVERSIONINFO info = {sizeof(info)};
  if (get && SUCCEEDED(get(&info))) return info.dwMajorVersion;
  return 5;
}

}  // namespace

HICON MakeIcon(const Upp::Image& image) {
  if (image.IsEmpty()) return nullptr;
  const int w = image.GetWidth(), h = image.GetHeight();
  BITMAPV5HEADER bi = {};
  bi.bV5Size = sizeof(bi);
  bi.bV5Width = w;
  bi.bV5Height = -h;
  bi.bV5Planes = 1;
  bi.bV5BitCount = 32;
  bi.bV5Compression = BI_RGB;
  void* bits = nullptr;
  Upp::ScopedWindowDC screen(nullptr);
  Upp::ScopedBitmap color(CreateDIBSection(screen.Get(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS,
                                           &bits, nullptr, 0));
  if (!color.Get() || !bits) return nullptr;
  // Icons take straight alpha; images hold premultiplied pixels.
  auto* out = static_cast<Upp::RGBA*>(bits);
  const Upp::RGBA* in = image.Pixels();
  for (int i = 0; i < w * h; ++i) {
    Upp::RGBA p = in[i];
    if (p.a != 0 && p.a != 255) {
      p.r = static_cast<uint8_t>(p.r * 255 / p.a);
      p.g = static_cast<uint8_t>(p.g * 255 / p.a);
      p.b = static_cast<uint8_t>(p.b * 255 / p.a);
    }
    out[i] = p;
  }
  std::vector<BYTE> mask_bits(static_cast<size_t>((w + 15) / 16 * 2) * h, 0);
  Upp::ScopedBitmap mask(CreateBitmap(w, h, 1, 1, mask_bits.data()));
  if (!mask.Get()) return nullptr;
  ICONINFO ii = {TRUE, 0, 0, mask.Get(), color.Get()};
  return CreateIconIndirect(&ii);  // copies both bitmaps
}

DWORD TrayIcon::RecordSize(DWORD major) {
  return major < 5 ? NOTIFYICONDATAW_V1_SIZE : NOTIFYICONDATAW_V2_SIZE;
}

TrayIcon::TrayIcon() : TrayIcon(&PostShellNotify) {}

TrayIcon::TrayIcon(NotifyFn notify) : notify_(notify) {
  UPP_CHECK_UI_THREAD();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = &TrayIcon::WndProc;
  wc.hInstance = instance;
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    KV_LOG_ERROR << "ctrls::TrayIcon RegisterClassEx failed, error " << GetLastError();
  hwnd_ = CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (!hwnd_) {
    KV_LOG_ERROR << "ctrls::TrayIcon CreateWindowEx failed, error " << GetLastError();
  } else {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  data_.cbSize = RecordSize(ShellMajorVersion());
  data_.hWnd = hwnd_;
  data_.uID = NextIconId();
  data_.uCallbackMessage = kCallbackMessage;
  Show(true);
}

TrayIcon::~TrayIcon() {
  Show(false);
  DestroyNativeIcon();
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

bool TrayIcon::Show(bool show) {
  UPP_CHECK_UI_THREAD();
  if (show == shown_) return true;
  bool ok = true;
  if (shown_) {
    ok = notify_(NIM_DELETE, &data_) != FALSE;
    DestroyNativeIcon();
  }
  shown_ = show;
  if (shown_) ok = Update(NIM_ADD);
  return ok;
}

bool TrayIcon::Icon(const Upp::Image& image) {
  image_ = image;
  return shown_ ? Update(NIM_MODIFY) : true;
}

bool TrayIcon::Tip(const std::wstring& tip) {
  tip_ = tip;
  return shown_ ? Update(NIM_MODIFY) : true;
}

bool TrayIcon::Update(DWORD op) {
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  DestroyNativeIcon();
  icon_handle_ = MakeIcon(image_);
  data_.hIcon = icon_handle_;
  const size_t n = tip_.size() < kMaxTip ? tip_.size() : kMaxTip;
  tip_.copy(data_.szTip, n);
  data_.szTip[n] = L'\0';
  if (op == NIM_ADD) data_.uTimeout = kTimeout;
  const bool ok = notify_(op, &data_) != FALSE;
  if (!ok) KV_LOG_ERROR << "ctrls::TrayIcon::Update Shell_NotifyIcon " << op << " failed";
  return ok;
}

void TrayIcon::DestroyNativeIcon() {
  if (icon_handle_) DestroyIcon(icon_handle_);
  icon_handle_ = nullptr;
  data_.hIcon = nullptr;
}

void TrayIcon::Foreground() {
  if (owner_ && IsWindow(owner_)) SetForegroundWindow(owner_);
}

void TrayIcon::OnLeftDouble() {
  Foreground();
  WhenLeftDouble();
}

void TrayIcon::OnRightUp() {
  Foreground();
  WhenBar();
}

bool TrayIcon::Dispatch(UINT msg, WPARAM, LPARAM lparam) {
  if (msg != kCallbackMessage) return false;
  switch (static_cast<UINT>(lparam)) {
    case WM_LBUTTONDOWN: OnLeftDown(); break;
    case WM_LBUTTONUP: OnLeftUp(); break;
    case WM_LBUTTONDBLCLK: OnLeftDouble(); break;
    case WM_RBUTTONDOWN: OnRightDown(); break;
    case WM_RBUTTONUP: OnRightUp(); break;
    default: break;
  }
  return true;
}

LRESULT CALLBACK TrayIcon::WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<TrayIcon*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    try {
      if (self->Dispatch(msg, wparam, lparam)) return 0;
    } catch (const std::exception& e) {
      KV_LOG_ERROR << "ctrls::TrayIcon::WndProc threw: " << e.what();
      return 0;
    } catch (...) {
      KV_LOG_ERROR << "ctrls::TrayIcon::WndProc threw";
      return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace ctrls
