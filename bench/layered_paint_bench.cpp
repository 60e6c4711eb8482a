// How much of the 30 ms frame budget one full repaint of the main window
// takes: a 685 x 494 layered window with the "mainwnd" style and a full
// control tree (panels, image buttons, one of them mid cross-fade, texts,
// a link, the progress bar, logos, the spinner) is re-composed into its
// 32-bit premultiplied surface and pushed with UpdateLayeredWindow, as
// every layered refresh does. The progress value changes every frame, as
// it does while downloading.
//
//   layered_paint_bench.exe [frames]     (needs a display: DISPLAY=:N wine ...)
//
// Prints the mean, median and 95th percentile of a whole frame, the split
// between rendering and the push, and the ratio of the mean to the budget.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "app/skin_manager.h"
#include "base/file_util.h"
#include "ctrls/alpha_draw.h"
#include "ctrls/animate_text.h"
#include "ctrls/button.h"
#include "ctrls/crop_animation_ctrl.h"
#include "ctrls/image_ctrl.h"
#include "ctrls/layered_window.h"
#include "ctrls/link_text.h"
#include "ctrls/panel.h"
#include "ctrls/progress_ctrl.h"
#include "ctrls/static_text.h"
#include "ctrls/update_layered.h"
#include "skin/skin_loader.h"
#include "upp/toolkit.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFrameBudgetMs = 30.0;  // the layered refresh throttle

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * (v.size() - 1) + 0.5))];
}

