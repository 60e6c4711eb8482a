// The real KVDownloader.exe's windows on the (virtual) screen: the skinned
// main window with its glued middle window, hiding by the close button,
// coming back from the tray or a second start, and the tray menu.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/process_util.h"
#include "base/scoped_handle.h"
#include "common/test_util.h"
#include "program/program_driver.h"
#include "upp/image_decode.h"

namespace {

using namespace programtest;

constexpr UINT kTrayCallback = 0x800;

std::wstring BuiltProgram() { return testutil::TestBinDir() + L"\\..\\..\\KVDownloader.exe"; }

// A file of the source tree, through Wine's Z: drive.
std::wstring SourceFile(const std::string& relative) {
  std::string here = __FILE__;
  const size_t cut = here.rfind("/tests/");
  if (cut == std::string::npos || here.empty() || here[0] != '/') return std::wstring();
  std::wstring path = L"Z:";
  for (char c : here.substr(0, cut) + "/" + relative) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

HWND MiddleWindowOf(DWORD pid, HWND main) {
  auto found = WindowsOf(pid, [main](HWND w) { return GetWindow(w, GW_OWNER) == main && Width(RectOf(w)) == 580; });
  return found.empty() ? nullptr : found[0];
}

HWND TrayWindowOf(DWORD pid) {
  auto found = WindowsOf(pid, [](HWND w) {
    wchar_t cls[64] = L"";
    GetClassNameW(w, cls, 64);
    return std::wstring(cls) == L"KVTrayIconWnd";
  });
  return found.empty() ? nullptr : found[0];
}

std::vector<HWND> VisibleMenusOf(DWORD pid) {
  return WindowsOf(pid, [](HWND w) {
    const RECT r = RectOf(w);
    return IsWindowVisible(w) && Width(r) == 150 && Height(r) == 60;
  });
}

// A screen pixel read through GDI (the X server's composed picture).
COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return c;
}

bool Near(COLORREF a, Upp::RGBA b) {
  return abs(GetRValue(a) - b.r) <= 3 && abs(GetGValue(a) - b.g) <= 3 && abs(GetBValue(a) - b.b) <= 3;
}

class WindowsProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    exe_ = dir_.Join(L"KVDownloader.exe");
    ASSERT_TRUE(CopyFileW(BuiltProgram().c_str(), exe_.c_str(), FALSE)) << GetLastError();
  }
  void TearDown() override {
    EndUnpackingTools();
  }
  // Starts the program and waits for its shown main and middle windows.
  void StartShown(Program& p) {
    ASSERT_TRUE(p.Start(exe_));
    ASSERT_TRUE(testutil::PumpUntil(
        [&] {
          main_ = MainWindowOf(p.pid());
          middle_ = main_ ? MiddleWindowOf(p.pid(), main_) : nullptr;
          return main_ && middle_ && IsWindowVisible(main_) && IsWindowVisible(middle_);
        },
        20000))
        << "no main window";
    ShowsTheSkin(10000);
  }
  bool BothHidden() { return !IsWindowVisible(main_) && !IsWindowVisible(middle_); }
  bool BothShown() { return IsWindowVisible(main_) && IsWindowVisible(middle_); }
  void ExpectGlued() {
    const RECT m = RectOf(main_), d = RectOf(middle_);
    EXPECT_EQ(d.left - m.left, 57);
    EXPECT_EQ(d.top - m.top, 112);
    EXPECT_EQ(Width(d), 580);
    EXPECT_EQ(Height(d), 206);
  }
  void CloseByItsButton() {
    const RECT m = RectOf(main_);
    ClickAt(m.left + 685 - 18 - 12, m.top + 47 + 12);
  }
  static const Upp::Image& Background() {
    static const Upp::Image bg = Upp::LoadImageFile(SourceFile("res/skin/mainbg.png"));
    return bg;
  }
  // True once the screen itself (not just the window manager's idea of the
  // window) shows the skin's bare background around the main window.
  bool ShowsTheSkin(DWORD ms) {
    const Upp::Image& bg = Background();
    if (bg.IsEmpty()) return true;
    const RECT m = RectOf(main_);
    const POINT probes[] = {{150, 50}, {100, 60}, {30, 200}, {80, 45}, {160, 80}};
    return testutil::PumpUntil(
        [&] {
          for (const POINT& q : probes)
            if (!Near(ScreenPixel(m.left + q.x, m.top + q.y), bg.At(q.x, q.y))) return false;
          return true;
        },
        ms);
  }
  // Right after the windows come back, Wine may map them on the X server a
  // while after they count as visible; a click before that lands on the
  // desktop. And the program's first seconds may be spent waiting for
  // Wine's tray (slow to clean up after a killed program): the press then
  // waits in the queue. Wait for the picture, then press, again if need be
  // (a user would), but never more than three times.
  bool CloseUntilHidden() {
    ShowsTheSkin(10000);
    for (int press = 0; press < 3; ++press) {
      CloseByItsButton();
      if (testutil::PumpUntil([&] { return BothHidden(); }, 10000)) return true;
    }
    const RECT m = RectOf(main_);
    const POINT button = {m.left + 685 - 18 - 12, m.top + 47 + 12};
    HWND under = WindowFromPoint(button);
    DWORD_PTR ignored = 0;
    const bool answers = SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) != 0;
    DWORD pid = 0;
    GetWindowThreadProcessId(main_, &pid);
    const size_t visible = WindowsOf(pid, [](HWND w) { return IsWindowVisible(w) != FALSE; }).size();
    ADD_FAILURE() << "the close button did not hide the windows; under it: " << under << " (main " << main_
                  << "), foreground " << GetForegroundWindow() << ", main enabled " << IsWindowEnabled(main_)
                  << ", its thread answers " << answers << ", visible windows of the program " << visible;
    return false;
  }

  testutil::ScopedTempDir dir_;
  std::wstring exe_;
  HWND main_ = nullptr;
  HWND middle_ = nullptr;
};

