// The receiver of the WebBrowser control's DWebBrowserEvents2 events: a
// small IDispatch, connected to the browser's connection point, that
// decodes the four events the host cares about and passes them on.
//
//   DocumentComplete (259)  -> OnDocumentComplete(source)
//   NavigateError (271)     -> OnNavigateError(source, status)
//   NewWindow2 (251)        -> OnNewWindow2(); cancelled when it answers true
//   NewWindow3 (273)        -> OnNewWindow3(url); cancelled when it answers true
//
// Other events are accepted and ignored. Arguments are read the way the
// browser passes them (last argument first, by value or by reference).
//
// IMPORTANT: Thread-safety. User-interface thread only (single-threaded
// apartment).
// Ownership: reference counted (Create hands out the first reference). The
// handler is not owned; Detach() forgets it before it dies.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>

#include "app/ui/web_com_object.h"
#include "app/ui/web_com_ptr.h"

class IEBrowserEvents {
 public:
  // `source` is the window object whose document finished (the browser
  // itself for the top-level document, a frame's otherwise).
  virtual void OnDocumentComplete(IDispatch* source) = 0;
  // `status` is the HTTP status, or the failure code of the transfer.
  virtual void OnNavigateError(IDispatch* source, long status) = 0;
  // True cancels the new window.
  virtual bool OnNewWindow2() = 0;
  virtual bool OnNewWindow3(const std::wstring& url) = 0;

 protected:
  ~IEBrowserEvents() = default;
};

class IEEventSink final : public IDispatch, private web::LiveComObject {
 public:
  static web::ComPtr<IEEventSink> Create(IEBrowserEvents* handler);
  void Detach() { handler_ = nullptr; }

  // IUnknown: answers IUnknown, IDispatch and DIID_DWebBrowserEvents2.
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;

 private:
  explicit IEEventSink(IEBrowserEvents* handler) : handler_(handler) {}
  ~IEEventSink() = default;
  IEEventSink(const IEEventSink&) = delete;
  IEEventSink& operator=(const IEEventSink&) = delete;
  void Dispatch(DISPID id, DISPPARAMS* params);

  LONG refs_ = 0;
  IEBrowserEvents* handler_;
};
