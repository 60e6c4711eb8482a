// The page's external object, driven the way a script engine drives it:
// through IDispatch only.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/ui/web_dispatch.h"
#include "common/log_capture.h"
#include "common/test_util.h"
#include "log/log.h"

namespace {

// A message-only window that counts the refresh messages it receives.
class RefreshTarget {
 public:
  RefreshTarget() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &RefreshTarget::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"kv_refresh_target";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowW(L"kv_refresh_target", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~RefreshTarget() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }
  int refreshes() const { return refreshes_; }

 private:
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<RefreshTarget*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (self && m == WM_USER + 111) ++self->refreshes_;
    return DefWindowProcW(h, m, w, l);
  }
  HWND hwnd_ = nullptr;
  int refreshes_ = 0;
};

web::ComPtr<IDispatch> NewDispatch(WebDispatch** object = nullptr) {
  web::ComPtr<WebDispatch> created = WebDispatch::Create();
  if (object) *object = created.Get();
  web::ComPtr<IDispatch> dispatch;
  created.As(IID_IDispatch, &dispatch);
  return dispatch;
}

DISPID IdOf(IDispatch* dispatch, const wchar_t* name, HRESULT* hr) {
  std::wstring copy = name;
  LPOLESTR names[] = {&copy[0]};
  DISPID id = 12345;
  *hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

HRESULT Call(IDispatch* dispatch, DISPID id, std::vector<VARIANT> args_last_first = {},
             VARIANT* result = nullptr) {
  DISPPARAMS params = {args_last_first.empty() ? nullptr : args_last_first.data(), nullptr,
                       static_cast<UINT>(args_last_first.size()), 0};
  return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                          nullptr, nullptr);
}

VARIANT Int(VARTYPE type, LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = type;
  if (type == VT_I2) V_I2(&v) = static_cast<SHORT>(value);
  if (type == VT_I4) V_I4(&v) = value;
  return v;
}

TEST(WebDispatchTest, ResolvesOnlyNotifyPageRefresh) {
  web::ComPtr<IDispatch> dispatch = NewDispatch();
  ASSERT_TRUE(dispatch);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(IdOf(dispatch.Get(), L"notify_page_refresh", &hr), 5);
  EXPECT_EQ(hr, S_OK);
  for (const wchar_t* name : {L"client_set_notifier", L"notify_page", L"", L"reload"}) {
    EXPECT_EQ(IdOf(dispatch.Get(), name, &hr), DISPID_UNKNOWN) << name;
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME) << name;
  }
}

TEST(WebDispatchTest, OtherIdentifiersAreNotImplemented) {
  web::ComPtr<IDispatch> dispatch = NewDispatch();
  for (DISPID id : std::vector<DISPID>{0, 4, 6, DISPID_UNKNOWN, DISPID_PROPERTYPUT})
    EXPECT_EQ(Call(dispatch.Get(), id), E_NOTIMPL) << id;
}

TEST(WebDispatchTest, TypeInformationIsCountedButNotProvided) {
  web::ComPtr<IDispatch> dispatch = NewDispatch();
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
}

TEST(WebDispatchTest, ArgumentsBecomeTextsInScriptOrder) {
  BSTR text = SysAllocString(L"页面 a");
  VARIANT v_text;
  VariantInit(&v_text);
  V_VT(&v_text) = VT_BSTR;
  V_BSTR(&v_text) = text;
  VARIANT v_u4;
  VariantInit(&v_u4);
  V_VT(&v_u4) = VT_UI4;
  V_UI4(&v_u4) = 4000000000u;
  VARIANT v_pos;
  VariantInit(&v_pos);
  V_VT(&v_pos) = VT_R8;
  V_R8(&v_pos) = 3.99;
  VARIANT v_neg;
  VariantInit(&v_neg);
  V_VT(&v_neg) = VT_R8;
  V_R8(&v_neg) = -2.7;
  VARIANT v_bool;
  VariantInit(&v_bool);
  V_VT(&v_bool) = VT_BOOL;
  V_BOOL(&v_bool) = VARIANT_TRUE;
  VARIANT v_ref;
  VariantInit(&v_ref);
  VARIANT inner = Int(VT_I4, 42);
  V_VT(&v_ref) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v_ref) = &inner;

  // Script order: f("页面 a", -7, 123456, 4000000000, 3.99, -2.7, true, ref 42)
  std::vector<VARIANT> last_first = {v_ref, v_bool, v_neg, v_pos, v_u4, Int(VT_I4, 123456),
                                     Int(VT_I2, -7), v_text};
  DISPPARAMS params = {last_first.data(), nullptr, static_cast<UINT>(last_first.size()), 0};
  const std::vector<std::wstring> expected = {L"页面 a", L"-7", L"123456", L"4000000000",
                                              L"3",      L"-2", L"",       L"42"};
  EXPECT_EQ(WebDispatch::Arguments(&params), expected);
  SysFreeString(text);

  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_TRUE(WebDispatch::Arguments(&none).empty());
  EXPECT_TRUE(WebDispatch::Arguments(nullptr).empty());
}

