#include "app/ui/ie_window_impl.h"

#include <exdispid.h>
#include <ocidl.h>

#include "base/file_util.h"
#include "log/log.h"
#include "upp/toolkit.h"

namespace {

HINSTANCE ModuleInstance() {
  HINSTANCE instance = base::AppModule::Get().instance();
  return instance ? instance : GetModuleHandleW(nullptr);
}

}  // namespace

CIEWindowImpl::CIEWindowImpl() : opener_(&base::OpenUrlInBrowser) {}

CIEWindowImpl::~CIEWindowImpl() { Destroy(); }

bool CIEWindowImpl::RegisterWindowClass() {
  WNDCLASSEXW existing = {sizeof(existing)};
  if (GetClassInfoExW(ModuleInstance(), CUIAxHostWindow::kWindowClass, &existing)) return true;
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = &CIEWindowImpl::WindowProc;
  wc.hInstance = ModuleInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = CUIAxHostWindow::kWindowClass;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CIEWindowImpl::Create(HWND parent, const RECT& rect) {
  UPP_CHECK_UI_THREAD();
  if (IsWindow()) return hwnd_;
  if (!RegisterWindowClass()) {
    KV_LOG_ERROR << "CIEWindowImpl::Create 注册窗口类失败 " << GetLastError();
    return nullptr;
  }
  thread_id_ = GetCurrentThreadId();
  HWND hwnd = CreateWindowExW(0, CUIAxHostWindow::kWindowClass, L"", kWindowStyle, rect.left,
                              rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                              nullptr, ModuleInstance(), this);
  if (!hwnd) {
    KV_LOG_ERROR << "CIEWindowImpl::Create 创建窗口失败 " << GetLastError();
    return nullptr;
  }
  site_ = CUIAxHostWindow::Create(hwnd, this);
  if (site_) {
    site_->SetDocHostFlags(doc_host_flags_);
    site_->SetAllowContextMenu(true);
  }
  if (!site_ || !CreateBrowser()) {
    Destroy();
    return nullptr;
  }
  if (base::MessageLoop* loop = base::AppModule::Get().GetMessageLoop()) {
    loop->AddMessageFilter(this);
    filter_loop_ = loop;
  }
  OnCreated();
  return hwnd_;
}

bool CIEWindowImpl::CreateBrowser() {
  HRESULT hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                ole_.ReceiveVoid());
  if (FAILED(hr)) {
    KV_LOG_ERROR << "CIEWindowImpl::CreateBrowser 创建浏览器控件失败 " << hr;
    return false;
  }
  hr = ole_->SetClientSite(static_cast<IOleClientSite*>(site_.Get()));
  if (FAILED(hr)) {
    KV_LOG_ERROR << "CIEWindowImpl::CreateBrowser SetClientSite 失败 " << hr;
    return false;
  }
  web::ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(ole_.As(IID_IPersistStreamInit, &persist))) persist->InitNew();

  RECT client;
  GetClientRect(hwnd_, &client);
  hr = ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                    static_cast<IOleClientSite*>(site_.Get()), 0, hwnd_, &client);
  if (FAILED(hr)) {
    KV_LOG_ERROR << "CIEWindowImpl::CreateBrowser 激活浏览器控件失败 " << hr;
    return false;
  }
  hr = ole_.As(IID_IWebBrowser2, &browser_);
  if (FAILED(hr)) {
    KV_LOG_ERROR << "CIEWindowImpl::CreateBrowser 没有 IWebBrowser2 " << hr;
    return false;
  }
  return ConnectEvents();
}

bool CIEWindowImpl::ConnectEvents() {
  sink_ = IEEventSink::Create(this);
  if (!sink_) return false;
  web::ComPtr<IConnectionPointContainer> container;
  HRESULT hr = browser_.As(IID_IConnectionPointContainer, &container);
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(DIID_DWebBrowserEvents2, connection_.Receive());
  if (SUCCEEDED(hr)) hr = connection_->Advise(static_cast<IDispatch*>(sink_.Get()), &cookie_);
  if (FAILED(hr)) {
    connection_.Reset();
    KV_LOG_ERROR << "CIEWindowImpl::ConnectEvents 连接浏览器事件失败 " << hr;
    return false;
  }
  return true;
}

void CIEWindowImpl::ReleaseBrowser() {
  if (filter_loop_) {
    filter_loop_->RemoveMessageFilter(this);
    filter_loop_ = nullptr;
  }
  if (connection_) {
    connection_->Unadvise(cookie_);
    connection_.Reset();
    cookie_ = 0;
  }
  if (ole_) {
    web::ComPtr<IOleInPlaceObject> in_place;
    if (SUCCEEDED(ole_.As(IID_IOleInPlaceObject, &in_place))) in_place->InPlaceDeactivate();
    ole_->Close(OLECLOSE_NOSAVE);
    ole_->SetClientSite(nullptr);
  }
  browser_.Reset();
  ole_.Reset();
  // The browser may still hold references to the sink or the site; cut
  // their way back to us before we go.
  if (sink_) sink_->Detach();
  sink_.Reset();
  if (site_) site_->Detach();
  site_.Reset();
}

