// The browser host under Wine: the real WebBrowser control (Wine has no
// page engine here, so pages never render; the control, its site, its
// events and its keys are real).
#include <mshtmdid.h>
#include <olectl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/ui/ie_base_wnd.h"
#include "app/ui/web_com_object.h"
#include "common/fault_server.h"
#include "common/test_util.h"
#include "ie_test_util.h"
#include "upp/signal.h"

namespace {

using korvan::IEBaseWnd;

struct Counter : public sigslot::has_slots<> {
  int completed = 0;
  int refreshes = 0;
  void OnCompleted() { ++completed; }
  void OnRefresh() { ++refreshes; }
};

class HostTest : public testing::Test {
 protected:
  HostTest() : parent_(60, 60, 640, 480) {}

  void SetUp() override {
    live_before_ = web::LiveComObjects();
    ASSERT_TRUE(parent_.hwnd());
  }

  HWND CreateHost(const RECT& r = RECT{20, 30, 420, 330}) {
    HWND h = host_.Create(parent_.hwnd(), r);
    if (h) {
      host_.DocumentCompleted.connect(&counter_, &Counter::OnCompleted);
      host_.RefreshRequested.connect(&counter_, &Counter::OnRefresh);
      host_.NavigateFailed = [this] { ++failed_; };
      host_.NavigateSucceeded = [this] { ++succeeded_; };
      host_.SetBrowserOpener([this](const std::wstring& url) {
        opened_.push_back(url);
        return true;
      });
    }
    return h;
  }

  IDispatch* Sink() { return host_.GetEventSink(); }
  web::ComPtr<IDispatch> BrowserDispatch() {
    web::ComPtr<IDispatch> d;
    web::ComPtr<IWebBrowser2> b(host_.GetBrowser());
    if (b) b.As(IID_IDispatch, &d);
    return d;
  }
  // The control's own window inside the host window.
  HWND BrowserWindow() {
    web::ComPtr<IOleWindow> w;
    web::ComPtr<IWebBrowser2> b(host_.GetBrowser());
    HWND hwnd = nullptr;
    if (b && SUCCEEDED(b.As(IID_IOleWindow, &w))) w->GetWindow(&hwnd);
    return hwnd;
  }

