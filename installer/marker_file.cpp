#include "installer/marker_file.h"

#include <windows.h>

#include <cstdio>

#include "base/scoped_handle.h"

namespace installer {

std::wstring MarkerPath() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring folder(path, n);
  const size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? L"." : folder.substr(0, slash);
  return folder + L"\\KorvanInstall.log";
}

bool AppendStartLine(const std::wstring& marker_path, const std::wstring& arguments) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t head[96];
  swprintf(head, 96, L"started %04u-%02u-%02u %02u:%02u:%02u pid=%lu args=", now.wYear, now.wMonth,
           now.wDay, now.wHour, now.wMinute, now.wSecond, GetCurrentProcessId());
  const std::wstring line = head + arguments + L"\r\n";
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string utf8(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &utf8[0], bytes,
                      nullptr, nullptr);
  base::ScopedHandle file(CreateFileW(marker_path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
         written == utf8.size();
}

}  // namespace installer