void CIEWindowImpl::Destroy() {
  UPP_CHECK_UI_THREAD();
  if (IsWindow())
    DestroyWindow(hwnd_);  // WM_DESTROY releases the browser
  ReleaseBrowser();
  hwnd_ = nullptr;
}

bool CIEWindowImpl::Navigate(const std::wstring& url) {
  if (!IsWindow()) return false;
  if (GetCurrentThreadId() != thread_id_)
    return SendMessageW(hwnd_, kNavigateMessage, 0, reinterpret_cast<LPARAM>(url.c_str())) != 0;
  return NavigateOnOwnThread(url.c_str());
}

bool CIEWindowImpl::NavigateOnOwnThread(const wchar_t* url) {
  if (!browser_ || !url) return false;
  VARIANT target;
  VariantInit(&target);
  V_VT(&target) = VT_BSTR;
  V_BSTR(&target) = SysAllocString(url);
  if (!V_BSTR(&target)) return false;
  VARIANT empty;
  VariantInit(&empty);
  const HRESULT hr = browser_->Navigate2(&target, &empty, &empty, &empty, &empty);
  VariantClear(&target);
  if (hr != S_OK) KV_LOG_ERROR << L"CIEWindowImpl::Navigate 打开网页失败 " << url << L" " << hr;
  return hr == S_OK;
}

DWORD CIEWindowImpl::GetDocHostFlags() const { return doc_host_flags_; }

void CIEWindowImpl::SetDocHostFlags(DWORD flags) {
  doc_host_flags_ = flags;
  if (site_) site_->SetDocHostFlags(flags);
}

bool CIEWindowImpl::IsOwnWindow(HWND window) const {
  return hwnd_ && window && (window == hwnd_ || IsChild(hwnd_, window));
}

bool CIEWindowImpl::PreTranslateMessage(MSG* msg) {
  if (!msg || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
  if (!IsOwnWindow(msg->hwnd)) return false;
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_F5) return true;
  web::ComPtr<IOleInPlaceActiveObject> active;
  if (!browser_ || FAILED(browser_.As(IID_IOleInPlaceActiveObject, &active))) return false;
  return active->TranslateAccelerator(msg) == S_OK;
}

int CIEWindowImpl::OnShowMessage(HWND owner, const wchar_t* text, UINT type) {
  return MessageBoxW(owner, text, kMessageCaption, type);
}

// Frames report their own documents and errors; only the browser itself is
// the top. COM identity is compared through IUnknown.
bool CIEWindowImpl::IsTopSource(IDispatch* source) const {
  if (!browser_ || !source) return false;
  web::ComPtr<IUnknown> source_identity;
  web::ComPtr<IUnknown> browser_identity;
  if (FAILED(source->QueryInterface(IID_IUnknown, source_identity.ReceiveVoid())) ||
      FAILED(browser_.As(IID_IUnknown, &browser_identity)))
    return false;
  return source_identity.Get() == browser_identity.Get();
}

void CIEWindowImpl::OnDocumentComplete(IDispatch* source) {
  if (IsTopSource(source)) OnTopDocumentComplete();
}

bool CIEWindowImpl::OnNewWindow3(const std::wstring& url) {
  if (!url.empty() && opener_) opener_(url);
  return true;
}

void CIEWindowImpl::ResizeBrowser() {
  if (!ole_ || !hwnd_) return;
  web::ComPtr<IOleInPlaceObject> in_place;
  if (FAILED(ole_.As(IID_IOleInPlaceObject, &in_place))) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  in_place->SetObjectRects(&client, &client);
}

LRESULT CALLBACK CIEWindowImpl::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  CIEWindowImpl* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<CIEWindowImpl*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CIEWindowImpl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  try {
    return self->HandleMessage(msg, wparam, lparam);
  } catch (...) {
    // Nothing may unwind through the system's dispatch.
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

LRESULT CIEWindowImpl::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case kNavigateMessage:
      return NavigateOnOwnThread(reinterpret_cast<const wchar_t*>(lparam)) ? 1 : 0;
    case kRefreshMessage:
      OnRefreshRequested();
      return 0;
    case WM_SIZE:
      ResizeBrowser();
      break;
    case WM_ERASEBKGND:
      // The browser covers the client area; erasing under it flickers.
      if (browser_) return 1;
      break;
    case WM_DESTROY:
      // The parent may take us down before our owner does.
      ReleaseBrowser();
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wparam, lparam);
}
