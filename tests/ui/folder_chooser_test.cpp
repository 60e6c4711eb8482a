// The folder chooser through the platform's real dialog: its title text,
// the install root preselected, OK enabled on a file-system folder, and
// what OK and Cancel give back.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/ui/folder_chooser.h"
#include "common/test_util.h"

namespace {

struct Seen {
  std::atomic<bool> title{false};
  std::atomic<bool> ok_enabled{false};
  std::atomic<bool> found{false};
};

BOOL CALLBACK FindDialog(HWND w, LPARAM out) {
  wchar_t cls[16] = L"";
  GetClassNameW(w, cls, 16);
  if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(w)) return TRUE;
  *reinterpret_cast<HWND*>(out) = w;
  return FALSE;
}

HWND FindChooser(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(thread, &FindDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

BOOL CALLBACK FindTitle(HWND w, LPARAM seen) {
  wchar_t text[128] = L"";
  GetWindowTextW(w, text, 128);
  if (lstrcmpW(text, korvan::kFolderChooserTitle) == 0)
    reinterpret_cast<Seen*>(seen)->title = true;
  return TRUE;
}

// From another thread, as a user would: wait for the dialog of the UI
// thread, let it settle on its preselection, read it, press `button`.
std::thread Presser(DWORD ui_thread, int button, Seen* seen) {
  return std::thread([ui_thread, button, seen] {
    HWND dialog = nullptr;
    for (int i = 0; i < 300 && !dialog; ++i) {
      dialog = FindChooser(ui_thread);
      if (!dialog) Sleep(50);
    }
    if (!dialog) return;
    seen->found = true;
    Sleep(700);
    EnumChildWindows(dialog, &FindTitle, reinterpret_cast<LPARAM>(seen));
    seen->ok_enabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
  });
}

TEST(FolderChooserTest, RealDialogPreselectsTheRootAndGivesItBackOnOk) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // Inside the user's profile, which the dialog's tree shows under the
  // desktop, and in no hidden folder (the temporary one is hidden).
  wchar_t profile[MAX_PATH] = L"";
  ASSERT_GT(GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH), 0u);
  const std::wstring top = std::wstring(profile) + L"\\kv_chooser_" + std::to_wstring(GetCurrentProcessId());
  const std::wstring root = top + L"\\my games";
  CreateDirectoryW(top.c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));

  Seen seen;
  std::thread presser = Presser(GetCurrentThreadId(), IDOK, &seen);
  std::wstring chosen;
  const bool ok = korvan::ChooseFolder(nullptr, root, &chosen);
  presser.join();
  ASSERT_TRUE(seen.found) << "no chooser dialog appeared";
  EXPECT_TRUE(seen.title) << "the title text is not in the dialog";
  EXPECT_TRUE(seen.ok_enabled) << "OK is disabled on a file-system folder";
  EXPECT_TRUE(ok);
  EXPECT_EQ(CompareStringOrdinal(chosen.c_str(), -1, root.c_str(), -1, TRUE), CSTR_EQUAL)
      << L"chosen " << chosen;

  Seen cancelled;
  presser = Presser(GetCurrentThreadId(), IDCANCEL, &cancelled);
  chosen = L"unchanged";
  EXPECT_FALSE(korvan::ChooseFolder(nullptr, root, &chosen));
  presser.join();
  EXPECT_TRUE(cancelled.found);
  EXPECT_EQ(chosen, L"unchanged");
  RemoveDirectoryW(root.c_str());
  RemoveDirectoryW(top.c_str());
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace
