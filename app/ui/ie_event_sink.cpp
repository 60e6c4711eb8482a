#include "app/ui/ie_event_sink.h"

#include <exdisp.h>
#include <exdispid.h>

#include <new>

#include "upp/toolkit.h"

namespace {

// Argument `index` in the order the event declares them (the first one is
// the last in rgvarg), through one level of VT_BYREF | VT_VARIANT.
const VARIANT* Arg(const DISPPARAMS* params, UINT index) {
  if (!params || !params->rgvarg || index >= params->cArgs) return nullptr;
  const VARIANT* v = &params->rgvarg[params->cArgs - 1 - index];
  if (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  return v;
}

IDispatch* DispatchArg(const DISPPARAMS* params, UINT index) {
  const VARIANT* v = Arg(params, index);
  if (!v) return nullptr;
  if (V_VT(v) == VT_DISPATCH) return V_DISPATCH(v);
  if (V_VT(v) == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(v)) return *V_DISPATCHREF(v);
  return nullptr;
}

long LongArg(const DISPPARAMS* params, UINT index) {
  const VARIANT* v = Arg(params, index);
  if (!v) return 0;
  switch (V_VT(v)) {
    case VT_I4: return V_I4(v);
    case VT_UI4: return static_cast<long>(V_UI4(v));
    case VT_INT: return V_INT(v);
    case VT_BYREF | VT_I4: return V_I4REF(v) ? *V_I4REF(v) : 0;
    default: return 0;
  }
}

std::wstring TextArg(const DISPPARAMS* params, UINT index) {
  const VARIANT* v = Arg(params, index);
  if (!v) return std::wstring();
  BSTR b = nullptr;
  if (V_VT(v) == VT_BSTR) b = V_BSTR(v);
  if (V_VT(v) == (VT_BYREF | VT_BSTR) && V_BSTRREF(v)) b = *V_BSTRREF(v);
  return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

void SetCancel(const DISPPARAMS* params, UINT index, bool cancel) {
  const VARIANT* v = Arg(params, index);
  if (v && V_VT(v) == (VT_BYREF | VT_BOOL) && V_BOOLREF(v))
    *V_BOOLREF(v) = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

web::ComPtr<IEEventSink> IEEventSink::Create(IEBrowserEvents* handler) {
  UPP_CHECK_UI_THREAD();
  IEEventSink* sink = new (std::nothrow) IEEventSink(handler);
  if (!sink) return nullptr;
  return web::ComPtr<IEEventSink>(sink);
}

HRESULT IEEventSink::QueryInterface(REFIID iid, void** result) {
  if (!result) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
    *result = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *result = nullptr;
  return E_NOINTERFACE;
}

ULONG IEEventSink::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG IEEventSink::Release() {
  const LONG refs = --refs_;
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT IEEventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT IEEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT IEEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT IEEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                            EXCEPINFO*, UINT*) {
  // The handler may drop the last reference to us while we run.
  web::ComPtr<IEEventSink> keep(this);
  if (!handler_) return S_OK;
  try {
    Dispatch(id, params);
  } catch (...) {
    // Nothing may unwind into the browser.
  }
  return S_OK;
}

void IEEventSink::Dispatch(DISPID id, DISPPARAMS* params) {
  switch (id) {
    case DISPID_DOCUMENTCOMPLETE:  // (pDisp, URL)
      handler_->OnDocumentComplete(DispatchArg(params, 0));
      break;
    case DISPID_NAVIGATEERROR:  // (pDisp, URL, TargetFrameName, StatusCode, Cancel)
      handler_->OnNavigateError(DispatchArg(params, 0), LongArg(params, 3));
      break;
    case DISPID_NEWWINDOW2:  // (ppDisp, Cancel)
      SetCancel(params, 1, handler_->OnNewWindow2());
      break;
    case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
      SetCancel(params, 1, handler_->OnNewWindow3(TextArg(params, 4)));
      break;
    default:
      break;
  }
}
