// Process entry of KVDownloader.exe.
#include <objbase.h>
#include <windows.h>
// GDI+ headers need min/max and the COM declarations above.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <commctrl.h>
#include <gdiplus.h>

#include "app/run_application.h"
#include "base/dll_search.h"
#include "ctrls/shell_notifier.h"
#include "base/message_loop.h"
#include "upp/toolkit.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR command_line, int) {
  // Before anything loads a DLL by name: none may come from our folder.
  base::RestrictDllSearchToSystem();
  CoInitialize(nullptr);
  // Forces the platform's window-procedure thunks to be set up before any
  // window exists.
  DefWindowProcW(nullptr, 0, 0, 0);

  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);

  base::AppModule::Get().Init(instance);

  Gdiplus::GdiplusStartupInput gdiplus_input;
  ULONG_PTR gdiplus_token = 0;
  Gdiplus::GdiplusStartup(&gdiplus_token, &gdiplus_input, nullptr);

  Upp::InitToolkit(instance);

  int result = korvan::RunApplication(command_line ? command_line : L"");
  // The tray icon's removal may still be on its way to a slow shell.
  ctrls::FlushShellNotify(3000);

  base::AppModule::Get().Term();
  CoUninitialize();
  Gdiplus::GdiplusShutdown(gdiplus_token);
  return result;
}
