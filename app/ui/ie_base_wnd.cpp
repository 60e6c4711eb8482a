#include "app/ui/ie_base_wnd.h"

#include "upp/timer_queue.h"

namespace korvan {

IEBaseWnd::~IEBaseWnd() {
  Upp::KillTimeCallback(this);
  Destroy();
}

void IEBaseWnd::OnNavigateError(IDispatch*, long status) {
  if (status == 200)
    NavigateSucceeded();
  else
    NavigateFailed();
}

void IEBaseWnd::OnTopDocumentComplete() {
  // Not inside the browser's event call: the handlers may navigate again.
  Upp::SetTimeCallback(0, Upp::Bind(this, &IEBaseWnd::RaiseDocumentCompleted), this);
}

// Showing the window is left to the signal's receiver (the panel), which
// keeps it parked while a retry is pending.
void IEBaseWnd::RaiseDocumentCompleted() { DocumentCompleted.emit(); }

void IEBaseWnd::OnRefreshRequested() { RefreshRequested.emit(); }

}  // namespace korvan
