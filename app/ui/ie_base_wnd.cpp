#include "app/ui/ie_base_wnd.h"

#include "upp/timer_queue.h"

namespace korvan {

IEBaseWnd::~IEBaseWnd() {
  Upp::KillTimeCallback(this);
  Destroy();
}

// A broken ad or counter frame must not hide a page that loaded: only the
// top document's error parks the browser.
void IEBaseWnd::OnNavigateError(IDispatch* source, long status) {
  if (!IsTopSource(source)) return;
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
