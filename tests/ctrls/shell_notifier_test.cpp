// The shell's notification calls made from a thread of their own: each
// with its own copy of the icon (the caller's may go at once), and a flush
// that waits until they were made.
#include <windows.h>

#include <gtest/gtest.h>

#include "ctrls/shell_notifier.h"

namespace {

HICON SmallIcon() {
  const BYTE and_mask[32 * 4] = {};
  BYTE xor_mask[32 * 4];
  for (BYTE& b : xor_mask) b = 0xFF;
  return CreateIcon(GetModuleHandleW(nullptr), 32, 32, 1, 1, and_mask, xor_mask);
}

TEST(ShellNotifierTest, CallsAreQueuedAtOnceMadeInTurnAndFlushed) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  NOTIFYICONDATAW data = {};
  data.cbSize = NOTIFYICONDATAW_V2_SIZE;
  data.hWnd = owner;
  data.uID = 77;
  data.uFlags = NIF_ICON | NIF_TIP;
  data.hIcon = SmallIcon();
  lstrcpyW(data.szTip, L"notifier test");
  ASSERT_EQ(ctrls::PostShellNotify(NIM_ADD, &data), TRUE);
  // The queued call has its own icon: the caller's may go at once.
  DestroyIcon(data.hIcon);
  data.hIcon = nullptr;
  data.uFlags = 0;
  ASSERT_EQ(ctrls::PostShellNotify(NIM_DELETE, &data), TRUE);
  EXPECT_TRUE(ctrls::FlushShellNotify(20000)) << "the queued calls were never made";
  EXPECT_EQ(ctrls::PostShellNotify(NIM_DELETE, nullptr), FALSE);
  DestroyWindow(owner);
}

}  // namespace