double Mean(const std::vector<double>& v) {
  return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

skin::SkinLoader& Skin() { return skin::SkinLoader::Instance(); }

// The main window's controls, laid out as the program lays them out.
struct MainTree {
  ctrls::Button top_links[3];
  ctrls::CropAnimationCtrl spinner;
  ctrls::AnimateText loading;
  ctrls::Panel<> progress_panel;
  ctrls::Panel<> folder_field;
  ctrls::StaticText texts[7];
  ctrls::Button folder_button;
  ctrls::ProgressCtrl bar;
  ctrls::Button pause;
  ctrls::LinkText promo;
  ctrls::ImageCtrl logos[4];

  void Build(ctrls::LayeredWindow& w) {
    const char* tops[3] = {"top_link_btn_1", "top_link_btn_2", "top_link_btn_3"};
    for (int i = 0; i < 3; ++i) {
      top_links[i].SetStyle(Skin().Get<skin::ButtonStyle>(tops[i]).value);
      top_links[i].SetRect(205 + 121 * i, 50, 140, 38);
      w.Add(top_links[i]);
    }
    spinner.SetFrames(Skin().FindImage(L"loading.png"), 12, 50);
    spinner.SetRect(295, 146, 104, 104);
    w.Add(spinner);
    loading.SetText(L"正在加载", false);
    loading.SetRect(320, 258, 120, 16);
    w.Add(loading);

    progress_panel.SetRect(37, 328, 618, 100);
    w.Add(progress_panel);
    const Upp::Image field = Skin().Get<Upp::Image>("path_edit_bg").value;
    folder_field.SetBackground(field);
    folder_field.SetRect(83, 8, 220, field.GetHeight());
    progress_panel.Add(folder_field);
    struct Text {
      int x, y, cx;
      const wchar_t* text;
      bool ellipsis;
    };
    const Text texts_at[7] = {
        {19, 14, 70, L"保存路径：", false},       {93, 13, 175, L"D:\\Program Files\\Korvan\\Games\\Korvan Online", true},
        {19, 46, 70, L"下载进度：", false},       {410, 46, 45, L"62%", false},
        {308, 6, 150, L"下载速度：1.2MB/s", false}, {308, 23, 150, L"356.2MB/1.1GB", false},
        {19, 75, 400, L"正在下载游戏安装程序，请稍候", false}};
    for (int i = 0; i < 7; ++i) {
      texts[i].SetText(texts_at[i].text).SetInk(Upp::Color(0xFF, 0xFF, 0xFF)).Ellipsis(texts_at[i].ellipsis);
      texts[i].SetRect(texts_at[i].x, texts_at[i].y, texts_at[i].cx, 16);
      progress_panel.Add(texts[i]);
    }
    folder_button.SetStyle(Skin().Get<skin::ButtonStyle>("folder_btn").value);
    folder_button.SetRect(275, 12, 20, 16);
    progress_panel.Add(folder_button);
    bar.SetStyle(Skin().Get<skin::ProgressCtrlStyle>("progress_update_2").value);
    bar.SetRect(76, 42, 328, 25);
    progress_panel.Add(bar);
    pause.SetStyle(Skin().Get<skin::ButtonStyle>("pause_btn").value);
    pause.SetRect(451, 5, 151, 59);
    progress_panel.Add(pause);
    promo.SetStyle(Skin().Get<skin::LinkStyle>("normal_red_link").value);
    promo.SetText(L"新服火爆开启");
    promo.SetRect(470, 75, 90, 16);
    progress_panel.Add(promo);

    const char* logo_keys[4] = {"logo_ad", "logo_lm", "logo_brisca", "logo_sina"};
    const int logo_x[4] = {566, 57, 173, 540};
    for (int i = 0; i < 4; ++i) {
      const Upp::Image img = Skin().Get<Upp::Image>(logo_keys[i]).value;
      logos[i].Add(img, false);
      if (i == 0) {
        logos[i].SetRect(logo_x[i], 73, img.GetWidth(), img.GetHeight());
        progress_panel.Add(logos[i]);
      } else {
        logos[i].SetRect(logo_x[i], 471 - img.GetHeight(), img.GetWidth(), img.GetHeight());
        w.Add(logos[i]);
      }
    }
    // The worst frame: a cross-fade is computed per pixel at each paint.
    pause.MouseEnter(Upp::Point(1, 1), 0);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
  Upp::InitToolkit(GetModuleHandleW(nullptr));
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring data = std::wstring(temp) + L"kv_paint_bench_" + std::to_wstring(GetCurrentProcessId());
  base::CreateFolderTree(data);
  int status = 0;
  {
    korvan::SkinManager manager(Skin());
    manager.LoadSkin(data);
    if (Skin().FindImage(L"mainbg.png").IsEmpty()) {
      std::printf("the skin did not load\n");
      status = 1;
    }
    ctrls::LayeredWindow wnd;
    MainTree tree;
    wnd.SetStyle("mainwnd");
    wnd.NoCenter().NoActivate();
    wnd.SetRect(100, 100, 785, 594);
    tree.Build(wnd);
    if (status == 0 && wnd.Create(nullptr)) {
      wnd.Show();
      for (int i = 0; i < 20; ++i) {
        Pump();
        Sleep(10);
      }
      ctrls::LayeredWindow::Content& content = wnd.GetContent();
      // Frames are driven here, one after the other; no deferred refresh
      // may slip in between.
      content.SuppressRefresh(true);
      const Upp::Size size = content.GetSize();
      const int pushes_before = wnd.GetPushCount();
      std::vector<double> whole, render, push;
      for (int i = 0; i < frames; ++i) {
        tree.bar.Set((i * 997) % 100000, 100000);
        const auto t0 = Clock::now();
        wnd.UpdateScreenNow();
        whole.push_back(Ms(Clock::now() - t0));
      }
      const bool pushed = wnd.GetPushCount() - pushes_before == frames;
      // The same frame split in its two halves.
      RECT wr;
      GetWindowRect(wnd.GetHWND(), &wr);
      for (int i = 0; i < frames; ++i) {
        tree.bar.Set((i * 997) % 100000, 100000);
        const auto t0 = Clock::now();
        ctrls::AlphaDraw frame(size);
        content.PaintTree(frame);
        const auto t1 = Clock::now();
        ctrls::PushLayeredFrame(wnd.GetHWND(), frame, Upp::Point(wr.left, wr.top), 255);
        const auto t2 = Clock::now();
        render.push_back(Ms(t1 - t0));
        push.push_back(Ms(t2 - t1));
      }
      content.SuppressRefresh(false);
      const double mean = Mean(whole);
      std::printf("layered repaint of %dx%d, %d frames%s\n", size.cx, size.cy, frames,
                  pushed ? "" : " (some pushes failed)");
      std::printf("whole frame: mean %.2f ms, median %.2f ms, p95 %.2f ms, max %.2f ms\n", mean,
                  Percentile(whole, 0.5), Percentile(whole, 0.95), Percentile(whole, 1.0));
      std::printf("render into the surface: mean %.2f ms; UpdateLayeredWindow: mean %.2f ms\n", Mean(render),
                  Mean(push));
      std::printf("ratio mean frame / %.0f ms frame budget: %.3f\n", kFrameBudgetMs, mean / kFrameBudgetMs);
      if (!pushed) status = 1;
    } else if (status == 0) {
      std::printf("the window could not be created (no display?)\n");
      status = 1;
    }
  }
  base::RemoveFolderTree(data);
  Upp::ShutdownToolkit();
  return status;
}
