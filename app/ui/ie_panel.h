// korvan::IEPanel: the web page panel of the middle window. A control that
// reserves the page's area; over it lies the browser host window (a native
// child of the panel's top-level window). Behind the browser the panel
// shows the loading spinner; while the page has not loaded, or after it
// failed, the browser is hidden and parked off screen at (10000, 10000).
//
// Use (user-interface thread, after the top-level window exists):
//
//   korvan::IEPanel panel_;                    // member of the window
//   window.Add(panel_); panel_.SetRect(0, 0, 583, 448);
//   panel_.CreateBrowser();                    // once the window has a handle
//   panel_.NoScroll();
//   panel_.Navigate(korvan::IEPanel::DownloadPageUrl());
//
// Behaviour:
//   - the first top-level DocumentComplete (or a NavigateError carrying
//     status 200) shows the browser at the panel's rectangle;
//   - any other NavigateError hides it and, 2000 ms later, navigates to the
//     current URL again; this repeats for as long as loading fails, without
//     limit and without a message (a late DocumentComplete does not show
//     the browser while a retry is pending);
//   - a page calling window.external.notify_page_refresh() is reloaded from
//     the current URL;
//   - new windows never open in the program: targets of new windows open in
//     the user's default browser.
//
// IMPORTANT: Thread-safety. User-interface thread only (the browser is a
// single-threaded COM object living there). Another thread that must
// navigate calls GetBrowserWindow()->Navigate(url), which hands the call to
// the UI thread and waits for it.
// Ownership: the panel owns its browser host (created by CreateBrowser,
// destroyed with the panel) and its loading and error panels. Destroy the
// panel before, or together with, its top-level window: the host is a
// child of that window and is destroyed with it.
#pragma once

#include <memory>
#include <string>

#include "app/ui/ie_base_wnd.h"
#include "app/ui/ie_error.h"
#include "app/ui/ie_loading.h"
#include "ctrls/delay_call.h"
#include "ctrls/panel.h"
#include "upp/signal.h"

namespace korvan {

class IEPanel : public ctrls::Panel<Upp::Ctrl>, public sigslot::has_slots<> {
 public:
  static constexpr int kRetryDelayMs = 2000;
  static constexpr int kParkedX = 10000;
  static constexpr int kParkedY = 10000;
  static constexpr const wchar_t kDownloadPagePath[] = L"/list/down_img.html";

  IEPanel();
  ~IEPanel() override;

  // "http://" + the portal host + "/list/down_img.html".
  static std::wstring DownloadPageUrl();

  // Makes a new browser host (replacing any earlier one) as a hidden child
  // of the panel's top-level window at the panel's rectangle, connects its
  // events and shows the panel. False when the panel is in no window or the
  // browser could not be created (the loading picture then stays).
  bool CreateBrowser();

  // Remembers `url` and navigates there. Returns -1 without a browser host,
  // 0 when the host window is gone or the browser refused the URL, 1 when
  // navigation started.
  int Navigate(const std::wstring& url);

  // Switches the page's 3-D border and scroll bars off.
  void NoScroll();

  // Shows the browser at the panel's rectangle, or hides and parks it.
  void ShowBrowser(bool show);

  // Keeps the browser on the panel's rectangle (and the parked one sized).
  // The toolkit calls it when the panel is resized; after a move without a
  // resize, call ShowBrowser(IsBrowserShown()).
  void Layout() override;

  // The part of the panel its window shows (panel coordinates; empty: all
  // of it). The page area is larger than the middle window, so the loading
  // picture is centred in what is seen, not in what is reserved.
  void SetShownArea(const Upp::Rect& area);

  IEBaseWnd* GetBrowserWindow() const { return browser_.get(); }
  const std::wstring& GetUrl() const { return url_; }
  bool IsRetryPending() const { return retry_pending_; }
  bool IsBrowserShown() const { return browser_shown_; }
  IELoading& GetLoading() { return loading_; }
  IEError& GetError() { return error_; }

  // The retry timer's handler (tests may run it instead of waiting).
  void OnRetryTimer(int);

 private:
  void OnDocumentCompleted();
  void OnRefreshRequested();
  void OnNavigateFailed();
  void OnNavigateSucceeded();
  // The panel's rectangle in its top-level window's client coordinates.
  RECT BrowserRect() const;

  IEError error_;
  IELoading loading_;
  std::wstring url_;
  bool retry_pending_ = false;
  bool browser_shown_ = false;
  Upp::Rect shown_area_;
  ctrls::DelayCall retry_;
  // Last: it goes first, before the panels its window lies over.
  std::unique_ptr<IEBaseWnd> browser_;
};

}  // namespace korvan
