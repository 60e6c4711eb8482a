// IEWnd: the browser host with the program's external object. At creation
// it installs a WebDispatch as the page's window.external, points the
// object's notify window at this host window (so "notify_page_refresh"
// reaches OnRefreshRequested), and offers the host window's handle to an
// external method "client_set_notifier" should the object ever have one.
//
// IMPORTANT: Thread-safety. As CIEWindowImpl: the user-interface thread,
// except Navigate.
// Ownership: holds one reference to its WebDispatch; the browser may hold
// more until it is released.
#pragma once

#include "app/ui/ie_window_impl.h"
#include "app/ui/web_dispatch.h"

class IEWnd : public CIEWindowImpl {
 public:
  IEWnd() = default;
  ~IEWnd() override;

  // The page's external object (null before Create).
  WebDispatch* GetExternal() const { return external_.Get(); }

 protected:
  void OnCreated() override;

 private:
  void OfferNotifier();

  web::ComPtr<WebDispatch> external_;
};
