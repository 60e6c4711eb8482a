#include "app/ui/web_dispatch.h"

#include <cwchar>
#include <new>

#include "log/log.h"
#include "upp/toolkit.h"

const WebDispatch::Entry WebDispatch::kMethods[] = {
    {L"notify_page_refresh", kNotifyPageRefreshId, &WebDispatch::NotifyPageRefresh},
};

WebDispatch::WebDispatch(IUnknown* outer) : inner_(this), outer_(outer ? outer : &inner_) {}

WebDispatch::~WebDispatch() = default;

web::ComPtr<WebDispatch> WebDispatch::Create() {
  UPP_CHECK_UI_THREAD();
  WebDispatch* object = new (std::nothrow) WebDispatch(nullptr);
  if (!object) return nullptr;
  return web::ComPtr<WebDispatch>(object);
}

HRESULT WebDispatch::Create(IUnknown* outer, REFIID iid, void** result) {
  UPP_CHECK_UI_THREAD();
  if (!result) return E_POINTER;
  *result = nullptr;
  // An aggregated object may only hand its inner unknown to the outer one.
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  WebDispatch* object = new (std::nothrow) WebDispatch(outer);
  if (!object) return E_OUTOFMEMORY;
  // The query's reference is the first one; a failed query frees the object.
  object->inner_.AddRef();
  const HRESULT hr = object->inner_.QueryInterface(iid, result);
  object->inner_.Release();
  return hr;
}

// --- the non-delegating unknown ---

HRESULT WebDispatch::Inner::QueryInterface(REFIID iid, void** result) {
  if (!result) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *result = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(iid, IID_IDispatch)) {
    *result = static_cast<IDispatch*>(self_);
  } else {
    *result = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*result)->AddRef();
  return S_OK;
}

ULONG WebDispatch::Inner::AddRef() { return static_cast<ULONG>(++self_->refs_); }

ULONG WebDispatch::Inner::Release() {
  const LONG refs = --self_->refs_;
  if (refs == 0) delete self_;
  return static_cast<ULONG>(refs);
}

// --- IUnknown of the IDispatch face ---

HRESULT WebDispatch::QueryInterface(REFIID iid, void** result) {
  return outer_->QueryInterface(iid, result);
}
ULONG WebDispatch::AddRef() { return outer_->AddRef(); }
ULONG WebDispatch::Release() { return outer_->Release(); }

// --- IDispatch ---

HRESULT WebDispatch::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT WebDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT WebDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (const Entry& e : kMethods) {
    if (names[0] && _wcsicmp(names[0], e.name) == 0) {
      ids[0] = e.id;
      // Named arguments are not supported: their names stay unknown.
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

std::wstring WebDispatch::ArgumentText(const VARIANT& value) {
  if (V_VT(&value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&value))
    return ArgumentText(*V_VARIANTREF(&value));
  switch (V_VT(&value)) {
    case VT_BSTR:
      return V_BSTR(&value) ? std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value)))
                            : std::wstring();
    case VT_I2:
      return std::to_wstring(V_I2(&value));
    case VT_I4:
      return std::to_wstring(V_I4(&value));
    case VT_UI4:
      return std::to_wstring(V_UI4(&value));
    case VT_R8:
      return std::to_wstring(static_cast<long long>(V_R8(&value)));
    default:
      return std::wstring();
  }
}

std::vector<std::wstring> WebDispatch::Arguments(const DISPPARAMS* params) {
  std::vector<std::wstring> args;
  if (!params || !params->rgvarg) return args;
  // The caller lists the arguments last to first.
  for (UINT i = params->cArgs; i > 0; --i) args.push_back(ArgumentText(params->rgvarg[i - 1]));
  return args;
}

HRESULT WebDispatch::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO*, UINT*) {
  const Entry* entry = nullptr;
  for (const Entry& e : kMethods) {
    if (e.id == id) entry = &e;
  }
  if (!entry) return E_NOTIMPL;

  std::wstring text;
  try {
    text = (this->*entry->method)(Arguments(params));
  } catch (...) {
    return E_FAIL;  // nothing may unwind into the script engine
  }
  if (result) {
    VariantInit(result);
    if (!text.empty()) {
      BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!b) return E_OUTOFMEMORY;
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = b;
    }
  }
  return S_OK;
}

std::wstring WebDispatch::NotifyPageRefresh(const std::vector<std::wstring>&) {
  KV_LOG_MESSAGE << "WebDispatch 网页刷新。";
  if (notify_window_ && IsWindow(notify_window_))
    PostMessageW(notify_window_, kRefreshMessage, 0, 0);
  return std::wstring();
}
