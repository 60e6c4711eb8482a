// KorvanInstall.exe, the demo game installer that KVDownloader downloads and
// starts. It records the start (installer/marker_file.h) and shows a small
// window saying the game would now install. With the environment variable
// KORVAN_DEMO_INSTALLER_EXIT=1 it records the start and exits at once, so
// automated runs leave no window behind.
//
// Single-threaded: everything runs on the one user-interface thread.
#include <windows.h>

#include <string>

#include "installer/marker_file.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 260;
constexpr int kHeaderHeight = 72;
constexpr int kDoneButtonId = 1;
constexpr COLORREF kHeaderTop = RGB(24, 38, 72);
constexpr COLORREF kHeaderBottom = RGB(44, 86, 150);
constexpr COLORREF kBody = RGB(246, 248, 252);
constexpr COLORREF kText = RGB(40, 48, 60);
constexpr COLORREF kMuted = RGB(110, 120, 135);

struct Fonts {
  HFONT title = nullptr;
  HFONT body = nullptr;
  HFONT small = nullptr;
  ~Fonts() {
    for (HFONT f : {title, body, small})
      if (f) DeleteObject(f);
  }
};

Fonts* g_fonts = nullptr;

HFONT MakeFont(int height, int weight) {
  return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                     DEFAULT_PITCH, L"微软雅黑");
}

void FillGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom) {
  const int h = r.bottom - r.top;
  for (int y = 0; y < h; ++y) {
    const int t = h > 1 ? y * 255 / (h - 1) : 0;
    auto mix = [t](int a, int b) { return a + (b - a) * t / 255; };
    HBRUSH brush = CreateSolidBrush(RGB(mix(GetRValue(top), GetRValue(bottom)),
                                        mix(GetGValue(top), GetGValue(bottom)),
                                        mix(GetBValue(top), GetBValue(bottom))));
    RECT line{r.left, r.top + y, r.right, r.top + y + 1};
    FillRect(dc, &line, brush);
    DeleteObject(brush);
  }
}

void DrawTextAt(HDC dc, HFONT font, COLORREF color, const wchar_t* text, RECT r, UINT flags) {
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, color);
  DrawTextW(dc, text, -1, &r, flags | DT_NOPREFIX);
  SelectObject(dc, old);
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  RECT header{0, 0, client.right, kHeaderHeight};
  FillGradient(dc, header, kHeaderTop, kHeaderBottom);
  RECT body{0, kHeaderHeight, client.right, client.bottom};
  HBRUSH body_brush = CreateSolidBrush(kBody);
  FillRect(dc, &body, body_brush);
  DeleteObject(body_brush);
  SetBkMode(dc, TRANSPARENT);
  DrawTextAt(dc, g_fonts->title, RGB(255, 255, 255), L"Korvan 安装程序",
             RECT{24, 0, client.right - 24, kHeaderHeight}, DT_SINGLELINE | DT_VCENTER);
  DrawTextAt(dc, g_fonts->body, kText, L"安装包已下载并通过校验。",
             RECT{24, kHeaderHeight + 22, client.right - 24, kHeaderHeight + 50}, DT_SINGLELINE);
  DrawTextAt(dc, g_fonts->small, kMuted,
             L"这是演示版安装程序：正式版会在这里把 Korvan 安装到你选择的文件夹。",
             RECT{24, kHeaderHeight + 56, client.right - 24, kHeaderHeight + 110}, DT_WORDBREAK);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CREATE: {
      HWND button = CreateWindowExW(0, L"BUTTON", L"完成", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON,
                                    kWidth - 24 - 96, kHeight - 24 - 32, 96, 32, hwnd,
                                    reinterpret_cast<HMENU>(kDoneButtonId), nullptr, nullptr);
      SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(g_fonts->body), TRUE);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == kDoneButtonId) DestroyWindow(hwnd);
      return 0;
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

std::wstring ArgumentsOf(const wchar_t* command_line) {
  // lpCmdLine of wWinMain is already the part after the program name.
  return command_line ? command_line : L"";
}

bool ExitAtOnce() {
  wchar_t value[8] = {};
  return GetEnvironmentVariableW(L"KORVAN_DEMO_INSTALLER_EXIT", value, 8) > 0 &&
         value[0] == L'1';
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t* command_line, int show) {
  const bool recorded = installer::AppendStartLine(installer::MarkerPath(), ArgumentsOf(command_line));
  if (ExitAtOnce()) return recorded ? 0 : 1;

  Fonts fonts;
  fonts.title = MakeFont(24, FW_BOLD);
  fonts.body = MakeFont(15, FW_NORMAL);
  fonts.small = MakeFont(13, FW_NORMAL);
  g_fonts = &fonts;

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.lpszClassName = L"KorvanDemoInstaller";
  RegisterClassExW(&wc);

  RECT frame{0, 0, kWidth, kHeight};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&frame, style, FALSE);
  const int w = frame.right - frame.left;
  const int h = frame.bottom - frame.top;
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Korvan 安装程序", style,
                              (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                              (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, nullptr, nullptr,
                              instance, nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  g_fonts = nullptr;
  return recorded ? 0 : 1;
}
