// Real mouse drags through the X server (xdotool), as a user would drag.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/test_util.h"
#include "ctrls/layered_window.h"

namespace {

class DragTestWindow : public ctrls::LayeredWindow {
 public:
  Upp::Image GetShadowImage() override { return Upp::Image(); }
};

// Runs xdotool with `args` and pumps messages (the window's move loop runs
// on this thread) until it has finished. Wine does not signal the handle of
// a Unix process, so a marker file written after xdotool tells when it is
// done. False when it could not be started or did not finish.
bool RunXdotool(const std::wstring& args) {
  static int run = 0;
  const std::wstring marker = L"/tmp/kv_xdotool_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(++run);
  const std::wstring marker_dos = L"Z:" + marker;
  DeleteFileW(marker_dos.c_str());
  std::wstring cmd = L"/bin/sh -c \"/usr/bin/xdotool " + args + L"; : > " + marker + L"\"";
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  const bool done = testutil::PumpUntil(
      [&] { return GetFileAttributesW(marker_dos.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000);
  DeleteFileW(marker_dos.c_str());
  testutil::PumpFor(100);  // the move loop's last messages
  return done;
}

class TopWindowDragTest : public testing::Test {
 protected:
  void SetUp() override {
    if (GetFileAttributesW(L"/usr/bin/xdotool") == INVALID_FILE_ATTRIBUTES &&
        GetFileAttributesW(L"Z:\\usr\\bin\\xdotool") == INVALID_FILE_ATTRIBUTES)
      GTEST_SKIP() << "xdotool is not installed";
    style.dragtop = 20;
    wnd.EnableShadow(false);
    // Apart from where the other window tests of this folder put theirs.
    wnd.NoCenter().SetRect(600, 400, 800, 500);
    wnd.SetStyle(style);
    wnd.SetBackgroundColor(Upp::Color(0, 128, 0));
    ASSERT_NE(wnd.Create(nullptr), nullptr);
    wnd.Show();
    SetWindowPos(wnd.GetHWND(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    testutil::PumpFor(200);
  }
  void TearDown() override {
    if (wnd.IsOpen()) DestroyWindow(wnd.GetHWND());
  }
  RECT Where() {
    RECT r;
    GetWindowRect(wnd.GetHWND(), &r);
    return r;
  }

  ctrls::TopWindow::Style style;
  DragTestWindow wnd;
};

// One test case drives the one pointer: ctest runs test cases in parallel
// processes, and two of them dragging at once would disturb each other.
TEST_F(TopWindowDragTest, DragMovesWindowFromStripButNotFromRowBelow) {
  ASSERT_TRUE(RunXdotool(L"mousemove 650 421 sleep 0.2 mousedown 1 sleep 0.2 mousemove 670 431 sleep 0.2 "
                         L"mousemove 690 441 sleep 0.2 mouseup 1"));
  testutil::PumpFor(1000);
  RECT r = Where();
  EXPECT_EQ(r.left, 600);
  EXPECT_EQ(r.top, 400);

  // Row dragtop itself belongs to the strip.
  ASSERT_TRUE(RunXdotool(L"mousemove 650 420 sleep 0.2 mousedown 1 sleep 0.2 mousemove 670 430 sleep 0.2 "
                         L"mousemove 690 440 sleep 0.2 mouseup 1"));
  // The X events may still be on their way to the move loop.
  testutil::PumpUntil([&] { return Where().left != 600; }, 5000);
  r = Where();
  EXPECT_EQ(r.left, 640);
  EXPECT_EQ(r.top, 420);
}

}  // namespace
