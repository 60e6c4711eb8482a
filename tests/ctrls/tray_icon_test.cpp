#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_images.h"
#include "ctrls/tray_icon.h"

namespace {

using ctrls::TrayIcon;

struct Call {
  DWORD op;
  std::wstring tip;
  bool has_icon;
  UINT timeout;
  DWORD size;
};
std::vector<Call> g_calls;

BOOL FakeNotify(DWORD op, NOTIFYICONDATAW* d) {
  g_calls.push_back({op, d->szTip, d->hIcon != nullptr, d->uTimeout, d->cbSize});
  return TRUE;
}

using testutil::Solid;

class TrayIconTest : public testing::Test {
 protected:
  void SetUp() override { g_calls.clear(); }
};

TEST_F(TrayIconTest, AddedOnConstructionWithTimeoutAndCallbackMessage) {
  TrayIcon icon(&FakeNotify);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].op, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(g_calls[0].timeout, 30u);
  EXPECT_EQ(icon.GetRecord().uCallbackMessage, 0x800u);
  EXPECT_EQ(icon.GetRecord().uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(icon.GetRecord().hWnd, icon.GetNotifyHWND());
  EXPECT_FALSE(IsWindowVisible(icon.GetNotifyHWND()));
}

TEST_F(TrayIconTest, IdsCountUpPerIcon) {
  TrayIcon a(&FakeNotify);
  TrayIcon b(&FakeNotify);
  EXPECT_EQ(b.GetIconId(), a.GetIconId() + 1);
  EXPECT_GE(a.GetIconId(), 1u);
}

TEST_F(TrayIconTest, TipIsCutToSixtyCharacters) {
  TrayIcon icon(&FakeNotify);
  const std::wstring sixty_one(61, L'x');
  icon.Tip(sixty_one);
  EXPECT_EQ(g_calls.back().op, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(g_calls.back().tip, std::wstring(60, L'x'));
  icon.Tip(L"\x79d1\x6587");  // short texts stay whole
  EXPECT_EQ(g_calls.back().tip, L"\x79d1\x6587");
}

TEST_F(TrayIconTest, HideTwiceRemovesOnceAndShowAddsAgain) {
  TrayIcon icon(&FakeNotify);
  icon.Show(false);
  icon.Show(false);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[1].op, static_cast<DWORD>(NIM_DELETE));
  icon.Show(true);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[2].op, static_cast<DWORD>(NIM_ADD));
}

TEST_F(TrayIconTest, DestructionRemovesIcon) {
  { TrayIcon icon(&FakeNotify); }
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[1].op, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(TrayIconTest, IconFromImageIsMadeOnUpdate) {
  TrayIcon icon(&FakeNotify);
  EXPECT_FALSE(g_calls.back().has_icon);
  icon.Icon(Solid(Upp::Size(16, 16), Upp::RGBA{0, 0, 128, 128}));
  EXPECT_TRUE(g_calls.back().has_icon);
  ICONINFO ii = {};
  ASSERT_TRUE(GetIconInfo(icon.GetRecord().hIcon, &ii));
  BITMAP bm = {};
  GetObjectW(ii.hbmColor, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmWidth, 16);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
}

TEST_F(TrayIconTest, CallbackMessageDispatchesMouseEvents) {
  TrayIcon icon(&FakeNotify);
  std::vector<std::string> got;
  icon.WhenLeftDown = [&] { got.push_back("down"); };
  icon.WhenLeftUp = [&] { got.push_back("up"); };
  icon.WhenLeftDouble = [&] { got.push_back("double"); };
  icon.WhenBar = [&] { got.push_back("bar"); };
  HWND h = icon.GetNotifyHWND();
  for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEMOVE})
    SendMessageW(h, 0x800, icon.GetIconId(), m);
  EXPECT_EQ(got, (std::vector<std::string>{"down", "up", "double", "bar"}));
  got.clear();
  SendMessageW(h, 0x801, 0, WM_LBUTTONDOWN);  // not the icon's message
  EXPECT_TRUE(got.empty());
}

TEST(TrayIconRecordTest, SizeFollowsShellVersion) {
  EXPECT_EQ(TrayIcon::RecordSize(4), static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
  EXPECT_EQ(TrayIcon::RecordSize(5), static_cast<DWORD>(NOTIFYICONDATAW_V2_SIZE));
  EXPECT_EQ(TrayIcon::RecordSize(6), static_cast<DWORD>(NOTIFYICONDATAW_V2_SIZE));
  // The wide record's sizes: the ANSI ones (88 and 488 in a 32-bit
  // program) would cut the tip.
#if defined(_WIN64)
  EXPECT_EQ(TrayIcon::RecordSize(4), 152u + 16u);  // three pointer-sized fields grow
  EXPECT_EQ(TrayIcon::RecordSize(5), 936u + 16u);
#else
  EXPECT_EQ(TrayIcon::RecordSize(4), 152u);
  EXPECT_EQ(TrayIcon::RecordSize(5), 936u);
#endif
}

}  // namespace
