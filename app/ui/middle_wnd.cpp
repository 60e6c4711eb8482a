#include "app/ui/middle_wnd.h"

#include "deployment_settings.h"
#include "upp/timer_queue.h"

namespace korvan {

MiddleWnd::MiddleWnd() {
  // Placed by the manager, over the main window; never centred.
  NoCenter();
  NoClose();
  SetStyle("middlewnd");
  AttachWebPanel(web_page_);
}

MiddleWnd::~MiddleWnd() { Upp::KillTimeCallback(this); }

std::wstring MiddleWnd::DownloadPageUrl() {
  return std::wstring(L"http://") + settings::kPortalHost + L"/list/down_img.html";
}

void MiddleWnd::AttachWebPanel(Upp::Ctrl& panel) {
  web_panel_ = &panel;
  panel.SetRect(0, 0, kWebPanelWidth, kWebPanelHeight);
  Add(panel);
}

void MiddleWnd::OnInit() {
  TopWindowImpl<MiddleWnd>::OnInit();
  // The browser needs this window's handle; until its page has loaded the
  // panel shows the spinner and retries every 2 s, never blocking. It comes
  // once the message loop runs: creating the control costs the start-up
  // tens of milliseconds before the windows could appear.
  Upp::SetTimeCallback(0, [this] {
    web_page_.CreateBrowser();
    web_page_.NoScroll();
    web_page_.Navigate(DownloadPageUrl());
  }, this);
}

bool MiddleWnd::ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  if (msg == WM_SIZE) {
    // The page area reaches past the window's lower edge; the spinner
    // belongs in the part that is seen.
    web_page_.SetShownArea(Upp::Rect(0, 0, LOWORD(lparam), HIWORD(lparam)));
  }
  return TopWindowImpl<MiddleWnd>::ProcessMessage(msg, wparam, lparam, result);
}

}  // namespace korvan
