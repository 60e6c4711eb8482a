#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "upp/ctrl.h"
#include "upp/hwnd_host.h"

namespace {

using Upp::Point;
using Upp::Rect;

Upp::HwndCtrlHost* g_host = nullptr;

LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (g_host && g_host->HandleMessage(msg, wparam, lparam, &result)) return result;
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

class Recorder : public Upp::Ctrl {
 public:
  void LeftDown(Point p, uint32_t) override {
    events.push_back("down " + std::to_string(p.x) + "," + std::to_string(p.y));
    SetCapture();
  }
  void LeftUp(Point p, uint32_t) override {
    events.push_back("up " + std::to_string(p.x) + "," + std::to_string(p.y));
    ReleaseCapture();
  }
  void MouseWheel(Point, int zdelta, uint32_t) override { events.push_back("wheel " + std::to_string(zdelta)); }
  void Paint(Upp::Draw& w) override { w.DrawRect(GetView(), Upp::Color(255, 0, 0)); }
  std::vector<std::string> events;
};

class HwndHostTest : public testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.lpfnWndProc = TestProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KV_HWND_HOST_TEST";
    RegisterClassExW(&wc);
    hwnd = CreateWindowExW(0, L"KV_HWND_HOST_TEST", L"", WS_POPUP, 0, 0, 120, 80, nullptr, nullptr,
                           wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    child.SetRect(20, 10, 40, 30);
    root.Add(child);
    g_host = &host;
    host.SetBackground(Upp::Color(0, 0, 255));
    host.Attach(hwnd, &root);
  }
  void TearDown() override {
    host.Detach();
    g_host = nullptr;
    if (hwnd) DestroyWindow(hwnd);
  }

  HWND hwnd = nullptr;
  Upp::Ctrl root;
  Recorder child;
  Upp::HwndCtrlHost host;
};

TEST_F(HwndHostTest, AttachSizesTheRootToTheClientArea) {
  EXPECT_EQ(root.GetRect(), Rect(0, 0, 120, 80));
  EXPECT_EQ(root.GetHWND(), hwnd);
  SetWindowPos(hwnd, nullptr, 0, 0, 150, 90, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  EXPECT_EQ(root.GetRect(), Rect(0, 0, 150, 90));
}

TEST_F(HwndHostTest, ButtonMessagesReachTheControlInItsCoordinatesAndCaptureTheWindow) {
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(25, 15));
  EXPECT_EQ(GetCapture(), hwnd);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(100, 70));  // outside: still ours
  EXPECT_NE(GetCapture(), hwnd);
  EXPECT_EQ(child.events, (std::vector<std::string>{"down 5,5", "up 80,60"}));
}

TEST_F(HwndHostTest, WheelPointIsTakenFromScreenCoordinates) {
  POINT pt = {30, 20};
  ClientToScreen(hwnd, &pt);
  SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), MAKELPARAM(pt.x, pt.y));
  EXPECT_EQ(child.events, (std::vector<std::string>{"wheel -120"}));
}

TEST_F(HwndHostTest, LostWindowCaptureReleasesTheTree) {
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(25, 15));
  ASSERT_TRUE(child.HasCapture());
  SendMessageW(hwnd, WM_CAPTURECHANGED, 0, 0);
  EXPECT_FALSE(child.HasCapture());
}

TEST_F(HwndHostTest, PrintClientPaintsBackgroundAndTree) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 120, 80);
  HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 30, 20), RGB(255, 0, 0));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

TEST_F(HwndHostTest, ExceptionInAControlDoesNotLeaveTheWindowProcedure) {
  struct Thrower : Upp::Ctrl {
    void LeftDown(Point, uint32_t) override { throw std::runtime_error("boom"); }
  } thrower;
  thrower.SetRect(0, 50, 10, 10);
  root.Add(thrower);
  EXPECT_NO_THROW(SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 55)));
}

}  // namespace
