#include "app/ui/folder_chooser.h"

#include <cwchar>

#include "log/log.h"

namespace korvan {

void MakeFolderChooserInfo(HWND owner, const std::wstring& initial, wchar_t* buffer,
                           BROWSEINFOW* info) {
  const size_t n = initial.size() < kFolderBufferChars - 1 ? initial.size() : kFolderBufferChars - 1;
  wmemcpy(buffer, initial.data(), n);
  buffer[n] = L'\0';
  *info = BROWSEINFOW{};
  info->hwndOwner = owner;
  info->lpszTitle = kFolderChooserTitle;
  info->ulFlags = kFolderChooserFlags;
  info->lpfn = &FolderChooserCallback;
  info->lParam = reinterpret_cast<LPARAM>(buffer);
}

int CALLBACK FolderChooserCallback(HWND dialog, UINT msg, LPARAM param, LPARAM data) {
  if (msg == BFFM_INITIALIZED) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  } else if (msg == BFFM_SELCHANGED) {
    wchar_t path[MAX_PATH] = L"";
    const auto* item = reinterpret_cast<PCIDLIST_ABSOLUTE>(param);
    const BOOL has_path = item && SHGetPathFromIDListW(item, path) && path[0] != L'\0';
    SendMessageW(dialog, BFFM_ENABLEOK, 0, has_path ? TRUE : FALSE);
  }
  return 0;
}

bool ChooseFolder(HWND owner, const std::wstring& initial, std::wstring* chosen) {
  wchar_t buffer[kFolderBufferChars];
  BROWSEINFOW info;
  MakeFolderChooserInfo(owner, initial, buffer, &info);
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return false;  // cancelled
  wchar_t path[MAX_PATH] = L"";
  const bool ok = SHGetPathFromIDListW(item, path) && path[0] != L'\0';
  CoTaskMemFree(item);
  if (!ok) {
    KV_LOG_ERROR << "korvan::ChooseFolder SHGetPathFromIDList failed, error " << GetLastError();
    return false;
  }
  *chosen = path;
  return true;
}

}  // namespace korvan
