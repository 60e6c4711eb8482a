#include "app/instance_wnd_manager.h"

#include "app/client_manager.h"
#include "app/main_wnd_manager.h"
#include "base/controller.h"
#include "upp/toolkit.h"

namespace korvan {

InstanceWndManager::~InstanceWndManager() { DestroyGuardWindow(); }

bool InstanceWndManager::CreateGuardWindow() {
  if (window_ && IsWindow(window_)) return true;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &InstanceWndManager::WindowProc;
  wc.hInstance = Upp::ToolkitInstance();
  wc.lpszClassName = kInstanceName;
  RegisterClassW(&wc);  // fails harmlessly when the class exists already
  window_ = CreateWindowExW(0, kInstanceName, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                            Upp::ToolkitInstance(), nullptr);
  return window_ && IsWindow(window_);
}

void InstanceWndManager::DestroyGuardWindow() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
  window_ = nullptr;
}

LRESULT CALLBACK InstanceWndManager::WindowProc(HWND hwnd, UINT msg, WPARAM wparam,
                                                LPARAM lparam) {
  if (msg == kWakeUpMessage && base::GetController()) {
    GetLogicObject<MainWndManager>()->Activate();
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace korvan
