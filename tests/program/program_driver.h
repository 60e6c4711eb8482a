// Driving the real KVDownloader.exe from a test: starting it with no share
// of the test's output, finding its windows, and real mouse input.
//
// Test thread only.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/process_util.h"
#include "base/scoped_handle.h"
#include "common/test_util.h"

namespace programtest {

// Whether `process` has loaded the engine, which it does only once the
// tool and the engine are unpacked.
inline bool EngineLoaded(HANDLE process) {
  HMODULE modules[512];
  DWORD needed = 0;
  if (!K32EnumProcessModules(process, modules, sizeof(modules), &needed)) return false;
  const DWORD count = std::min<DWORD>(needed / sizeof(HMODULE), 512);
  for (DWORD i = 0; i < count; ++i) {
    wchar_t name[MAX_PATH] = L"";
    if (K32GetModuleBaseNameW(process, modules[i], name, MAX_PATH) && lstrcmpiW(name, L"FetchCore.dll") == 0) {
      return true;
    }
  }
  return false;
}

// Waits (up to 15 s) until the program has unpacked and loaded its engine,
// or has ended. Killing it while it creates the unpacking tool's process
// can strand that process under Wine.
inline void WaitUntilUnpacked(HANDLE process) {
  testutil::PumpUntil([&] { return WaitForSingleObject(process, 0) != WAIT_TIMEOUT || EngineLoaded(process); },
                      15000);
}

class Program {
 public:
  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    if (!info_.hProcess) return;
    WaitUntilUnpacked(info_.hProcess);
    TerminateProcess(info_.hProcess, 1);
    // Until it is gone: a copy still holding the single-instance mutex
    // would turn the next test's program into a second copy.
    WaitForSingleObject(info_.hProcess, 20000);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
  bool Start(const std::wstring& exe, const std::wstring& args = L"") {
    std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    // Under Wine a child would otherwise share this test's output.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    base::ScopedHandle null_device(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                               OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW si = {sizeof(si)};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = null_device.Get();
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    return CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &si,
                          &info_) != 0;
  }
  DWORD pid() const { return info_.dwProcessId; }
  DWORD WaitExit(DWORD ms) {
    WaitForSingleObject(info_.hProcess, ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  bool Running() { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  // Ends the process at once, as a crash or the task manager would (the
  // unpacking is left to finish first).
  void Kill() {
    WaitUntilUnpacked(info_.hProcess);
    TerminateProcess(info_.hProcess, 9);
    WaitForSingleObject(info_.hProcess, 10000);
  }

 private:
  PROCESS_INFORMATION info_ = {};
};

// Top-level windows of process `pid` that `match` accepts.
template <class Match>
std::vector<HWND> WindowsOf(DWORD pid, Match match) {
  std::vector<HWND> found;
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, nullptr, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid && match(w)) found.push_back(w);
  }
  return found;
}

inline RECT RectOf(HWND w) {
  RECT r = {};
  GetWindowRect(w, &r);
  return r;
}
inline int Width(const RECT& r) { return r.right - r.left; }
inline int Height(const RECT& r) { return r.bottom - r.top; }

inline HWND MainWindowOf(DWORD pid) {
  auto found = WindowsOf(pid, [](HWND w) {
    const RECT r = RectOf(w);
    return (GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_LAYERED) && Width(r) == 685 && Height(r) == 494;
  });
  return found.empty() ? nullptr : found[0];
}

inline void MouseAt(int x, int y, DWORD flags) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
  SendInput(1, &in, sizeof(in));
}

// Ends every unpacking tool the program started. Under Wine a program
// killed while it creates the tool's process can leave that process stuck
// half-started, with no image path to find it by and holding the test
// runner's output pipe; so by name, and waiting for each to end.
inline void EndUnpackingTools() {
  for (DWORD pid : base::FindProcessesByName(L"7za.exe")) {
    base::ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process.IsValid()) continue;
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), 5000);
  }
}

inline void ClickAt(int x, int y) {
  MouseAt(x, y, 0);
  testutil::PumpFor(100);
  MouseAt(x, y, MOUSEEVENTF_LEFTDOWN);
  testutil::PumpFor(60);
  MouseAt(x, y, MOUSEEVENTF_LEFTUP);
}


}  // namespace programtest
