// Helpers of the browser host tests: a visible top-level window to host
// into (optionally serving a control tree), and the browser's events as the
// browser itself delivers them to a sink. Test thread only.
#pragma once

#include <exdispid.h>
#include <windows.h>

#include <string>
#include <vector>

#include "upp/ctrl.h"
#include "upp/hwnd_host.h"

namespace ietest {

class ParentWindow {
 public:
  // A visible popup window at (x, y) with a client area of cx x cy.
  ParentWindow(int x, int y, int cx, int cy);
  ~ParentWindow();
  ParentWindow(const ParentWindow&) = delete;
  ParentWindow& operator=(const ParentWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Serves `root` (sized to the client area) in this window.
  void Host(Upp::Ctrl* root);
  void Destroy();

 private:
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l);
  HWND hwnd_ = nullptr;
  Upp::HwndCtrlHost host_;
};

// `child`'s rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);
// How many windows this thread owns (top-level and children).
int CountThreadWindows();

// Events delivered to `sink` the way the WebBrowser control calls it.
HRESULT FireDocumentComplete(IDispatch* sink, IDispatch* source);
HRESULT FireNavigateError(IDispatch* sink, IDispatch* source, LONG status);
// *cancel receives the sink's answer.
HRESULT FireNewWindow2(IDispatch* sink, VARIANT_BOOL* cancel);
HRESULT FireNewWindow3(IDispatch* sink, const std::wstring& url, VARIANT_BOOL* cancel);

// A loopback TCP port on which nothing listens.
int ClosedPort();

}  // namespace ietest
