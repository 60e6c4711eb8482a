// The middle window: a plain (not layered) window owned by the main window
// and glued over it at (57, 112), 580 x 206 (MainWndManager keeps it
// there), because the embedded browser cannot be drawn inside a layered
// window. It hosts the web page panel showing the game portal's download
// page. The system's close request is ignored: it goes and comes with the
// main window.
//
// Ownership: lives in the UI-object registry; owns the web page panel.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <string>

#include "app/ui/ie_panel.h"
#include "app/ui/object_window_impl.h"
#include "upp/ctrl.h"

namespace korvan {

class MiddleWnd : public TopWindowImpl<MiddleWnd> {
 public:
  // Where the web page panel sits in the window.
  static constexpr int kWebPanelWidth = 583, kWebPanelHeight = 448;

  MiddleWnd();
  ~MiddleWnd() override;

  // The page the web panel opens: "/list/down_img.html" on the portal host.
  static std::wstring DownloadPageUrl();

  // Prepares the web page panel and opens the download page.
  void OnInit() override;
  bool ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

  // The web page panel sits at (0, 0), kWebPanelWidth x kWebPanelHeight.
  void AttachWebPanel(Upp::Ctrl& panel);
  Upp::Ctrl* web_panel() const { return web_panel_; }
  IEPanel& web_page() { return web_page_; }

 private:
  Upp::Ctrl* web_panel_ = nullptr;
  IEPanel web_page_;
};

}  // namespace korvan
