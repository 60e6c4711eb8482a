// The bridge between one native window and its root control: it hosts the
// TopCtrl tree in the window (mouse, cursor, capture, paint) through the
// toolkit's window host.
//
// Ownership: owns the root control and the host; does not own the window
// (TopWindow does). IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <windows.h>

#include "ctrls/top_ctrl.h"
#include "upp/hwnd_host.h"

namespace ctrls {

class TopWndBase {
 public:
  TopWndBase() = default;
  virtual ~TopWndBase();
  TopWndBase(const TopWndBase&) = delete;
  TopWndBase& operator=(const TopWndBase&) = delete;

  // Nothing to erase: the paint covers every pixel.
  virtual bool EraseBackground(HDC dc, const RECT* rc) { return true; }
  // Paints the tree into `dc` through one off-screen surface.
  virtual void Paint(HDC dc);
  virtual void OnBridgeHook() {}

  HWND GetHWND() const { return hwnd_; }
  TopCtrl& GetTopCtrl() { return top_; }

 protected:
  void AttachWindow(HWND hwnd);
  void DetachWindow();
  Upp::HwndCtrlHost& Host() { return host_; }

  HWND hwnd_ = nullptr;
  TopCtrl top_;

 private:
  Upp::HwndCtrlHost host_;
};

}  // namespace ctrls
