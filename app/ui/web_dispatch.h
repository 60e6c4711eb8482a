// The page's external object (window.external in page script): a plain
// IDispatch with one method.
//
//   "notify_page_refresh" (dispatch identifier 5), any arguments: writes
//   "WebDispatch 网页刷新。" at MESSAGE level and posts WM_USER + 111 to the
//   notify window (the browser host), which reloads the current page.
//
// Other names are refused with DISP_E_UNKNOWNNAME (identifier -1, so page
// script gets an error); other identifiers with E_NOTIMPL. Arguments reach a
// method as strings in the order the script wrote them: strings as they
// are, 16/32-bit signed and 32-bit unsigned integers and doubles (truncated)
// as decimal numbers, anything else as an empty string. A method's
// non-empty text result goes back to the script as a string.
//
// The object may be aggregated (Create with an outer unknown); it has no
// class identifier and is never registered.
//
// IMPORTANT: Thread-safety. Single-threaded: the user-interface thread that
// owns the browser creates, calls and releases it.
// Ownership: reference counted; Create hands out the first reference. The
// notify window is not owned; a handle that is no window is ignored.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/ui/web_com_object.h"
#include "app/ui/web_com_ptr.h"

class WebDispatch final : public IDispatch, private web::LiveComObject {
 public:
  static constexpr DISPID kNotifyPageRefreshId = 5;
  static constexpr UINT kRefreshMessage = WM_USER + 111;

  // A stand-alone object.
  static web::ComPtr<WebDispatch> Create();
  // COM-style creation: with `outer` the object is aggregated and only
  // IID_IUnknown may be asked for (its inner, non-delegating unknown).
  static HRESULT Create(IUnknown* outer, REFIID iid, void** result);

  void SetNotifyWindow(HWND window) { notify_window_ = window; }
  HWND GetNotifyWindow() const { return notify_window_; }

  // IUnknown: delegates to the outer object when aggregated.
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;

  // The script's arguments as the methods see them, first argument first.
  static std::vector<std::wstring> Arguments(const DISPPARAMS* params);
  static std::wstring ArgumentText(const VARIANT& value);

 private:
  using Method = std::wstring (WebDispatch::*)(const std::vector<std::wstring>& args);
  struct Entry {
    const wchar_t* name;
    DISPID id;
    Method method;
  };
  static const Entry kMethods[];

  // The non-delegating unknown that owns the reference count.
  class Inner : public IUnknown {
   public:
    explicit Inner(WebDispatch* self) : self_(self) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    WebDispatch* self_;
  };

  explicit WebDispatch(IUnknown* outer);
  ~WebDispatch();
  WebDispatch(const WebDispatch&) = delete;
  WebDispatch& operator=(const WebDispatch&) = delete;

  std::wstring NotifyPageRefresh(const std::vector<std::wstring>& args);

  Inner inner_;
  IUnknown* outer_;  // the aggregating object, or &inner_
  LONG refs_ = 0;
  HWND notify_window_ = nullptr;
};
