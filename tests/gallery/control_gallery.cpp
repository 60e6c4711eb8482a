#include "gallery/control_gallery.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

#include "skin/skin_loader.h"
#include "upp/draw.h"

namespace gallery {
namespace {

using Upp::Color;
using Upp::Image;
using Upp::Point;

skin::SkinLoader& Skin() { return skin::SkinLoader::Instance(); }

Image SkinImage(const char* key) { return Skin().Get<Image>(key).value; }
const skin::ButtonStyle& ButtonStyle(const char* key) { return Skin().Get<skin::ButtonStyle>(key).value; }
const skin::LinkStyle& LinkStyle(const char* key) { return Skin().Get<skin::LinkStyle>(key).value; }

const Color kCaption(0x4A, 0x55, 0x63);
const Color kInk(0x33, 0x33, 0x33);
const Color kWhite(0xFF, 0xFF, 0xFF);
const Color kGray(0x71, 0x71, 0x71);
const Color kRed(0xFF, 0x00, 0x00);

// A cx x cy rounded rectangle of `c` with antialiased corners of radius r,
// its corners kept by nine-grid margins.
Image RoundedRect(int cx, int cy, int r, Color c) {
  Upp::ImageBuffer b(Upp::Size(cx, cy));
  for (int y = 0; y < cy; ++y)
    for (int x = 0; x < cx; ++x) {
      // Distance past the corner circle's centre, for pixels in a corner.
      const double px = x + 0.5, py = y + 0.5;
      const double dx = px < r ? r - px : px > cx - r ? px - (cx - r) : 0;
      const double dy = py < r ? r - py : py > cy - r ? py - (cy - r) : 0;
      const double cover = std::min(1.0, std::max(0.0, r + 0.5 - std::sqrt(dx * dx + dy * dy)));
      b.Row(y)[x] = Upp::Premultiply(c.GetR(), c.GetG(), c.GetB(), static_cast<int>(cover * 255 + 0.5));
    }
  Image img = b.Finish();
  img.SetHotSpot(Point(r, r));
  img.Set2ndSpot(Point(r, r));
  return img;
}

Image Flat(Color c) {
  Upp::ImageBuffer b(Upp::Size(4, 4));
  for (int i = 0; i < 16; ++i) b.Pixels()[i] = Upp::Premultiply(c.GetR(), c.GetG(), c.GetB(), 255);
  return b.Finish();
}

int TextWidth(const std::wstring& text) { return Upp::GetTextSize(text, Upp::StdFont()).cx; }

}  // namespace

const ctrls::ScrollBar::Style& GalleryScrollBarStyle() {
  static const ctrls::ScrollBar::Style* style = [] {
    auto* s = new ctrls::ScrollBar::Style;  // kept until exit, like the skin's records
    s->barsize = 10;
    s->arrowsize = 0;
    s->thumbmin = 24;
    // Shades of the skin's dark panels.
    const Color thumbs[4] = {Color(0x5A, 0x66, 0x78), Color(0x74, 0x81, 0x95), Color(0x8E, 0x9B, 0xB0),
                             Color(0x34, 0x3B, 0x47)};
    for (int i = 0; i < 4; ++i) {
      s->vupper[i] = s->vlower[i] = Flat(Color(0x22, 0x29, 0x35));
      s->vthumb[i] = RoundedRect(10, 24, 5, thumbs[i]);
    }
    return s;
  }();
  return *style;
}

ControlGallery::ControlGallery() = default;

ControlGallery::~ControlGallery() {
  for (ctrls::TopWindow* w : {static_cast<ctrls::TopWindow*>(&menu_), static_cast<ctrls::TopWindow*>(&sheet_),
                              static_cast<ctrls::TopWindow*>(&main_), &desk_})
    if (w->IsOpen()) DestroyWindow(w->GetHWND());
}

ctrls::StaticText& ControlGallery::Label(Upp::Ctrl& parent, int x, int y, int cx, const std::wstring& text,
                                         Color ink) {
  labels_.push_back(std::make_unique<ctrls::StaticText>());
  ctrls::StaticText& label = *labels_.back();
  label.SetText(text).SetInk(ink);
  label.SetRect(x, y, cx, 16);
  parent.Add(label);
  return label;
}

bool ControlGallery::Build() {
  BuildDesk();
  if (!desk_.Create(nullptr)) return false;
  desk_.Show();
  BuildMain();
  if (!main_.Create(nullptr)) return false;
  main_.Show();
  BuildView();
  if (!sheet_.Create(nullptr)) return false;
  sheet_.Show();
  SetWindowPos(desk_.GetHWND(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  // Last: the menu keeps the focus, and hides when it loses it.
  BuildMenu();
  return menu_.IsShown();
}

void ControlGallery::BuildDesk() {
  using L = Layout;
  desk_.NoCenter().NoActivate();
  desk_.SetRect(0, 0, L::kScreenCx, L::kScreenCy);
  desk_.EnableShadow(false);
  desk_.SetBackgroundColor(Color(L::kDeskR, L::kDeskG, L::kDeskB));
  Upp::Ctrl& desk = desk_.GetTopCtrl();

  Label(desk, L::kMainX, 9, 680,
        L"LayeredWindow \"mainwnd\" + shadow: top links, CropAnimationCtrl + AnimateText, progress panel",
        kCaption);

  // The four looks of one button.
  Label(desk, L::kButtonsX, L::kButtonsY - 24, 680, L"Button \"download_begin_btn\": look0 .. look3", kCaption);
  const wchar_t* looks[4] = {L"normal", L"hot", L"pressed", L"disabled"};
  for (int i = 0; i < 4; ++i) {
    ctrls::Button& b = state_buttons_[i];
    b.SetStyle(ButtonStyle("download_begin_btn"));
    // Hot and pressed come from the button's own input handlers, before
    // the button joins a window, so no window takes the mouse capture.
    if (i == 1) b.MouseEnter(Point(1, 1), 0);
    if (i == 2) b.LeftDown(Point(1, 1), Upp::K_LBUTTON);
    if (i == 3) b.Disable();
    const int x = L::kButtonsX + i * L::kButtonStep;
    b.SetRect(x, L::kButtonsY, 151, 59);
    desk.Add(b);
    Label(desk, x + (151 - TextWidth(looks[i])) / 2, L::kButtonsY + 62, 151, looks[i], kCaption);
  }

  // Texts and links.
  const int ty = L::kButtonsY + 92;
  Label(desk, L::kButtonsX, ty, 330, L"StaticText: one line with Ellipsis", kCaption);
  cut_line_.SetText(L"安装目录：D:\\Program Files\\Korvan\\Games\\Downloads\\KorvanInstall.exe")
      .SetInk(kInk)
      .Ellipsis();
  cut_line_.SetRect(L::kButtonsX, ty + 22, 300, 16);
  desk.Add(cut_line_);
  Label(desk, L::kButtonsX + 340, ty, 330, L"StaticText: MultiLine, line spacing 0.3", kCaption);
  paragraph_
      .SetText(L"官方下载器在后台下载游戏安装程序，支持暂停、继续和断点续传；"
               L"下载完成后自动校验文件，然后启动安装。")
      .SetInk(kInk)
      .MultiLine()
      .SetLineSpacing(0.3f);
  paragraph_.SetRect(L::kButtonsX + 340, ty + 22, 330, 64);
  desk.Add(paragraph_);
  Label(desk, L::kButtonsX, ty + 50, 300, L"LinkText: normal, hovered", kCaption);
  links_[0].SetStyle(LinkStyle("normal_orange_link"));
  links_[0].SetText(L"官方网站");
  links_[1].SetStyle(LinkStyle("normal_orange_link"));
  links_[1].SetText(L"游戏论坛");
  links_[1].MouseEnter(Point(1, 1), 0);  // textfont1: underlined
  links_[0].SetRect(L::kButtonsX, ty + 72, 60, 16);
  links_[1].SetRect(L::kButtonsX + 80, ty + 72, 60, 16);
  desk.Add(links_[0]).Add(links_[1]);

  // Right column: spinner frames, an image strip, progress bars.
  const int rx = L::kViewX;
  int y = L::kViewY + L::kViewCy + 22;
  Label(desk, rx, y, 264, L"CropAnimationCtrl: frames 0, 3, 6, 9", kCaption);
  spinner_tile_.SetBackgroundColor(Color(0x1B, 0x1E, 0x26));
  spinner_tile_.SetRect(rx, y + 20, 264, 70);
  desk.Add(spinner_tile_);
  const Image strip = Skin().FindImage(L"loading.png");
  for (int i = 0; i < 4; ++i) {
    frames_[i].SetFrames(strip, 12, 50);
    for (int k = 0; k < 3 * i; ++k) frames_[i].NextFrame();
    frames_[i].SetRect(12 + i * 64, 3, 64, 64);
    spinner_tile_.Add(frames_[i]);
  }
  y += 104;
  Label(desk, rx, y, 264, L"ImageCtrl: four logos in 250 pixels", kCaption);
  for (const char* key : {"logo_lm", "logo_sina", "logo_brisca", "logo_ad"}) strip_.Add(SkinImage(key), false);
  strip_tile_.SetBackgroundColor(Color(0x1B, 0x1E, 0x26));
  strip_tile_.SetRect(rx, y + 20, 264, 40);
  desk.Add(strip_tile_);
  strip_.SetInk(Color(0xC8, 0xCD, 0xD6));  // for the "..."
  strip_.SetRect(7, 6, 250, 34);
  strip_tile_.Add(strip_);
  y += 70;
  Label(desk, rx, y, 264, L"ProgressCtrl: 0 %, 35 %, 100 %", kCaption);
  const int values[3] = {0, 35000, 100000};
  for (int i = 0; i < 3; ++i) {
    bars_[i].SetStyle(Skin().Get<skin::ProgressCtrlStyle>("progress_update_2").value);
    bars_[i].Set(values[i], 100000);
    bars_[i].SetRect(rx, y + 20 + i * 30, 264, 25);
    desk.Add(bars_[i]);
  }
}

void ControlGallery::BuildMain() {
  using L = Layout;
  main_.SetStyle("mainwnd");
  main_.EnableShadow(true);  // the style has none; the gallery shows one
  main_.NoCenter().NoActivate();
  main_.SetRect(L::kMainX, L::kMainY, L::kMainX + 685, L::kMainY + 494);

  // The top panel's three links, the second hot.
  const char* tops[3] = {"top_link_btn_1", "top_link_btn_2", "top_link_btn_3"};
  for (int i = 0; i < 3; ++i) {
    top_links_[i].SetStyle(ButtonStyle(tops[i]));
    top_links_[i].SetRect(205 + 121 * i, 50, 140, 38);
    main_.Add(top_links_[i]);
  }
  top_links_[1].MouseEnter(Point(1, 1), 0);

  // The page area while the page loads.
  spinner_.SetFrames(Skin().FindImage(L"loading.png"), 12, 50);
  for (int k = 0; k < L::kSpinnerFrame; ++k) spinner_.NextFrame();
  spinner_.SetRect(L::kSpinnerX, L::kSpinnerY, 104, 104);
  main_.Add(spinner_);
  const std::wstring loading = L"正在加载";
  loading_.SetText(loading, true);
  loading_.SetInk(kGray);
  loading_.SetRect(L::kSpinnerX + 52 - TextWidth(loading) / 2, L::kSpinnerY + 112, 120, 16);
  main_.Add(loading_);

  // The progress panel, laid out as the program lays it out.
  progress_panel_.SetRect(37, 328, 618, 100);
  main_.Add(progress_panel_);
  Upp::Ctrl& p = progress_panel_;
  Label(p, 19, 14, 70, L"保存路径：", kWhite);
  const Image field = SkinImage("path_edit_bg");  // nine-grid [10,10]
  folder_field_.SetBackground(field);
  folder_field_.SetRect(83, 8, 220, field.GetHeight());
  p.Add(folder_field_);
  folder_text_.SetText(L"D:\\Program Files\\Korvan\\Games\\Korvan Online").SetInk(kGray).Ellipsis();
  folder_text_.SetRect(93, 13, 175, 16);
  p.Add(folder_text_);
  folder_button_.SetStyle(ButtonStyle("folder_btn"));
  folder_button_.SetRect(275, 12, 20, 16);
  p.Add(folder_button_);
  Label(p, 19, 46, 70, L"下载进度：", kWhite);
  bar_.SetStyle(Skin().Get<skin::ProgressCtrlStyle>("progress_update_2").value);
  bar_.Set(L::kBarPermille * 100, 100000);
  bar_.SetRect(76, 42, 328, 25);
  p.Add(bar_);
  Label(p, 410, 46, 45, L"62%", kWhite);
  Label(p, 308, 6, 150, L"下载速度：1.2MB/s", kWhite);
  Label(p, 308, 23, 150, L"356.2MB/1.1GB", kWhite);
  pause_.SetStyle(ButtonStyle("pause_btn"));
  pause_.SetRect(618 - 16 - 151, 5, 151, 59);
  p.Add(pause_);
  Label(p, 19, 75, 400, L"正在下载游戏安装程序，请稍候", kGray);
  const Image ad = SkinImage("logo_ad");
  logos_[0].Add(ad, false);
  logos_[0].SetRect(618 - 12 - ad.GetWidth(), 100 - 5 - ad.GetHeight(), ad.GetWidth(), ad.GetHeight());
  p.Add(logos_[0]);
  const std::wstring promo = L"新服火爆开启";
  status_link_.SetStyle(LinkStyle("normal_red_link"));
  status_link_.SetText(promo);
  status_link_.SetRect(618 - ad.GetWidth() - 18 - TextWidth(promo), 75, TextWidth(promo), 16);
  p.Add(status_link_);

  // Partner logos along the bottom edge.
  const Image lm = SkinImage("logo_lm"), brisca = SkinImage("logo_brisca"), sina = SkinImage("logo_sina");
  logos_[1].Add(lm, false);
  logos_[1].SetRect(57, 471 - lm.GetHeight(), lm.GetWidth(), lm.GetHeight());
  logos_[2].Add(brisca, false).Add(sina, false);
  logos_[2].SetRect(173, 471 - brisca.GetHeight(), brisca.GetWidth() + 12 + sina.GetWidth(), brisca.GetHeight());
  main_.Add(logos_[1]).Add(logos_[2]);
}

void ControlGallery::BuildView() {
  using L = Layout;
  sheet_.NoCenter().NoActivate();
  sheet_.EnableShadow(false);
  sheet_.SetRect(L::kViewX, L::kViewY, L::kViewX + L::kViewCx, L::kViewY + L::kViewCy);
  sheet_.SetBackgroundImage(SkinImage("shadow"));
  view_.SetScrollBarStyle(GalleryScrollBarStyle());
  view_.SetGap(0, 2);
  view_.SetRect(ctrls::LayeredMenu::kMarginLeft + 2, ctrls::LayeredMenu::kMarginTop + 4,
                L::kViewCx - ctrls::LayeredMenu::kMarginLeft - ctrls::LayeredMenu::kMarginRight - 6,
                L::kViewCy - ctrls::LayeredMenu::kMarginTop - ctrls::LayeredMenu::kMarginBottom - 8);
  const char* logos[4] = {"logo_ad", "logo_sina", "logo_lm", "logo_brisca"};
  for (int i = 0; i < 14; ++i) {
    auto row = std::make_unique<ctrls::ImageCtrl>();
    row->Add(SkinImage(logos[i % 4]), false);
    wchar_t text[64];
    swprintf(text, 64, L"分卷 %02d  ·  %d.%dMB", i + 1, 40 + 17 * i, (7 * i) % 10);
    row->SetText(text).SetInk(Color(0xC8, 0xCD, 0xD6)).SetTextOffset(Point(10, 6));
    row->SetRect(0, 0, 10, 28);
    view_.AddItem(std::move(row));
  }
  Label(desk_.GetTopCtrl(), L::kViewX, L::kViewY - 20, 264, L"ViewCtrl (list) + ScrollBar", kCaption);
  sheet_.Add(view_);
  view_.GetScrollBar().SetPos(L::kViewScroll);
}

void ControlGallery::BuildMenu() {
  using L = Layout;
  Label(desk_.GetTopCtrl(), L::kMenuX, L::kMenuY - 22, 264, L"LayeredMenu \"menu\", open, row 2 hot",
        kCaption);
  desk_.GetTopCtrl().Refresh();
  menu_.SetStyle("menu");
  menu_.AddItem(L"显示主界面", kInk).AddItem(L"暂停下载", kInk).AddItem(L"退出", Color(0xCC, 0x33, 0x00));
  const int cy = L::kMenuRows * ctrls::LayeredMenu::kDefaultItemHeight + ctrls::LayeredMenu::kMarginTop +
                 ctrls::LayeredMenu::kMarginBottom;
  menu_.Popup(nullptr, RECT{L::kMenuX, L::kMenuY, L::kMenuX + L::kMenuCx, L::kMenuY + cy});
  menu_.GetList().GetMenuItem(1)->MouseEnter(Point(1, 1), 0);
}

}  // namespace gallery
