#include "app/ui/ie_panel.h"

#include <algorithm>

#include "deployment_settings.h"
#include "upp/toolkit.h"

namespace korvan {

IEPanel::IEPanel() {
  error_.Hide();
  Add(error_);
  Add(loading_);  // above the error picture
  retry_.Set(this, &IEPanel::OnRetryTimer);
  loading_.Play();
}

IEPanel::~IEPanel() {
  retry_.Cancel();
  browser_.reset();
}

std::wstring IEPanel::DownloadPageUrl() {
  return std::wstring(L"http://") + settings::kPortalHost + kDownloadPagePath;
}

RECT IEPanel::BrowserRect() const {
  const Upp::Rect r = GetRootRect();
  return RECT{r.left, r.top, r.right, r.bottom};
}

bool IEPanel::CreateBrowser() {
  UPP_CHECK_UI_THREAD();
  retry_.Cancel();
  retry_pending_ = false;
  browser_shown_ = false;
  browser_.reset();
  browser_ = std::make_unique<IEBaseWnd>();
  HWND top = GetHWND();
  if (!top) return false;
  if (!browser_->Create(top, BrowserRect())) return false;
  ShowBrowser(false);
  browser_->DocumentCompleted.connect(this, &IEPanel::OnDocumentCompleted);
  browser_->RefreshRequested.connect(this, &IEPanel::OnRefreshRequested);
  browser_->NavigateFailed = Upp::Bind(this, &IEPanel::OnNavigateFailed);
  browser_->NavigateSucceeded = Upp::Bind(this, &IEPanel::OnNavigateSucceeded);
  Show();
  return true;
}

int IEPanel::Navigate(const std::wstring& url) {
  UPP_CHECK_UI_THREAD();
  url_ = url;
  if (!browser_) return -1;
  if (!browser_->IsWindow()) return 0;
  return browser_->Navigate(url) ? 1 : 0;
}

void IEPanel::NoScroll() {
  if (browser_) browser_->SetDocHostFlags(browser_->GetDocHostFlags() | CIEWindowImpl::kNoScrollFlags);
}

void IEPanel::ShowBrowser(bool show) {
  UPP_CHECK_UI_THREAD();
  if (!browser_ || !browser_->IsWindow()) return;
  HWND hwnd = browser_->GetHWND();
  const RECT r = BrowserRect();
  const int cx = r.right - r.left;
  const int cy = r.bottom - r.top;
  browser_shown_ = show;
  if (show) {
    SetWindowPos(hwnd, nullptr, r.left, r.top, cx, cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    loading_.Stop();  // hidden behind the page: no frames to draw
  } else {
    ShowWindow(hwnd, SW_HIDE);
    SetWindowPos(hwnd, nullptr, kParkedX, kParkedY, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
    if (!loading_.IsPlaying()) loading_.Play();
  }
}

void IEPanel::SetShownArea(const Upp::Rect& area) {
  shown_area_ = area;
  Layout();
}

void IEPanel::Layout() {
  const Upp::Rect view = GetView();
  Upp::Rect shown(std::max(view.left, shown_area_.left), std::max(view.top, shown_area_.top),
                  std::min(view.right, shown_area_.right), std::min(view.bottom, shown_area_.bottom));
  loading_.SetRect(shown.IsEmpty() ? view : shown);
  error_.SetRect(view);
  if (browser_ && browser_->IsWindow()) ShowBrowser(browser_shown_);
}

void IEPanel::OnRetryTimer(int) {
  retry_pending_ = false;
  Navigate(url_);
}

void IEPanel::OnDocumentCompleted() {
  if (!retry_pending_) ShowBrowser(true);
}

void IEPanel::OnRefreshRequested() { Navigate(url_); }

void IEPanel::OnNavigateFailed() {
  retry_pending_ = true;
  ShowBrowser(false);
  retry_.Post(kRetryDelayMs, 0);
}

void IEPanel::OnNavigateSucceeded() { ShowBrowser(true); }

}  // namespace korvan