TEST_F(WindowsProgramTest, MainWindowAppearsOnScreenWithTheSkinAndTheGluedMiddleWindow) {
  Program p;
  StartShown(p);
  ExpectGlued();
  wchar_t title[32] = L"";
  GetWindowTextW(main_, title, 32);
  EXPECT_STREQ(title, L"Korvan");
  if (Background().IsEmpty()) GTEST_SKIP() << "source tree not reachable";
  EXPECT_TRUE(ShowsTheSkin(10000)) << "the screen does not show the skin's background";
}

TEST_F(WindowsProgramTest, CloseButtonHidesBothAndATrayClickBringsThemBackInPlace) {
  Program p;
  StartShown(p);
  const RECT main_before = RectOf(main_), middle_before = RectOf(middle_);
  ASSERT_TRUE(CloseUntilHidden());
  EXPECT_TRUE(p.Running());
  HWND tray = nullptr;
  ASSERT_TRUE(testutil::PumpUntil([&] { return (tray = TrayWindowOf(p.pid())) != nullptr; }, 30000));
  PostMessageW(tray, kTrayCallback, 0, WM_LBUTTONDOWN);
  PostMessageW(tray, kTrayCallback, 0, WM_LBUTTONUP);
  ASSERT_TRUE(testutil::PumpUntil([&] { return BothShown(); }, 5000));
  const RECT main_after = RectOf(main_), middle_after = RectOf(middle_);
  EXPECT_TRUE(EqualRect(&main_before, &main_after));
  EXPECT_TRUE(EqualRect(&middle_before, &middle_after));
}