TEST(WebDispatchTest, RefreshIsPostedToTheNotifyWindowWithAnyArguments) {
  RefreshTarget target;
  WebDispatch* object = nullptr;
  web::ComPtr<IDispatch> dispatch = NewDispatch(&object);
  object->SetNotifyWindow(target.hwnd());

  VARIANT result;
  VariantInit(&result);
  V_VT(&result) = VT_I4;  // must come back empty: the method returns nothing
  EXPECT_EQ(Call(dispatch.Get(), 5, {}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_EMPTY);
  EXPECT_EQ(Call(dispatch.Get(), 5, {Int(VT_I4, 1), Int(VT_I2, 2)}), S_OK);
  // Posted, not sent: nothing arrives before the queue is pumped.
  EXPECT_EQ(target.refreshes(), 0);
  EXPECT_TRUE(testutil::PumpUntil([&] { return target.refreshes() == 2; }, 5000));
  testutil::PumpFor(50);
  EXPECT_EQ(target.refreshes(), 2);
}

TEST(WebDispatchTest, RefreshWithoutAWindowPostsNothing) {
  RefreshTarget target;
  WebDispatch* object = nullptr;
  web::ComPtr<IDispatch> dispatch = NewDispatch(&object);
  EXPECT_EQ(Call(dispatch.Get(), 5), S_OK);  // no window set

  // A handle that was a window once: nothing may go to it.
  RefreshTarget gone;
  const HWND stale = gone.hwnd();
  DestroyWindow(stale);
  object->SetNotifyWindow(stale);
  EXPECT_EQ(Call(dispatch.Get(), 5), S_OK);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER + 111, WM_USER + 111, PM_NOREMOVE));
  testutil::PumpFor(50);
  EXPECT_EQ(target.refreshes(), 0);
}

class WebDispatchLogTest : public testing::Test {
 protected:
  // Each test sets the threshold it is about; the capture puts it back.
  void SetUp() override {
    log_ = std::make_unique<testutil::ScopedLogCapture>(dir_.Join(L"log.txt"));
    ASSERT_TRUE(log_->ok());
  }
  void TearDown() override { log_.reset(); }
  std::wstring Log() const { return log_->Text(); }

  testutil::ScopedTempDir dir_;
  std::unique_ptr<testutil::ScopedLogCapture> log_;
};

TEST_F(WebDispatchLogTest, RefreshIsLoggedOnlyAboveLevelTwo) {
  web::ComPtr<IDispatch> dispatch = NewDispatch();
  CFileLog::Threshold(LOG_CAT_ALL) = LOG_WARNING;  // 2
  EXPECT_EQ(Call(dispatch.Get(), 5), S_OK);
  EXPECT_EQ(Log().find(L"WebDispatch 网页刷新。"), std::wstring::npos);

  CFileLog::Threshold(LOG_CAT_ALL) = LOG_MESSAGE;  // 3
  EXPECT_EQ(Call(dispatch.Get(), 5), S_OK);
  const std::wstring log = Log();
  const size_t at = log.find(L"WebDispatch 网页刷新。");
  ASSERT_NE(at, std::wstring::npos) << "log: " << testing::PrintToString(log);
  EXPECT_EQ(log.find(L"WebDispatch 网页刷新。", at + 1), std::wstring::npos);
}

TEST_F(WebDispatchLogTest, UnknownNamesWriteNothing) {
  web::ComPtr<IDispatch> dispatch = NewDispatch();
  CFileLog::Threshold(LOG_CAT_ALL) = LOG_DEBUG;
  HRESULT hr = S_OK;
  IdOf(dispatch.Get(), L"reload", &hr);
  EXPECT_EQ(Call(dispatch.Get(), 9), E_NOTIMPL);
  EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
  EXPECT_TRUE(Log().empty());
}

// An outer object that counts the references its aggregated part forwards.
class Outer : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    if (inner) return inner->QueryInterface(iid, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
  IUnknown* inner = nullptr;
};

TEST(WebDispatchTest, AggregatedObjectDelegatesItsIdentityAndCounts) {
  const long live = web::LiveComObjects();
  Outer outer;
  IDispatch* refused = nullptr;
  EXPECT_EQ(WebDispatch::Create(&outer, IID_IDispatch, reinterpret_cast<void**>(&refused)),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(web::LiveComObjects(), live);

  ASSERT_EQ(WebDispatch::Create(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  EXPECT_EQ(web::LiveComObjects(), live + 1);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  // The dispatch face counts on the outer object and answers its identity.
  EXPECT_EQ(outer.refs, 2u);
  IUnknown* identity = nullptr;
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  HRESULT hr = E_FAIL;
  EXPECT_EQ(IdOf(dispatch, L"notify_page_refresh", &hr), 5);
  dispatch->Release();
  EXPECT_EQ(outer.refs, 1u);

  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(web::LiveComObjects(), live);
}

TEST(WebDispatchTest, LastReleaseFreesTheObject) {
  const long live = web::LiveComObjects();
  {
    web::ComPtr<IDispatch> a = NewDispatch();
    web::ComPtr<IDispatch> b = a;
    EXPECT_EQ(web::LiveComObjects(), live + 1);
    a.Reset();
    EXPECT_EQ(web::LiveComObjects(), live + 1);
  }
  EXPECT_EQ(web::LiveComObjects(), live);
}

}  // namespace
