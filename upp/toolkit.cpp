#include "upp/toolkit.h"

#include "upp/timer_queue.h"

namespace Upp {
namespace {

constexpr wchar_t kTimerWindowClass[] = L"UPP_TIMER_WINDOW";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 10;

HINSTANCE g_instance = nullptr;
HWND g_timer_window = nullptr;
DWORD g_ui_thread = 0;

LRESULT CALLBACK TimerWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_TIMER && wparam == kTimerId) {
    ProcessTimeCallbacks();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace

bool InitToolkit(HINSTANCE instance) {
  if (g_timer_window) return true;
  g_instance = instance ? instance : GetModuleHandleW(nullptr);
  g_ui_thread = GetCurrentThreadId();

  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = TimerWindowProc;
  wc.hInstance = g_instance;
  wc.lpszClassName = kTimerWindowClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  g_timer_window = CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                   nullptr, g_instance, nullptr);
  if (!g_timer_window) return false;
  return SetTimer(g_timer_window, kTimerId, kTimerPeriodMs, nullptr) != 0;
}

void ShutdownToolkit() {
  if (g_timer_window) {
    KillTimer(g_timer_window, kTimerId);
    DestroyWindow(g_timer_window);
    g_timer_window = nullptr;
  }
}

HINSTANCE ToolkitInstance() { return g_instance ? g_instance : GetModuleHandleW(nullptr); }

bool IsUIThread() { return g_ui_thread == 0 || g_ui_thread == GetCurrentThreadId(); }

DWORD UIThreadId() { return g_ui_thread; }

}  // namespace Upp

#include <cassert>

#include "log/log.h"

namespace Upp {

void ReportWrongThread(const char* where) {
  KV_LOG_FATAL << "called off the user-interface thread: " << where;
  assert(!"called off the user-interface thread");
}

}  // namespace Upp
