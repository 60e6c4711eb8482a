#include "app/ui/ie_host_site.h"

#include <mshtmdid.h>

#include <new>

#include "upp/toolkit.h"

namespace {

// MinGW's uuid library lacks this one.
constexpr IID kIIDDocHostShowUI = {
    0xc4d244b0, 0xd43e, 0x11cf, {0x89, 0x3b, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x1a}};

}  // namespace

CUIAxHostWindow::CUIAxHostWindow(HWND window, IUIAxHostWindowCallBack* callback)
    : window_(window), callback_(callback) {}

CUIAxHostWindow::~CUIAxHostWindow() = default;

web::ComPtr<CUIAxHostWindow> CUIAxHostWindow::Create(HWND window,
                                                     IUIAxHostWindowCallBack* callback) {
  UPP_CHECK_UI_THREAD();
  CUIAxHostWindow* site = new (std::nothrow) CUIAxHostWindow(window, callback);
  if (!site) return nullptr;
  return web::ComPtr<CUIAxHostWindow>(site);
}

void CUIAxHostWindow::Detach() {
  window_ = nullptr;
  callback_ = nullptr;
  external_.Reset();
}

// --- IUnknown ---

HRESULT CUIAxHostWindow::QueryInterface(REFIID iid, void** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
    *result = static_cast<IOleClientSite*>(this);
  else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite) ||
           IsEqualIID(iid, IID_IOleInPlaceSiteEx))
    *result = static_cast<IOleInPlaceSiteEx*>(this);
  else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame))
    *result = static_cast<IOleInPlaceFrame*>(this);
  else if (IsEqualIID(iid, IID_IDocHostUIHandler))
    *result = static_cast<IDocHostUIHandler*>(this);
  else if (IsEqualIID(iid, kIIDDocHostShowUI))
    *result = static_cast<IDocHostShowUI*>(this);
  else if (IsEqualIID(iid, IID_IDispatch))
    *result = static_cast<IDispatch*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG CUIAxHostWindow::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG CUIAxHostWindow::Release() {
  const LONG refs = --refs_;
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

// --- IOleClientSite ---

HRESULT CUIAxHostWindow::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT CUIAxHostWindow::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

// --- IOleWindow, IOleInPlaceSite(Ex) ---

HRESULT CUIAxHostWindow::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_;
  return window_ ? S_OK : E_FAIL;
}

HRESULT CUIAxHostWindow::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                          LPRECT position, LPRECT clip,
                                          LPOLEINPLACEFRAMEINFO frame_info) {
  if (!frame || !doc || !position || !clip || !frame_info) return E_POINTER;
  *doc = nullptr;
  *frame = nullptr;
  if (!window_) return E_FAIL;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  GetClientRect(window_, position);
  *clip = *position;
  frame_info->fMDIApp = FALSE;
  frame_info->hwndFrame = GetAncestor(window_, GA_ROOT);
  frame_info->haccel = nullptr;
  frame_info->cAccelEntries = 0;
  return S_OK;
}

HRESULT CUIAxHostWindow::OnInPlaceActivateEx(WINBOOL* no_redraw, DWORD) {
  if (no_redraw) *no_redraw = FALSE;
  return S_OK;
}

// --- IDocHostUIHandler ---

HRESULT CUIAxHostWindow::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
  // S_FALSE lets the browser show its own menu; S_OK means "handled".
  return allow_context_menu_ ? S_FALSE : S_OK;
}

HRESULT CUIAxHostWindow::GetHostInfo(DOCHOSTUIINFO* info) {
  if (!info) return E_POINTER;
  if (info->cbSize < sizeof(DOCHOSTUIINFO)) return E_INVALIDARG;
  info->dwFlags = doc_host_flags_;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  info->pchHostCss = nullptr;
  info->pchHostNS = nullptr;
  return S_OK;
}

HRESULT CUIAxHostWindow::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key) *key = nullptr;
  return S_FALSE;
}

HRESULT CUIAxHostWindow::GetDropTarget(IDropTarget*, IDropTarget** target) {
  if (target) *target = nullptr;
  return E_NOTIMPL;
}

HRESULT CUIAxHostWindow::GetExternal(IDispatch** external) {
  if (!external) return E_POINTER;
  *external = external_.Get();
  if (!*external) return S_FALSE;
  (*external)->AddRef();
  return S_OK;
}

HRESULT CUIAxHostWindow::TranslateUrl(DWORD, LPWSTR, LPWSTR* url_out) {
  if (url_out) *url_out = nullptr;
  return S_FALSE;
}

HRESULT CUIAxHostWindow::FilterDataObject(IDataObject*, IDataObject** result) {
  if (result) *result = nullptr;
  return S_FALSE;
}

// --- IDocHostShowUI ---

HRESULT CUIAxHostWindow::ShowMessage(HWND, LPOLESTR text, LPOLESTR, DWORD type, LPOLESTR, DWORD,
                                     LRESULT* result) {
  // S_FALSE: the browser shows its own box.
  if (!callback_ || !window_) return S_FALSE;
  const int chosen = callback_->OnShowMessage(window_, text ? text : L"", type);
  if (result) *result = chosen;
  return S_OK;
}

// --- IDispatch: ambient properties ---

HRESULT CUIAxHostWindow::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT CUIAxHostWindow::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CUIAxHostWindow::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT CUIAxHostWindow::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                                EXCEPINFO*, UINT*) {
  if (id != DISPID_AMBIENT_DLCONTROL) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (!result) return E_POINTER;
  VariantInit(result);
  V_VT(result) = VT_I4;
  V_I4(result) = static_cast<LONG>(kDownloadControl);
  return S_OK;
}