  ietest::ParentWindow parent_;
  Counter counter_;
  IEBaseWnd host_;
  int failed_ = 0;
  int succeeded_ = 0;
  std::vector<std::wstring> opened_;
  long live_before_ = 0;
};

TEST_F(HostTest, CreatesTheControlInAHiddenChildWindowSizedToTheRectangle) {
  HWND h = CreateHost();
  ASSERT_NE(h, nullptr);
  ASSERT_NE(host_.GetBrowser(), nullptr);
  wchar_t name[64] = {};
  GetClassNameW(h, name, 64);
  EXPECT_STREQ(name, L"UIAXWINDOW");
  EXPECT_EQ(GetParent(h), parent_.hwnd());
  const DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
  EXPECT_EQ(style & 0x46000000u, 0x46000000u);
  EXPECT_FALSE(IsWindowVisible(h));
  const RECT r = ietest::RectInParent(h);
  EXPECT_EQ(r.left, 20);
  EXPECT_EQ(r.top, 30);
  EXPECT_EQ(r.right, 420);
  EXPECT_EQ(r.bottom, 330);

  // The control fills the host window and follows its size.
  HWND inner = BrowserWindow();
  ASSERT_NE(inner, nullptr);
  EXPECT_TRUE(IsChild(h, inner));
  RECT c = {};
  GetWindowRect(inner, &c);
  EXPECT_EQ(c.right - c.left, 400);
  EXPECT_EQ(c.bottom - c.top, 300);
  SetWindowPos(h, nullptr, 0, 0, 250, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetWindowRect(inner, &c);
  EXPECT_EQ(c.right - c.left, 250);
  EXPECT_EQ(c.bottom - c.top, 120);
}

TEST_F(HostTest, DocumentHostFlagsAmbientDownloadControlAndContextMenu) {
  ASSERT_TRUE(CreateHost());
  CUIAxHostWindow* site = host_.GetHost();
  ASSERT_NE(site, nullptr);
  DOCHOSTUIINFO info = {sizeof(info)};
  ASSERT_EQ(site->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x244015u);
  host_.SetDocHostFlags(host_.GetDocHostFlags() | CIEWindowImpl::kNoScrollFlags);
  ASSERT_EQ(site->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x24401Du);

  web::ComPtr<IDispatch> ambient;
  ASSERT_EQ(web::ComPtr<IOleClientSite>(site).As(IID_IDispatch, &ambient), S_OK);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT v;
  VariantInit(&v);
  ASSERT_EQ(ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, LOCALE_USER_DEFAULT,
                            DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(V_VT(&v), VT_I4);
  EXPECT_EQ(static_cast<DWORD>(V_I4(&v)), 0x40670u);
  EXPECT_EQ(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT,
                            DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  // S_FALSE: the browser shows its own context menu.
  POINT p = {1, 1};
  EXPECT_EQ(site->ShowContextMenu(0, &p, nullptr, nullptr), S_FALSE);
}

TEST_F(HostTest, PageRefreshThroughTheExternalObjectReachesTheHostWindow) {
  ASSERT_TRUE(CreateHost());
  web::ComPtr<IDispatch> external;
  ASSERT_EQ(host_.GetHost()->GetExternal(external.Receive()), S_OK);
  ASSERT_TRUE(external);
  OLECHAR name[] = L"notify_page_refresh";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  ASSERT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  ASSERT_EQ(external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                             nullptr, nullptr),
            S_OK);
  EXPECT_EQ(counter_.refreshes, 0);  // posted, not called
  EXPECT_TRUE(testutil::PumpUntil([&] { return counter_.refreshes == 1; }, 5000));
  testutil::PumpFor(50);
  EXPECT_EQ(counter_.refreshes, 1);
}

TEST_F(HostTest, NewWindow3OpensTheDefaultBrowserAndNoWindowOfOurs) {
  ASSERT_TRUE(CreateHost());
  const int windows = ietest::CountThreadWindows();
  VARIANT_BOOL cancel = VARIANT_FALSE;
  ASSERT_EQ(ietest::FireNewWindow3(Sink(), L"http://127.0.0.1/news/1.html", &cancel), S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], L"http://127.0.0.1/news/1.html");

  ASSERT_EQ(ietest::FireNewWindow2(Sink(), &cancel), S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(opened_.size(), 1u);  // NewWindow2 carries no URL to open
  testutil::PumpFor(100);
  EXPECT_EQ(ietest::CountThreadWindows(), windows);
}

TEST_F(HostTest, NavigateErrorStatusChoosesFailureOrSuccess) {
  ASSERT_TRUE(CreateHost());
  web::ComPtr<IDispatch> top = BrowserDispatch();
  ASSERT_EQ(ietest::FireNavigateError(Sink(), top.Get(), 404), S_OK);
  EXPECT_EQ(failed_, 1);
  ASSERT_EQ(ietest::FireNavigateError(Sink(), top.Get(), static_cast<LONG>(0x800C0005)), S_OK);
  EXPECT_EQ(failed_, 2);
  ASSERT_EQ(ietest::FireNavigateError(Sink(), top.Get(), 200), S_OK);
  EXPECT_EQ(failed_, 2);
  EXPECT_EQ(succeeded_, 1);
}

TEST_F(HostTest, TopDocumentCompleteIsRaisedOnTheNextPassAndFramesAreIgnored) {
  ASSERT_TRUE(CreateHost());
  web::ComPtr<IDispatch> top = BrowserDispatch();
  ASSERT_TRUE(top);
  ASSERT_EQ(ietest::FireDocumentComplete(Sink(), top.Get()), S_OK);
  EXPECT_EQ(counter_.completed, 0);
  EXPECT_TRUE(testutil::PumpUntil([&] { return counter_.completed == 1; }, 5000));

  // A frame's document: any other window object.
  web::ComPtr<WebDispatch> frame = WebDispatch::Create();
  ASSERT_EQ(ietest::FireDocumentComplete(Sink(), frame.Get()), S_OK);
  testutil::PumpFor(200);
  EXPECT_EQ(counter_.completed, 1);
}

TEST_F(HostTest, F5IsSwallowedOnlyForTheBrowser) {
  ASSERT_TRUE(CreateHost());
  MSG f5 = {host_.GetHWND(), WM_KEYDOWN, VK_F5, 0x003F0001};
  EXPECT_TRUE(host_.PreTranslateMessage(&f5));
  MSG inner = f5;
  inner.hwnd = BrowserWindow();
  EXPECT_TRUE(host_.PreTranslateMessage(&inner));
  MSG elsewhere = f5;
  elsewhere.hwnd = parent_.hwnd();
  EXPECT_FALSE(host_.PreTranslateMessage(&elsewhere));
  MSG mouse = {host_.GetHWND(), WM_LBUTTONDOWN, 0, 0};
  EXPECT_FALSE(host_.PreTranslateMessage(&mouse));
}

// Counts the key-downs that reach the host window's procedure.
WNDPROC g_host_proc = nullptr;
std::vector<WPARAM> g_keys_seen;
LRESULT CALLBACK KeySpy(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_KEYDOWN) g_keys_seen.push_back(w);
  return CallWindowProcW(g_host_proc, h, m, w, l);
}

TEST_F(HostTest, TheMessageLoopFilterKeepsF5FromTheWindow) {
  base::MessageLoop loop;
  base::AppModule::Get().AddMessageLoop(&loop);
  HWND h = CreateHost();
  ASSERT_NE(h, nullptr);
  g_keys_seen.clear();
  g_host_proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeySpy)));
  PostMessageW(h, WM_KEYDOWN, VK_F5, 0x003F0001);
  PostMessageW(h, WM_KEYDOWN, VK_F7, 0x00410001);
  PostQuitMessage(0);
  loop.Run();
  SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_host_proc));
  EXPECT_EQ(g_keys_seen, std::vector<WPARAM>{VK_F7});

  // Gone with the host: the loop no longer calls into it.
  host_.Destroy();
  PostMessageW(parent_.hwnd(), WM_KEYDOWN, VK_F5, 0);
  PostQuitMessage(0);
  loop.Run();
  base::AppModule::Get().RemoveMessageLoop();
}

