// The main window on the screen in each download state, read back through
// GDI. With KV_UI_SHOTS_DIR set, each state is also saved there as
// main_window_<state>.png (the pictures in docs/ come from this test).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/download_manager.h"
#include "app/ui/main_wnd.h"
#include "app/ui/middle_wnd.h"
#include "common/test_util.h"
#include "fake_download_control.h"
#include "screen_capture.h"
#include "skin/skin_loader.h"
#include "ui_test_env.h"
#include "upp/draw.h"
#include "upp/timer_queue.h"

namespace {

using korvan::DownloadManager;
using korvan::MainPanel;
using korvan::MainWnd;
using korvan::MiddleWnd;
using korvan::ProgressPanel;

constexpr int kMargin = 30;

// A plain dark desk behind the window, so the pictures do not show the
// bare X root.
class Desk {
 public:
  explicit Desk(const RECT& r) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = brush_ = CreateSolidBrush(RGB(0x2a, 0x2f, 0x38));
    wc.lpszClassName = L"KVTestDesk";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"KVTestDesk", L"", WS_POPUP | WS_VISIBLE, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~Desk() {
    if (hwnd_) DestroyWindow(hwnd_);
    UnregisterClassW(L"KVTestDesk", GetModuleHandleW(nullptr));
    DeleteObject(brush_);
  }
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
  HBRUSH brush_ = nullptr;
};

class MainWindowStatesOnScreenTest : public uitest::SkinnedTest {
 protected:
  void SetUp() override {
    uitest::SkinnedTest::SetUp();
    SetCursorPos(2, 2);  // no button is hot
    auto progress = std::make_unique<ProgressPanel>(std::make_unique<uitest::FakeDownloadControl>(&world_));
    progress_ = progress.get();
    wnd_ = std::make_unique<MainWnd>(std::make_unique<MainPanel>(std::move(progress)));
    wnd_->NoCenter();
    wnd_->SetRect(120, 90, 120 + 685, 90 + 494);
    const RECT desk = {120 - kMargin, 90 - kMargin, 120 + 685 + kMargin, 90 + 494 + kMargin};
    desk_ = std::make_unique<Desk>(desk);
    ASSERT_NE(wnd_->Create(nullptr), nullptr);
    ShowWindow(wnd_->GetHWND(), SW_SHOW);
    middle_ = std::make_unique<MiddleWnd>();
    ASSERT_NE(middle_->Create(wnd_->GetHWND()), nullptr);
    middle_->SetRect(120 + 57, 90 + 112, 120 + 57 + 580, 90 + 112 + 206);
    ShowWindow(middle_->GetHWND(), SW_SHOWNOACTIVATE);
    world_.root = L"D:\\korvan";
    progress_->OnFolderChanged();
  }
  void TearDown() override {
    middle_.reset();
    wnd_.reset();
    desk_.reset();
    uitest::SkinnedTest::TearDown();
  }
  void Enter(int32_t state) {
    world_.state = state;
    progress_->OnStateChanged();
  }
  // The window as the screen shows it, with the desk margin.
  Upp::Image Shoot(const char* name) {
    wnd_->UpdateScreenNow();
    testutil::PumpFor(400);
    // Wine turns this test's stacking upside down (the desk, created first,
    // ends on top, the middle window under the main one) while the queue
    // is pumped; the program has no desk and keeps its order. Restack as
    // the program shows it before reading the screen.
    SetWindowPos(wnd_->GetHWND(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(middle_->GetHWND(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    testutil::PumpFor(200);
    const RECT r = {120 - kMargin, 90 - kMargin, 120 + 685 + kMargin, 90 + 494 + kMargin};
    Upp::Image shot = uitest::CaptureScreen(r);
    if (const char* dir = std::getenv("KV_UI_SHOTS_DIR")) {
      std::wstring path;
      for (const char* c = dir; *c; ++c) path += static_cast<wchar_t>(*c);
      path += L"\\main_window_";
      for (const char* c = name; *c; ++c) path += static_cast<wchar_t>(*c);
      EXPECT_TRUE(uitest::WritePng(path + L".png", shot));
    }
    return shot;
  }
  // How many opaque pixels of `look` the shot shows at window point `at`.
  static int Matches(const Upp::Image& shot, const Upp::Image& look, Upp::Point at) {
    int same = 0;
    for (int y = 0; y < look.GetHeight(); y += 3)
      for (int x = 0; x < look.GetWidth(); x += 3) {
        const Upp::RGBA a = look.At(x, y), b = shot.At(kMargin + at.x + x, kMargin + at.y + y);
        same += a.a == 255 && abs(a.r - b.r) <= 3 && abs(a.g - b.g) <= 3 && abs(a.b - b.b) <= 3;
      }
    return same;
  }
  static int Opaque(const Upp::Image& look) {
    int n = 0;
    for (int y = 0; y < look.GetHeight(); y += 3)
      for (int x = 0; x < look.GetWidth(); x += 3) n += look.At(x, y).a == 255;
    return n;
  }
  void ExpectButtonOnScreen(const Upp::Image& shot, ctrls::Button& button) {
    const Upp::Image& look = button.GetStyle().look[0];
    ASSERT_FALSE(look.IsEmpty());
    const Upp::Rect r = button.GetRootRect();
    ASSERT_EQ(r.GetSize(), look.GetSize());
    EXPECT_GE(Matches(shot, look, r.TopLeft()), Opaque(look) * 9 / 10);
  }

  uitest::FakeWorld world_;
  ProgressPanel* progress_ = nullptr;
  std::unique_ptr<Desk> desk_;
  std::unique_ptr<MainWnd> wnd_;
  std::unique_ptr<MiddleWnd> middle_;
};

TEST_F(MainWindowStatesOnScreenTest, EachStateShowsItsActionButtonAndTextsOnScreen) {
  ASSERT_EQ(progress_->GetRootRect(), Upp::Rect(37, 328, 655, 428));

  Enter(3);
  Upp::Image shot = Shoot("ready");
  ASSERT_EQ(shot.GetSize(), Upp::Size(685 + 2 * kMargin, 494 + 2 * kMargin));
  ExpectButtonOnScreen(shot, progress_->start_button());
  // The desk around, the skin's background inside the frame.
  EXPECT_EQ(shot.At(5, 5), (Upp::RGBA{0x38, 0x2f, 0x2a, 255}));

  Enter(6);
  // The texts the download manager really sends: 37.521 % of 1.1 GB at 1.2 MB/s.
  const int64_t total = 1181116006, received = 443166535;
  progress_->OnProgress(0.37521f, DownloadManager::SpeedText(1258291), DownloadManager::AmountText(received, total),
                        false);
  shot = Shoot("downloading");
  ExpectButtonOnScreen(shot, progress_->pause_button());
  // The bar's fill covers its left 37.52 %, the background the rest.
  const skin::ProgressCtrlStyle& bar = progress_->bar().GetStyle();
  const Upp::Rect br = progress_->bar().GetRootRect();
  const int fill = ctrls::ProgressCtrl::FillWidth(br.Width(), 3752, 10000);
  EXPECT_EQ(fill, 123);
  int fill_hits = 0, bg_hits = 0;
  for (int x = 2; x < br.Width() - 2; x += 4) {
    const int y = br.Height() / 2;
    const Upp::RGBA s = shot.At(kMargin + br.left + x, kMargin + br.top + y);
    const Upp::RGBA f = bar.block.At(x, y), g = bar.bg.At(x, y);
    if (f.a == 255 && x < fill) fill_hits += abs(s.r - f.r) <= 3 && abs(s.g - f.g) <= 3;
    if (g.a == 255 && x >= fill + 2) bg_hits += abs(s.r - g.r) <= 3 && abs(s.g - g.g) <= 3;
  }
  EXPECT_GE(fill_hits, 25);
  EXPECT_GE(bg_hits, 40);
  EXPECT_EQ(progress_->percent_text().GetText(), L"37.5%");

  Enter(8);
  shot = Shoot("paused");
  ExpectButtonOnScreen(shot, progress_->resume_paused_button());

  Enter(10);
  progress_->OnError(DownloadManager::ErrorText(L"下载状态检查失败", 12029));
  shot = Shoot("failed");
  ExpectButtonOnScreen(shot, progress_->retry_button());
  // Some pure red of the error text on the status line.
  const Upp::Rect st = progress_->status_line().GetRootRect();
  int red = 0;
  for (int y = st.top; y < st.bottom; ++y)
    for (int x = st.left; x < st.right; ++x) {
      const Upp::RGBA p = shot.At(kMargin + x, kMargin + y);
      red += p.r > 200 && p.g < 60 && p.b < 60;
    }
  EXPECT_GT(red, 20);

  Enter(9);
  progress_->OnFinished();
  progress_->OnProgress(1.0f, DownloadManager::SpeedText(-1), DownloadManager::AmountText(total, total), false);
  shot = Shoot("finished");
  ExpectButtonOnScreen(shot, progress_->install_button());
  EXPECT_EQ(progress_->percent_text().GetText(), L"100%");
}

}  // namespace
