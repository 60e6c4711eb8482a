// CUIAxHostWindow: the container side of the embedded WebBrowser control,
// written in plain COM because MinGW has no ATL. One object is the
// browser's client site, in-place site and frame, its document-host UI
// handler and script-dialog handler, and its ambient-property dispatch.
//
// What the browser gets from it:
//   - the host window (class "UIAXWINDOW") as its in-place parent, with the
//     whole client area as its rectangle;
//   - document-host flags (GetHostInfo) as set with SetDocHostFlags, and
//     the browser's own context menu unless SetAllowContextMenu(false);
//   - the external object for page script (GetExternal);
//   - ambient DISPID_AMBIENT_DLCONTROL = kDownloadControl: images, videos
//     and background sounds, no ActiveX download or run, UTF-8 URLs;
//   - script message boxes through the callback's OnShowMessage, shown
//     with the caption "UIAXWINDOW"; help requests get the default.
//
// IMPORTANT: Thread-safety. User-interface thread only (single-threaded
// apartment): the browser calls in on the thread that created it.
// Ownership: reference counted (Create hands out the first reference). The
// window and the callback are not owned; Detach() forgets both before
// either dies, after which every call answers as if no host existed.
#pragma once

#include <docobj.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <oleidl.h>
#include <windows.h>

#include "app/ui/web_com_object.h"
#include "app/ui/web_com_ptr.h"

// What the host window's owner answers for the site.
class IUIAxHostWindowCallBack {
 public:
  // A page's message box (alert, confirm); returns the button chosen.
  virtual int OnShowMessage(HWND owner, const wchar_t* text, UINT type) = 0;

 protected:
  ~IUIAxHostWindowCallBack() = default;
};

class CUIAxHostWindow final : public IOleClientSite,
                              public IOleInPlaceSiteEx,
                              public IOleInPlaceFrame,
                              public IDocHostUIHandler,
                              public IDocHostShowUI,
                              public IDispatch,
                              private web::LiveComObject {
 public:
  static constexpr const wchar_t kWindowClass[] = L"UIAXWINDOW";
  static constexpr DWORD kDownloadControl = 0x40670;

  static web::ComPtr<CUIAxHostWindow> Create(HWND window, IUIAxHostWindowCallBack* callback);
  void Detach();

  void SetDocHostFlags(DWORD flags) { doc_host_flags_ = flags; }
  DWORD GetDocHostFlags() const { return doc_host_flags_; }
  void SetAllowContextMenu(bool allow) { allow_context_menu_ = allow; }
  void SetExternalDispatch(IDispatch* external) { external_.Reset(external); }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(WINBOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite / IOleInPlaceSiteEx
  STDMETHODIMP CanInPlaceActivate() override { return window_ ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                LPRECT position, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO frame_info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(WINBOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  STDMETHODIMP OnInPlaceActivateEx(WINBOOL* no_redraw, DWORD) override;
  STDMETHODIMP OnInPlaceDeactivateEx(WINBOOL) override { return S_OK; }
  STDMETHODIMP RequestUIActivate() override { return S_OK; }

  // IOleInPlaceUIWindow / IOleInPlaceFrame: no tool bars, no menus.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(WINBOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override;
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_FALSE;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(WINBOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(WINBOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override;
  STDMETHODIMP GetExternal(IDispatch** external) override;
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* url_out) override;
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** result) override;

  // IDocHostShowUI
  STDMETHODIMP ShowMessage(HWND window, LPOLESTR text, LPOLESTR caption, DWORD type,
                           LPOLESTR help_file, DWORD help_context, LRESULT* result) override;
  STDMETHODIMP ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override {
    return E_NOTIMPL;
  }

  // IDispatch: the ambient properties.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;

 private:
  CUIAxHostWindow(HWND window, IUIAxHostWindowCallBack* callback);
  ~CUIAxHostWindow();
  CUIAxHostWindow(const CUIAxHostWindow&) = delete;
  CUIAxHostWindow& operator=(const CUIAxHostWindow&) = delete;

  LONG refs_ = 0;
  HWND window_;
  IUIAxHostWindowCallBack* callback_;
  DWORD doc_host_flags_ = 0;
  bool allow_context_menu_ = true;
  web::ComPtr<IDispatch> external_;
};
