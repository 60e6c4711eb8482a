// korvan::IEBaseWnd: the browser host as the web page panel sees it, with
// its events turned into the toolkit's signals and callbacks.
//
//   DocumentCompleted   the top-level document finished loading; raised on
//                       the next pass of the message loop (never inside
//                       the browser's own call); the receiver decides
//                       whether the window shows;
//   RefreshRequested    the page called external.notify_page_refresh();
//   NavigateFailed      NavigateError of the top document with an HTTP
//                       status other than 200 (or a transfer failure code);
//   NavigateSucceeded   the same carrying status 200.
// A frame's NavigateError is ignored: the page around it still shows.
//
// IMPORTANT: Thread-safety. User-interface thread only, except Navigate
// (see CIEWindowImpl). Signals and callbacks run on that thread.
// Ownership: owned by its panel; a pending deferred DocumentCompleted dies
// with the object.
#pragma once

#include "app/ui/ie_wnd.h"
#include "upp/callback.h"
#include "upp/ptr.h"
#include "upp/signal.h"

namespace korvan {

class IEBaseWnd : public IEWnd, public Upp::Pte<IEBaseWnd> {
 public:
  IEBaseWnd() = default;
  ~IEBaseWnd() override;

  sigslot::signal0<> DocumentCompleted;
  sigslot::signal0<> RefreshRequested;
  Upp::Callback NavigateFailed;
  Upp::Callback NavigateSucceeded;

  // IEBrowserEvents
  void OnNavigateError(IDispatch* source, long status) override;

 protected:
  void OnTopDocumentComplete() override;
  void OnRefreshRequested() override;

 private:
  void RaiseDocumentCompleted();
};

}  // namespace korvan