TEST_F(WindowsProgramTest, ASecondStartBringsTheHiddenWindowsBackInPlace) {
  Program first;
  StartShown(first);
  const RECT before = RectOf(main_);
  ASSERT_TRUE(CloseUntilHidden());
  Program second;
  ASSERT_TRUE(second.Start(exe_));
  // Generous waits: a loaded machine under Wine is slow to start a copy,
  // and only the outcome is under test here.
  EXPECT_EQ(second.WaitExit(30000), 0u) << "the second copy did not end by itself";
  ASSERT_TRUE(testutil::PumpUntil([&] { return BothShown(); }, 15000))
      << "shown after the second start: main " << IsWindowVisible(main_) << ", middle " << IsWindowVisible(middle_)
      << "; first copy running " << first.Running();
  const RECT after = RectOf(main_);
  EXPECT_TRUE(EqualRect(&before, &after)) << "was at " << before.left << "," << before.top << ", now at "
                                          << after.left << "," << after.top;
  ExpectGlued();
  // The wake-up message itself, as a later copy sends it.
  ASSERT_TRUE(CloseUntilHidden());
  HWND guard = FindWindowW(L"KVDOWNLOADER_INSWND", nullptr);
  ASSERT_NE(guard, nullptr);
  PostMessageW(guard, 37889, 0, 0);
  EXPECT_TRUE(testutil::PumpUntil([&] { return BothShown(); }, 15000))
      << "shown after the wake-up message: main " << IsWindowVisible(main_) << ", middle "
      << IsWindowVisible(middle_);
}

TEST_F(WindowsProgramTest, DraggingTheTopStripMovesTheMiddleWindowAlong) {
  Program p;
  StartShown(p);
  const RECT m = RectOf(main_);
  const int x = m.left + 120, y = m.top + 30;  // bare background in the drag strip
  // A press that does not reach the window (see CloseUntilHidden) leaves it
  // where it was: drag again from there, at most three times.
  bool moved = false;
  for (int attempt = 0; attempt < 3 && !moved; ++attempt) {
    MouseAt(x, y, 0);
    testutil::PumpFor(100);
    MouseAt(x, y, MOUSEEVENTF_LEFTDOWN);
    testutil::PumpFor(150);
    for (int i = 1; i <= 10; ++i) {
      MouseAt(x + 6 * i, y + 4 * i, 0);
      testutil::PumpFor(30);
    }
    MouseAt(x + 60, y + 40, MOUSEEVENTF_LEFTUP);
    moved = testutil::PumpUntil([&] { return RectOf(main_).left != m.left; }, 10000);
  }
  ASSERT_TRUE(testutil::PumpUntil([&] { return RectOf(main_).left == m.left + 60; }, 5000))
      << "moved to " << RectOf(main_).left << "," << RectOf(main_).top;
  EXPECT_EQ(RectOf(main_).top, m.top + 40);
  ExpectGlued();
}

TEST_F(WindowsProgramTest, TrayMenuOpensOnceReplacesItselfAndItsCloseItemEndsTheProgram) {
  Program p;
  StartShown(p);
  HWND tray = nullptr;
  // The icon comes once the message loop runs; on a fresh Wine prefix the
  // program's first seconds are slow.
  ASSERT_TRUE(testutil::PumpUntil([&] { return (tray = TrayWindowOf(p.pid())) != nullptr; }, 30000));
  MouseAt(500, 400, 0);
  testutil::PumpFor(100);
  PostMessageW(tray, kTrayCallback, 0, WM_RBUTTONUP);
  ASSERT_TRUE(testutil::PumpUntil([&] { return VisibleMenusOf(p.pid()).size() == 1; }, 5000));
  RECT menu = RectOf(VisibleMenusOf(p.pid())[0]);
  EXPECT_EQ(menu.right, 500);
  EXPECT_EQ(menu.bottom, 400);
  // A second right click elsewhere: one menu, at the new place.
  MouseAt(700, 600, 0);
  testutil::PumpFor(100);
  PostMessageW(tray, kTrayCallback, 0, WM_RBUTTONUP);
  ASSERT_TRUE(testutil::PumpUntil(
      [&] {
        auto menus = VisibleMenusOf(p.pid());
        return menus.size() == 1 && RectOf(menus[0]).right == 700;
      },
      5000));
  testutil::PumpFor(300);
  ASSERT_EQ(VisibleMenusOf(p.pid()).size(), 1u);
  menu = RectOf(VisibleMenusOf(p.pid())[0]);
  EXPECT_EQ(menu.bottom, 600);
  // The second row, "关闭": the list starts 3 below the top, rows are 25 high.
  ClickAt(menu.left + 60, menu.top + 3 + 25 + 12);
  EXPECT_EQ(p.WaitExit(15000), 0u);
}

}  // namespace
