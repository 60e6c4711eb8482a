// How long the skin set-up takes at start-up, as a share of the whole
// start-up and against GDI+ decoding the same images.
//
//   skin_load_bench.exe [rounds]
//
// The start-up peer is this program run again as a child with --startup:
// COM, GDI+ and the toolkit come up, the skin is set up, and the main
// window's background is pushed to a layered window once - the program's
// road to its first frame. The child is timed from CreateProcess to its
// exit, so process creation under the platform counts too, as it does for
// the user.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/skin_manager.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "skin/mini_unpak.h"
#include "skin/skin_loader.h"
#include "upp/image.h"
#include "upp/toolkit.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

std::wstring TempFolder(const wchar_t* name) {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, buffer);
  std::wstring path = std::wstring(buffer) + name + std::to_wstring(GetCurrentProcessId());
  base::CreateFolderTree(path);
  return path;
}

class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  }
  ~GdiplusSession() { Gdiplus::GdiplusShutdown(token_); }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

 private:
  ULONG_PTR token_ = 0;
};

struct ScreenDC {
  HDC dc = GetDC(nullptr);
  ~ScreenDC() { ReleaseDC(nullptr, dc); }
};
struct MemoryDC {
  HDC dc;
  explicit MemoryDC(HDC like) : dc(CreateCompatibleDC(like)) {}
  ~MemoryDC() { DeleteDC(dc); }
};
struct Bitmap {
  HBITMAP bitmap = nullptr;
  ~Bitmap() {
    if (bitmap) DeleteObject(bitmap);
  }
};
struct Selection {
  HDC dc;
  HGDIOBJ old;
  Selection(HDC d, HGDIOBJ o) : dc(d), old(SelectObject(d, o)) {}
  ~Selection() { SelectObject(dc, old); }
};
struct Window {
  HWND hwnd = nullptr;
  ~Window() {
    if (hwnd) DestroyWindow(hwnd);
  }
};

// The program's road to its first frame, minus the windows' own controls.
int RunStartup() {
  CoInitialize(nullptr);
  int result = 1;
  {
    GdiplusSession gdiplus;
    Upp::InitToolkit(GetModuleHandleW(nullptr));
    const std::wstring data = TempFolder(L"kv_bench_child_");
    skin::SkinLoader& loader = skin::SkinLoader::Instance();
    korvan::SkinManager manager(loader);
    manager.LoadSkin(data);
    const Upp::Image bg = loader.FindImage(L"mainbg.png");

    WNDCLASSEXW wc = {sizeof(wc)};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KV_BENCH_LAYERED";
    RegisterClassExW(&wc);
    Window window;
    window.hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0,
                                  685, 494, nullptr, nullptr, wc.hInstance, nullptr);
    if (window.hwnd && !bg.IsEmpty()) {
      BITMAPINFO bi = {};
      bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
      bi.bmiHeader.biWidth = bg.GetWidth();
      bi.bmiHeader.biHeight = -bg.GetHeight();
      bi.bmiHeader.biPlanes = 1;
      bi.bmiHeader.biBitCount = 32;
      ScreenDC screen;
      MemoryDC memory(screen.dc);
      void* bits = nullptr;
      Bitmap dib;
      dib.bitmap = CreateDIBSection(screen.dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
      if (dib.bitmap && bits) {
        std::memcpy(bits, bg.Pixels(), static_cast<size_t>(bg.GetWidth()) * bg.GetHeight() * 4);
        Selection select(memory.dc, dib.bitmap);
        POINT origin = {0, 0};
        SIZE size = {bg.GetWidth(), bg.GetHeight()};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        if (UpdateLayeredWindow(window.hwnd, screen.dc, &origin, &size, memory.dc, &origin, 0, &blend,
                                ULW_ALPHA))
          result = 0;
      }
    }
    Upp::ShutdownToolkit();
    base::RemoveFolderTree(data);
  }
  CoUninitialize();
  return result;
}

