#include "ie_test_util.h"

#include "common/fault_server.h"

namespace ietest {

ParentWindow::ParentWindow(int x, int y, int cx, int cy) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &ParentWindow::Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"kv_ie_parent";
  RegisterClassW(&wc);
  RECT r = {x, y, x + cx, y + cy};
  AdjustWindowRect(&r, WS_POPUP, FALSE);
  hwnd_ = CreateWindowW(L"kv_ie_parent", L"ie test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                        r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                        GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ParentWindow::~ParentWindow() { Destroy(); }

void ParentWindow::Host(Upp::Ctrl* root) { host_.Attach(hwnd_, root); }

void ParentWindow::Destroy() {
  host_.Detach();
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
}

LRESULT CALLBACK ParentWindow::Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<ParentWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  LRESULT result = 0;
  if (self && self->host_.GetRoot() && self->host_.HandleMessage(m, w, l, &result)) return result;
  return DefWindowProcW(h, m, w, l);
}

RECT RectInParent(HWND child) {
  RECT r = {};
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountTop(HWND hwnd, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(hwnd, &CountChild, count);
  return TRUE;
}

HRESULT Fire(IDispatch* sink, DISPID id, std::vector<VARIANT>& last_first) {
  DISPPARAMS params = {last_first.data(), nullptr, static_cast<UINT>(last_first.size()), 0};
  return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                      nullptr, nullptr);
}

VARIANT Empty() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

}  // namespace

int CountThreadWindows() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CountTop, reinterpret_cast<LPARAM>(&count));
  return count;
}

HRESULT FireDocumentComplete(IDispatch* sink, IDispatch* source) {
  VARIANT url = Empty();
  V_VT(&url) = VT_BSTR;
  V_BSTR(&url) = SysAllocString(L"http://127.0.0.1/list/down_img.html");
  VARIANT url_ref = Empty();
  V_VT(&url_ref) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&url_ref) = &url;
  VARIANT disp = Empty();
  V_VT(&disp) = VT_DISPATCH;
  V_DISPATCH(&disp) = source;
  std::vector<VARIANT> args = {url_ref, disp};
  const HRESULT hr = Fire(sink, DISPID_DOCUMENTCOMPLETE, args);
  VariantClear(&url);
  return hr;
}

HRESULT FireNavigateError(IDispatch* sink, IDispatch* source, LONG status) {
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT v_cancel = Empty();
  V_VT(&v_cancel) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&v_cancel) = &cancel;
  VARIANT code = Empty();
  V_VT(&code) = VT_I4;
  V_I4(&code) = status;
  VARIANT v_code = Empty();
  V_VT(&v_code) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v_code) = &code;
  VARIANT frame = Empty();
  VARIANT v_frame = Empty();
  V_VT(&v_frame) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v_frame) = &frame;
  VARIANT url = Empty();
  V_VT(&url) = VT_BSTR;
  V_BSTR(&url) = SysAllocString(L"http://127.0.0.1/list/down_img.html");
  VARIANT v_url = Empty();
  V_VT(&v_url) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v_url) = &url;
  VARIANT disp = Empty();
  V_VT(&disp) = VT_DISPATCH;
  V_DISPATCH(&disp) = source;
  std::vector<VARIANT> args = {v_cancel, v_code, v_frame, v_url, disp};
  const HRESULT hr = Fire(sink, DISPID_NAVIGATEERROR, args);
  VariantClear(&url);
  return hr;
}

HRESULT FireNewWindow2(IDispatch* sink, VARIANT_BOOL* cancel) {
  *cancel = VARIANT_FALSE;
  IDispatch* created = nullptr;
  VARIANT v_cancel = Empty();
  V_VT(&v_cancel) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&v_cancel) = cancel;
  VARIANT v_disp = Empty();
  V_VT(&v_disp) = VT_BYREF | VT_DISPATCH;
  V_DISPATCHREF(&v_disp) = &created;
  std::vector<VARIANT> args = {v_cancel, v_disp};
  return Fire(sink, DISPID_NEWWINDOW2, args);
}

HRESULT FireNewWindow3(IDispatch* sink, const std::wstring& url, VARIANT_BOOL* cancel) {
  *cancel = VARIANT_FALSE;
  IDispatch* created = nullptr;
  VARIANT v_url = Empty();
  V_VT(&v_url) = VT_BSTR;
  V_BSTR(&v_url) = SysAllocString(url.c_str());
  VARIANT v_context = Empty();
  V_VT(&v_context) = VT_BSTR;
  V_BSTR(&v_context) = SysAllocString(L"http://127.0.0.1/list/down_img.html");
  VARIANT v_flags = Empty();
  V_VT(&v_flags) = VT_I4;
  V_I4(&v_flags) = 0x6;  // NWMF_USERINITED | NWMF_FIRST
  VARIANT v_cancel = Empty();
  V_VT(&v_cancel) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&v_cancel) = cancel;
  VARIANT v_disp = Empty();
  V_VT(&v_disp) = VT_BYREF | VT_DISPATCH;
  V_DISPATCHREF(&v_disp) = &created;
  std::vector<VARIANT> args = {v_url, v_context, v_flags, v_cancel, v_disp};
  const HRESULT hr = Fire(sink, DISPID_NEWWINDOW3, args);
  VariantClear(&v_url);
  VariantClear(&v_context);
  return hr;
}

int ClosedPort() {
  // A port the system just handed out, whose listener is gone again.
  int port = 0;
  {
    testutil::FaultServer server(testutil::FaultServer::Answer::kOk, "");
    if (server.Start()) port = server.port();
  }
  return port;
}

}  // namespace ietest
