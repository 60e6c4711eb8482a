// A child process for the process tests. The tests copy it under other names
// and into other folders, start it, and look at how it ends.
//
//   kv_test_child.exe sleep <ms>            sleeps, then exits with 0
//   kv_test_child.exe exit <code>           exits with <code> at once
//   kv_test_child.exe touch <path>          writes its own command line to
//                                           <path>, then exits with 0
//   kv_test_child.exe wait-file <path> <ms> exits with 0 once <path> exists,
//                                           with 3 after <ms> without it
//
//   kv_test_child.exe hold-desktop          keeps a hidden window open until
//                                           killed (see scripts/test)
//   kv_test_child.exe                       (no arguments, as an installer is
//                                           started) adds its command line
//                                           to started.txt beside itself
//
// Unknown commands exit with 2. Single-threaded.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "base/scoped_handle.h"

namespace {

DWORD ParseNumber(const wchar_t* text) {
  return static_cast<DWORD>(wcstoul(text, nullptr, 10));
}

// Writes this process's command line to `path`, after what is there when
// `append` (so that a test can count starts).
int Touch(const wchar_t* path, bool append = false) {
  HANDLE file = CreateFileW(path, append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            append ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 4;
  const std::wstring line = GetCommandLineW();
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)),
                            &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 4;
}

// Wine starts its desktop process for the first program that makes a
// window, and that process inherits the program's output. Holding a window
// from a detached process keeps the desktop owned by nobody ctest waits on.
int HoldDesktop() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = L"KV_HOLD_DESKTOP";
  RegisterClassW(&wc);
  if (!CreateWindowExW(0, L"KV_HOLD_DESKTOP", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                       nullptr, nullptr)) {
    return 5;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

int WaitFile(const wchar_t* path, DWORD limit_ms) {
  const ULONGLONG end = GetTickCount64() + limit_ms;
  while (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount64() >= end) return 3;
    Sleep(20);
  }
  return 0;
}

}  // namespace

// A narrow main so the helper needs no -municode; the arguments are read
// wide from the command line.
int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  base::ScopedLocalMem owner(argv);
  if (argv && argc == 1) {
    wchar_t self[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring marker(self, n);
    marker = marker.substr(0, marker.find_last_of(L'\\')) + L"\\started.txt";
    return Touch(marker.c_str(), true);
  }
  if (argv && argc == 2 && std::wstring(argv[1]) == L"hold-desktop") return HoldDesktop();
  if (!argv || argc < 3) return 2;
  const std::wstring command = argv[1];
  if (command == L"sleep") {
    Sleep(ParseNumber(argv[2]));
    return 0;
  }
  if (command == L"exit") return static_cast<int>(ParseNumber(argv[2]));
  if (command == L"touch") return Touch(argv[2]);
  if (command == L"wait-file" && argc >= 4) return WaitFile(argv[2], ParseNumber(argv[3]));
  return 2;
}
