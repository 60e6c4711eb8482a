// One notification-area icon with its tooltip and mouse callbacks. A
// hidden popup window (never shown) receives the icon's notifications as
// message kCallbackMessage (0x800, in the class's private WM_USER range;
// WM_APP would be 0x8000) with the mouse message in lParam.
//
// The icon is added when the object is made and removed (its native icon
// destroyed) when it is hidden or dies. Tips longer than kMaxTip characters
// are cut. Taskbar restarts are not watched: a lost icon returns with the
// next Show(true).
//
// The shell is called through PostShellNotify (its own thread): a slow
// shell never holds up the user-interface thread, and Show's result says
// only that the call was queued.
//
// Ownership: owns the hidden window and the native icon.
// IMPORTANT: Thread-safety. User-interface thread only. No exception leaves
// the window procedure.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "upp/callback.h"
#include "upp/ctrl.h"
#include "upp/image.h"

namespace ctrls {

class TrayIcon : public Upp::Ctrl {
 public:
  static constexpr UINT kCallbackMessage = 0x800;
  static constexpr size_t kMaxTip = 60;
  static constexpr UINT kTimeout = 30;

  // The shell call, replaceable for tests.
  using NotifyFn = BOOL (*)(DWORD op, NOTIFYICONDATAW* data);

  TrayIcon();
  explicit TrayIcon(NotifyFn notify);
  ~TrayIcon() override;

  Upp::Callback WhenLeftDown, WhenLeftUp, WhenLeftDouble, WhenBar;

  bool Show(bool show = true);
  bool IsIconShown() const { return shown_; }
  bool Icon(const Upp::Image& image);
  bool Tip(const std::wstring& tip);
  // The window that comes to the foreground on a double click or the menu.
  void SetOwner(HWND owner) { owner_ = owner; }

  HWND GetNotifyHWND() const { return hwnd_; }
  UINT GetIconId() const { return data_.uID; }
  const NOTIFYICONDATAW& GetRecord() const { return data_; }

  // Record size the shell of `major` version expects for the wide record.
  static DWORD RecordSize(DWORD major);

  // One notification (the window procedure calls it). True when handled.
  bool Dispatch(UINT msg, WPARAM wparam, LPARAM lparam);

  virtual void OnLeftDown() { WhenLeftDown(); }
  virtual void OnLeftUp() { WhenLeftUp(); }
  virtual void OnLeftDouble();
  virtual void OnRightDown() {}
  virtual void OnRightUp();

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  bool Update(DWORD op);
  void DestroyNativeIcon();
  void Foreground();

  NotifyFn notify_;
  HWND hwnd_ = nullptr;
  HWND owner_ = nullptr;
  HICON icon_handle_ = nullptr;
  Upp::Image image_;
  std::wstring tip_;
  bool shown_ = false;
  NOTIFYICONDATAW data_ = {};
};

// A native icon of `image` (32-bit colour with straight alpha plus an
// empty 1-bit mask); null for an empty image. The caller destroys it.
HICON MakeIcon(const Upp::Image& image);

}  // namespace ctrls