double TimeChildStartup() {
  wchar_t exe[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --startup";
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  const auto start = Clock::now();
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return -1;
  base::ScopedHandle process(pi.hProcess);
  base::ScopedHandle thread(pi.hThread);
  WaitForSingleObject(process.Get(), 60000);
  const double ms = Ms(Clock::now() - start);
  DWORD code = 1;
  GetExitCodeProcess(process.Get(), &code);
  return code == 0 ? ms : -1;
}

struct ImageDisposer {
  void operator()(Gdiplus::GpBitmap* b) const { Gdiplus::DllExports::GdipDisposeImage(b); }
};
struct ComReleaser {
  void operator()(IUnknown* p) const { p->Release(); }
};

// Every PNG of SKIN.ZIP, as GDI+ would decode it for us.
double TimeGdiplusDecode(const std::vector<std::string>& pngs) {
  using namespace Gdiplus::DllExports;
  const auto start = Clock::now();
  for (const std::string& png : pngs) {
    std::unique_ptr<IStream, ComReleaser> stream(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(png.data()), static_cast<UINT>(png.size())));
    if (!stream) continue;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromStream(stream.get(), &bitmap) == Gdiplus::Ok && bitmap) {
      std::unique_ptr<Gdiplus::GpBitmap, ImageDisposer> owned(bitmap);
      UINT w = 0, h = 0;
      GdipGetImageWidth(bitmap, &w);
      GdipGetImageHeight(bitmap, &h);
      Gdiplus::GpRect rect(0, 0, static_cast<INT>(w), static_cast<INT>(h));
      Gdiplus::BitmapData data = {};
      if (GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) ==
          Gdiplus::Ok)
        GdipBitmapUnlockBits(bitmap, &data);
    }
  }
  return Ms(Clock::now() - start);
}

std::vector<std::string> SkinPngs(const std::wstring& folder) {
  std::vector<std::string> pngs;
  const std::wstring archive = folder + L"\\bench_skin.sk";
  if (!base::ExtractResource(L"SKIN.ZIP", L"ZIP", archive)) return pngs;
  CMiniUnPak zip;
  if (zip.OpenArchive(archive)) {
    for (const auto& entry : zip.Entries()) {
      std::string bytes(entry.second.data_size, '\0');
      if (!bytes.empty() && zip.ReadEntry(entry.first, &bytes[0], entry.second.data_size) > 0)
        pngs.push_back(bytes);
    }
  }
  DeleteFileW(archive.c_str());
  return pngs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--startup") == 0) return RunStartup();
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 11;

  CoInitialize(nullptr);
  GdiplusSession gdiplus;
  Upp::InitToolkit(GetModuleHandleW(nullptr));
  const std::wstring data = TempFolder(L"kv_bench_");

  std::vector<double> skin_ms, gdiplus_ms, startup_ms;
  const std::vector<std::string> pngs = SkinPngs(data);
  size_t images = 0;
  for (int i = 0; i < rounds; ++i) {
    skin::SkinLoader loader;  // a fresh store each round, as at a real start
    korvan::SkinManager manager(loader);
    const auto start = Clock::now();
    manager.LoadSkin(data);
    skin_ms.push_back(Ms(Clock::now() - start));
    images = loader.ImageCount();
    gdiplus_ms.push_back(TimeGdiplusDecode(pngs));
  }
  for (int i = 0; i < std::max(3, rounds / 2); ++i) {
    const double ms = TimeChildStartup();
    if (ms >= 0) startup_ms.push_back(ms);
  }
  base::RemoveFolderTree(data);
  Upp::ShutdownToolkit();

  const double skin = Median(skin_ms), decode = Median(gdiplus_ms), startup = Median(startup_ms);
  std::printf("skin set-up (%zu images, median of %d): %.1f ms\n", images, rounds, skin);
  std::printf("GDI+ decode of the same %zu PNGs (median of %d): %.1f ms\n", pngs.size(), rounds, decode);
  if (startup > 0) {
    std::printf("whole start-up in a child process (median of %zu): %.1f ms\n", startup_ms.size(), startup);
    std::printf("ratio skin set-up / whole start-up: %.3f\n", skin / startup);
  } else {
    std::printf("whole start-up: the child did not finish (no display?)\n");
  }
  std::printf("ratio skin set-up / GDI+ decode: %.3f\n", decode > 0 ? skin / decode : 0.0);
  CoUninitialize();
  return 0;
}
