// CIEWindowImpl: a native child window (class "UIAXWINDOW") that hosts the
// platform's WebBrowser control, plain Win32/COM in place of ATL's ActiveX
// host.
//
//   CIEWindowImpl host;
//   host.Create(parent, rect);                     // hidden child window
//   host.Navigate(L"http://portal/list/down_img.html");
//
// The host window owns a CUIAxHostWindow site (client site, document host,
// ambient properties) and an IEEventSink connected to the browser's
// DWebBrowserEvents2. Behaviour built in here:
//   - document-host flags start at kDefaultDocHostFlags (dialog, no 3-D
//     border, scripts off while inactive, forms auto-complete, themes, no
//     outer 3-D border); the browser's context menu is allowed;
//   - NewWindow2 is cancelled; NewWindow3 is cancelled and its URL opened
//     in the user's default browser (base::OpenUrlInBrowser, replaceable
//     for tests), so no window of ours ever opens;
//   - page message boxes are platform message boxes owned by the host
//     window with the caption "UIAXWINDOW";
//   - key messages for the browser go through the running message loop's
//     filter: F5 is swallowed (the page cannot be reloaded from the
//     keyboard), other keys reach the control's accelerator handling;
//   - WM_USER + 1 (lParam: const wchar_t* URL) navigates, WM_USER + 111
//     calls OnRefreshRequested().
// Subclasses hook in through the protected virtual functions below.
//
// IMPORTANT: Thread-safety. Everything runs on the thread that called
// Create (the user-interface thread, a single-threaded apartment), except
// Navigate, which any thread may call: from another thread it sends
// WM_USER + 1 and waits until the window's thread has started the
// navigation. Do not call Navigate from another thread while the UI thread
// waits for that thread (it would deadlock).
// Ownership: the object owns its window, the browser and every COM
// reference it holds; Destroy() (or the destructor, or the parent window's
// destruction) releases them all. A subclass calls Destroy() in its own
// destructor so that no message reaches a half-destroyed object.
#pragma once

#include <exdisp.h>
#include <windows.h>

#include <functional>
#include <string>

#include "app/ui/ie_event_sink.h"
#include "app/ui/ie_host_site.h"
#include "app/ui/web_com_ptr.h"
#include "base/message_loop.h"

class CIEWindowImpl : public IUIAxHostWindowCallBack,
                      public IEBrowserEvents,
                      public base::MessageFilter {
 public:
  static constexpr UINT kNavigateMessage = WM_USER + 1;
  static constexpr UINT kRefreshMessage = WM_USER + 111;
  static constexpr DWORD kWindowStyle = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  static constexpr DWORD kDefaultDocHostFlags = 0x244015;
  static constexpr DWORD kNoScrollFlags = 0x4 | 0x8;  // no 3-D border, no scroll bars
  static constexpr const wchar_t kMessageCaption[] = L"UIAXWINDOW";

  // Opens a URL outside the program; true when a browser started.
  using BrowserOpener = std::function<bool(const std::wstring& url)>;

  CIEWindowImpl();
  virtual ~CIEWindowImpl();
  CIEWindowImpl(const CIEWindowImpl&) = delete;
  CIEWindowImpl& operator=(const CIEWindowImpl&) = delete;

  // Creates the hidden host window as a child of `parent` at `rect`
  // (parent client coordinates) and the browser inside it, then calls
  // OnCreated(). Returns the window, or null (logged) when the window or
  // the browser could not be made; a window without a browser is
  // destroyed again.
  HWND Create(HWND parent, const RECT& rect);
  // Releases the browser and destroys the window. Safe to repeat.
  void Destroy();

  HWND GetHWND() const { return hwnd_; }
  bool IsWindow() const { return hwnd_ && ::IsWindow(hwnd_); }
  // The browser's automation interface (null without a browser).
  IWebBrowser2* GetBrowser() const { return browser_.Get(); }
  // The site object, for inspection.
  CUIAxHostWindow* GetHost() const { return site_.Get(); }

  // Starts navigating to `url`; true when the browser accepted it (S_OK).
  // Any thread (see the thread rules above).
  bool Navigate(const std::wstring& url);

  DWORD GetDocHostFlags() const;
  void SetDocHostFlags(DWORD flags);

  void SetBrowserOpener(BrowserOpener opener) { opener_ = std::move(opener); }

  // base::MessageFilter: the browser's keys. Installed in the running
  // message loop while the window exists; tests call it directly.
  bool PreTranslateMessage(MSG* msg) override;

  // IUIAxHostWindowCallBack
  int OnShowMessage(HWND owner, const wchar_t* text, UINT type) override;

  // IEBrowserEvents
  void OnDocumentComplete(IDispatch* source) override;
  void OnNavigateError(IDispatch* source, long status) override {}
  bool OnNewWindow2() override { return true; }
  bool OnNewWindow3(const std::wstring& url) override;

  // True when the event's source is the browser itself, not one of its frames.
  bool IsTopSource(IDispatch* source) const;

  // The sink the browser calls (tests invoke events through it).
  IEEventSink* GetEventSink() const { return sink_.Get(); }

 protected:
  // After the browser exists, before the first navigation.
  virtual void OnCreated() {}
  // DocumentComplete of the top-level document (not of a frame).
  virtual void OnTopDocumentComplete() {}
  // WM_USER + 111 arrived (the page asked for a reload).
  virtual void OnRefreshRequested() {}

 private:
  static bool RegisterWindowClass();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam);
  bool CreateBrowser();
  bool ConnectEvents();
  void ReleaseBrowser();
  bool NavigateOnOwnThread(const wchar_t* url);
  void ResizeBrowser();
  bool IsOwnWindow(HWND window) const;

  HWND hwnd_ = nullptr;
  DWORD thread_id_ = 0;
  web::ComPtr<CUIAxHostWindow> site_;
  web::ComPtr<IOleObject> ole_;
  web::ComPtr<IWebBrowser2> browser_;
  web::ComPtr<IEEventSink> sink_;
  web::ComPtr<IConnectionPoint> connection_;
  DWORD cookie_ = 0;
  DWORD doc_host_flags_ = kDefaultDocHostFlags;
  base::MessageLoop* filter_loop_ = nullptr;
  BrowserOpener opener_;
};