TEST_F(HostTest, ScriptMessageBoxIsOwnedByTheHostWithItsCaption) {
  ASSERT_TRUE(CreateHost());
  std::atomic<HWND> owner{nullptr};
  std::atomic<bool> found{false};
  std::thread closer([&] {
    for (int i = 0; i < 1000 && !found; ++i) {
      HWND box = FindWindowW(L"#32770", L"UIAXWINDOW");
      if (box) {
        owner = GetWindow(box, GW_OWNER);
        found = true;
        PostMessageW(box, WM_COMMAND, IDNO, 0);
      }
      Sleep(20);
    }
  });
  LRESULT chosen = 0;
  OLECHAR text[] = L"确定要离开吗？";
  OLECHAR caption[] = L"page";
  const HRESULT hr = host_.GetHost()->ShowMessage(host_.GetHWND(), text, caption,
                                                  MB_YESNO | MB_ICONQUESTION, nullptr, 0, &chosen);
  closer.join();
  ASSERT_TRUE(found) << "no message box captioned UIAXWINDOW appeared";
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(chosen, IDNO);
  // A box owned by a child window belongs to that child's top-level window.
  EXPECT_TRUE(owner.load() == host_.GetHWND() || owner.load() == parent_.hwnd());
}

TEST_F(HostTest, NavigateFromAnotherThreadIsCarriedOutByTheWindowThread) {
  testutil::FaultServer server(testutil::FaultServer::Answer::kOk, "<html><body>x</body></html>");
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(CreateHost());
  std::atomic<int> result{-1};
  std::thread worker([&] { result = host_.Navigate(server.Url(L"/list/down_img.html")) ? 1 : 0; });
  // The worker waits for this thread to take the message.
  EXPECT_TRUE(testutil::PumpUntil([&] { return result != -1; }, 10000));
  worker.join();
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(testutil::PumpUntil([&] { return !server.Requests().empty(); }, 20000));
  ASSERT_FALSE(server.Requests().empty());
  EXPECT_EQ(server.Requests()[0].request_line.rfind("GET /list/down_img.html", 0), 0u);
}

TEST_F(HostTest, EveryReferenceComesBackWhenTheHostIsDestroyed) {
  {
    IEBaseWnd host;
    ASSERT_TRUE(host.Create(parent_.hwnd(), RECT{0, 0, 300, 200}));
    EXPECT_GE(web::LiveComObjects(), live_before_ + 3);  // site, sink, external
    host.Navigate(L"http://127.0.0.1:" + std::to_wstring(ietest::ClosedPort()) + L"/");
    web::ComPtr<IDispatch> external;
    host.GetHost()->GetExternal(external.Receive());
    testutil::PumpFor(300);
  }
  EXPECT_TRUE(testutil::PumpUntil([&] { return web::LiveComObjects() == live_before_; }, 5000))
      << web::LiveComObjects() - live_before_ << " objects still alive";
}

TEST_F(HostTest, ReferencesComeBackWhenTheParentWindowGoesFirst) {
  ASSERT_TRUE(CreateHost());
  parent_.Destroy();
  EXPECT_FALSE(host_.IsWindow());
  EXPECT_EQ(host_.GetBrowser(), nullptr);
  // Only the external object stays, held by the host object itself.
  EXPECT_TRUE(testutil::PumpUntil([&] { return web::LiveComObjects() == live_before_ + 1; }, 5000))
      << web::LiveComObjects() - live_before_ << " objects still alive";
  EXPECT_FALSE(host_.Navigate(L"http://127.0.0.1/"));
}

}  // namespace
