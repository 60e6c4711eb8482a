#include "app/ui/ie_wnd.h"

IEWnd::~IEWnd() {
  Destroy();
  if (external_) external_->SetNotifyWindow(nullptr);
}

void IEWnd::OnCreated() {
  external_ = WebDispatch::Create();
  if (!external_ || !GetHost()) return;
  external_->SetNotifyWindow(GetHWND());
  GetHost()->SetExternalDispatch(external_.Get());
  OfferNotifier();
}

void IEWnd::OfferNotifier() {
  OLECHAR name[] = L"client_set_notifier";
  LPOLESTR names[] = {name};
  DISPID id = DISPID_UNKNOWN;
  if (external_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) != S_OK) return;
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_I4;
  V_I4(&arg) = static_cast<LONG>(reinterpret_cast<LONG_PTR>(GetHWND()));
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  external_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                    nullptr);
}
