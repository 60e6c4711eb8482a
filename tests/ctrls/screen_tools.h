// The X server as a user sees it, for tests of real windows: xdotool moves
// and clicks the pointer, ImageMagick's `import` reads the screen back.
// Header-only so the gallery's test program can use it too.
//
// Both tools are Unix programs started through /bin/sh. Wine does not
// signal the handle of a Unix process, so the shell writes the command's
// exit status into a marker file when it is done, and the caller pumps
// messages until the marker appears (a window's move loop or the menu's
// focus change runs on this thread meanwhile). The children get NUL as
// their standard handles: under Wine they would otherwise share the test's
// output and ctest would wait for them.
//
// Test thread only (it pumps that thread's messages).
#pragma once

#include <windows.h>

#include <string>

#include "common/test_util.h"
#include "upp/image.h"
#include "upp/image_decode.h"

namespace screen_test {

// A Unix path as this (Wine) process opens it.
inline std::wstring DosPath(const std::string& unix_path) {
  std::wstring path = L"Z:";
  for (char c : unix_path) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

inline bool HaveTool(const char* unix_path) {
  return GetFileAttributesW(DosPath(unix_path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Why the screen cannot be driven here, or empty when it can.
inline std::string MissingScreenTools() {
  wchar_t display[64] = {};
  if (!GetEnvironmentVariableW(L"DISPLAY", display, 64)) return "no DISPLAY";
  if (!HaveTool("/usr/bin/xdotool")) return "xdotool is not installed";
  if (!HaveTool("/usr/bin/import")) return "ImageMagick's import is not installed";
  return std::string();
}

inline std::string UniqueTmp(const char* what) {
  static int run = 0;
  return "/tmp/kv_" + std::string(what) + "_" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(++run);
}

// Runs `command` (sh syntax, no double quotes) and pumps messages until it
// has finished. True when it ran and exited with status 0 within the time.
inline bool RunShell(const std::string& command, DWORD timeout_ms = 30000) {
  const std::string marker = UniqueTmp("done");
  const std::wstring marker_dos = DosPath(marker);
  DeleteFileW(marker_dos.c_str());
  const std::string line = "/bin/sh -c \"" + command + "; echo $? > " + marker + "\"";
  std::wstring cmd(line.begin(), line.end());
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr);
  if (null_device == INVALID_HANDLE_VALUE) return false;
  STARTUPINFOW si = {sizeof(si)};
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = null_device;
  PROCESS_INFORMATION pi = {};
  const BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(null_device);
  if (!started) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::string status;
  testutil::PumpUntil(
      [&] {
        status = testutil::ReadFileBytes(marker_dos);
        return !status.empty() && status.back() == '\n';
      },
      timeout_ms);
  DeleteFileW(marker_dos.c_str());
  return status == "0\n";
}

// xdotool with `args`, e.g. "mousemove 10 20 click 1".
inline bool Xdotool(const std::string& args) { return RunShell("/usr/bin/xdotool " + args); }

inline bool MovePointer(int x, int y) {
  return Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y));
}

// Somewhere no test puts a window, so the pointer disturbs nobody.
inline bool ParkPointer() { return MovePointer(1023, 767); }

// The whole screen as `import` sees it (opaque pixels); empty on failure.
inline Upp::Image GrabScreen(const std::string& keep_as = std::string()) {
  const std::string file = keep_as.empty() ? UniqueTmp("shot") + ".png" : keep_as;
  Upp::Image shot;
  if (RunShell("/usr/bin/import -window root -display $DISPLAY " + file)) shot = Upp::LoadImageFile(DosPath(file));
  if (keep_as.empty()) DeleteFileW(DosPath(file).c_str());
  return shot;
}

// Grabs the screen until `good` accepts it or `timeout_ms` passes; returns
// the last grab. For changes that reach the X server a little later than
// the call that made them.
template <class Pred>
Upp::Image GrabScreenUntil(Pred good, DWORD timeout_ms = 5000) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    testutil::PumpFor(50);
    Upp::Image shot = GrabScreen();
    if ((!shot.IsEmpty() && good(shot)) || GetTickCount64() >= end) return shot;
  }
}

inline bool IsRgb(Upp::RGBA p, int r, int g, int b) { return p.r == r && p.g == g && p.b == b; }

}  // namespace screen_test
