// The platform's folder browser for the install root: owned by the main
// window, flags BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE |
// BIF_BROWSEFORCOMPUTER (0x1041), title "请选择游戏登录器安装路径", the
// current root preselected when the dialog opens, OK enabled only while the
// selection is a file-system folder.
//
// IMPORTANT: Thread-safety. User-interface thread only (COM initialised
// apartment-threaded, as the program's entry point does).
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace korvan {

constexpr UINT kFolderChooserFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_BROWSEFORCOMPUTER;
constexpr wchar_t kFolderChooserTitle[] = L"请选择游戏登录器安装路径";
// The initial folder is copied into a buffer of this many characters.
constexpr size_t kFolderBufferChars = 261;

// Fills `info` for the chooser; `buffer` (kFolderBufferChars) receives
// `initial` and is handed to the callback as its data.
void MakeFolderChooserInfo(HWND owner, const std::wstring& initial, wchar_t* buffer,
                           BROWSEINFOW* info);

// The chooser's callback: preselects the buffer's folder at
// BFFM_INITIALIZED; at BFFM_SELCHANGED enables OK only for a selection with
// a file-system path.
int CALLBACK FolderChooserCallback(HWND dialog, UINT msg, LPARAM param, LPARAM data);

// Shows the chooser; true with the chosen folder, false when cancelled.
bool ChooseFolder(HWND owner, const std::wstring& initial, std::wstring* chosen);

}  // namespace korvan
