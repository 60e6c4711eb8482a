#include "app/ui/progress_panel.h"

#include "app/download_manager.h"
#include "app/skin_manager.h"
#include "app/ui/manager_download_control.h"
#include "app/ui/progress_rules.h"
#include "base/controller.h"
#include "log/log.h"
#include "skin/skin_loader.h"
#include "upp/draw.h"
#include "upp/timer_queue.h"

namespace korvan {
namespace {

constexpr int kTextHeight = 15;
// The six state buttons share one place at the right.
constexpr int kStateButtonRight = 16, kStateButtonWidth = 151, kStateButtonTop = 5,
              kStateButtonHeight = 59;

const wchar_t kSaveLabel[] = L"保存路径：";
const wchar_t kProgressLabel[] = L"下载进度：";
const wchar_t kPromoText[] = L"进入游戏即可领取海量军费及VIP";

const skin::ButtonStyle& ButtonStyle(const char* key) {
  return skin::SkinLoader::Instance().Get<skin::ButtonStyle>(key).value;
}

Upp::Image SkinImage(const char* key) { return skin::SkinLoader::Instance().Get<Upp::Image>(key).value; }

int TextWidth(const std::wstring& text) { return Upp::GetTextSize(text, Upp::StdFont()).cx; }

}  // namespace

ProgressPanel::ProgressPanel() : ProgressPanel(std::make_unique<ManagerDownloadControl>()) {}

ProgressPanel::ProgressPanel(std::unique_ptr<DownloadControl> control) : control_(std::move(control)) {
  Build();
  LayOut();
  control_->Connect(*this);
  OnFolderChanged();
  UpdateButtons();
}

ProgressPanel::~ProgressPanel() { Upp::KillTimeCallback(this); }

void ProgressPanel::Build() {
  SkinManager* skin = GetLogicObject<SkinManager>();
  const Upp::Color white = skin->TextWhite();
  const Upp::Color gray = skin->TextGray();

  save_label_.SetText(kSaveLabel).SetInk(white);
  progress_label_.SetText(kProgressLabel).SetInk(white);
  folder_.SetInk(gray).Ellipsis();
  speed_.SetInk(white);
  size_.SetInk(white);
  promo_.SetText(kPromoText).SetInk(skin->TextRed());
  percent_.SetInk(white);
  status_.SetInk(gray);
  status_color_ = gray;

  ad_.Add(SkinImage("logo_ad"), false);
  folder_field_.SetBackground(SkinImage("path_edit_bg"));
  bar_.SetStyle(skin::SkinLoader::Instance().Get<skin::ProgressCtrlStyle>("progress_update_2").value);
  bar_.Set(0, kBarTotal);
  percent_.SetText(PercentText(0, 0));  // nothing known yet: "0%"

  start_btn_.SetStyle(ButtonStyle("download_begin_btn"));
  resume_startup_btn_.SetStyle(ButtonStyle("resume_btn"));
  pause_btn_.SetStyle(ButtonStyle("pause_btn"));
  resume_paused_btn_.SetStyle(ButtonStyle("resume_btn"));
  retry_btn_.SetStyle(ButtonStyle("retry_btn"));
  install_btn_.SetStyle(ButtonStyle("install_btn"));
  folder_btn_.SetStyle(ButtonStyle("folder_btn"));
  folder_btn_.Disable();

  start_btn_.WhenAction = Upp::Bind(this, &ProgressPanel::OnStartPressed);
  resume_startup_btn_.WhenAction = Upp::Bind(this, &ProgressPanel::OnStartPressed);
  pause_btn_.WhenAction = Upp::Bind(this, &ProgressPanel::OnPausePressed);
  resume_paused_btn_.WhenAction = Upp::Bind(this, &ProgressPanel::OnResumePressed);
  retry_btn_.WhenAction = Upp::Bind(this, &ProgressPanel::OnRetryPressed);
  install_btn_.WhenAction = Upp::Bind(this, &ProgressPanel::OnInstallPressed);
  folder_btn_.WhenAction = Upp::Bind(this, &ProgressPanel::OnFolderPressed);
  animator_.WhenValue = Upp::Bind<uint32_t, uint32_t>(this, &ProgressPanel::OnAnimatorValue);

  // Later children lie above earlier ones: the field under its text and
  // button.
  Ctrl* children[] = {&save_label_, &folder_field_, &folder_,  &folder_btn_, &progress_label_,
                      &bar_,        &percent_,      &speed_,   &size_,       &ad_,
                      &promo_,      &status_,       &start_btn_, &resume_startup_btn_,
                      &pause_btn_,  &resume_paused_btn_, &retry_btn_, &install_btn_};
  for (Ctrl* c : children) Add(*c);
}

void ProgressPanel::LayOut() {
  SetRect(0, 0, kWidth, kHeight);
  save_label_.SetRect(19, 14, TextWidth(kSaveLabel), kTextHeight);
  const Upp::Size field = folder_field_.GetBackground().GetSize();
  folder_field_.SetRect(83, 8, 220, field.cy);
  folder_.SetRect(93, 15, 180, kTextHeight);
  folder_btn_.SetRect(275, 14, 20, 16);
  progress_label_.SetRect(19, 46, TextWidth(kProgressLabel), kTextHeight);
  bar_.SetRect(76, 42, 328, 25);
  percent_.SetRect(401, 46, 45, kTextHeight);
  speed_.SetRect(308, 6, 150, kTextHeight);
  size_.SetRect(308, 23, 150, kTextHeight);
  const int button_x = kWidth - kStateButtonRight - kStateButtonWidth;
  for (ctrls::Button* b : {&start_btn_, &resume_startup_btn_, &pause_btn_, &resume_paused_btn_,
                           &retry_btn_, &install_btn_}) {
    b->SetRect(button_x, kStateButtonTop, kStateButtonWidth, kStateButtonHeight);
  }
  const Upp::Size ad = SkinImage("logo_ad").GetSize();
  ad_.SetRect(kWidth - 12 - ad.cx, kHeight - 5 - ad.cy, ad.cx, ad.cy);
  // Right-aligned 6 pixels left of the advertisement, whatever its width.
  const int promo_width = TextWidth(kPromoText);
  const int promo_right = kWidth - (ad.cx + 18);
  promo_.SetRect(promo_right - promo_width, kHeight - 10 - kTextHeight, promo_width, kTextHeight);
  status_.SetRect(19, kHeight - 10 - kTextHeight, 400, kTextHeight);
}

uint32_t ProgressPanel::ShownButtons() const {
  uint32_t mask = 0;
  if (start_btn_.IsShown()) mask |= kButtonStart;
  if (resume_startup_btn_.IsShown()) mask |= kButtonResumeStartup;
  if (pause_btn_.IsShown()) mask |= kButtonPause;
  if (resume_paused_btn_.IsShown()) mask |= kButtonResumePaused;
  if (retry_btn_.IsShown()) mask |= kButtonRetry;
  if (install_btn_.IsShown()) mask |= kButtonInstall;
  return mask;
}

void ProgressPanel::UpdateButtons() {
  const int32_t state = control_->CurrentState();
  const uint32_t mask = VisibleButtons(state);
  start_btn_.Show((mask & kButtonStart) != 0);
  resume_startup_btn_.Show((mask & kButtonResumeStartup) != 0);
  pause_btn_.Show((mask & kButtonPause) != 0);
  resume_paused_btn_.Show((mask & kButtonResumePaused) != 0);
  retry_btn_.Show((mask & kButtonRetry) != 0);
  install_btn_.Show((mask & kButtonInstall) != 0);
  if (EnablesFolderButton(state)) folder_btn_.Enable();
  Refresh();
}

void ProgressPanel::OnStateChanged() {
  UpdateButtons();
  const int32_t state = control_->CurrentState();
  if (state == DownloadManager::kPaused) animator_.Stop();
  const StatusLine line = StatusForState(state);
  if (line.text) {
    status_text_ = line.text;
    status_color_ = GetLogicObject<SkinManager>()->TextGreen();
    status_animate_ = line.animate;
    ShowStatus();
  }
  if (state == DownloadManager::kReadyResume) {
    // An earlier run's download goes on by itself, through the same press
    // guard as the button.
    control_->Schedule(kAutoResumeDelayMs, Upp::Bind(this, &ProgressPanel::OnStartPressed), this);
  }
}

void ProgressPanel::OnProgress(float fraction, const std::wstring& speed, const std::wstring& size,
                               bool animate) {
  const uint32_t v = BarValueOf(fraction);
  if (animate) {
    animator_.Start(static_cast<uint32_t>(bar_.GetValue() < 0 ? 0 : bar_.GetValue()), v, kBarTotal);
  } else {
    animator_.Stop();
    SetBar(v, kBarTotal);
  }
  speed_.SetText(speed);
  size_.SetText(size);
  Refresh();
}

void ProgressPanel::OnFinished() {
  animator_.Stop();
  SetBar(kBarTotal, kBarTotal);
}

void ProgressPanel::OnError(const std::wstring& text) {
  animator_.Stop();
  status_text_ = text;
  status_color_ = Upp::Color(255, 0, 0);
  status_animate_ = false;
  ShowStatus();
}

void ProgressPanel::SetStatus(const std::wstring& text, COLORREF color, bool animate) {
  status_text_ = text;
  status_color_ = Upp::Color(GetRValue(color), GetGValue(color), GetBValue(color));
  status_animate_ = animate;
  ShowStatus();
}

void ProgressPanel::ShowStatus() {
  status_.SetInk(status_color_);
  status_.SetText(status_text_, status_animate_);
  status_.Refresh();
}

void ProgressPanel::OnFolderChanged() {
  folder_.SetText(control_->GetInstallRoot());
  folder_.Refresh();
}

void ProgressPanel::SetBar(uint32_t value, uint32_t total) {
  bar_.Set(static_cast<int32_t>(value), static_cast<int32_t>(total));
  percent_.SetText(PercentText(value, total));
  percent_.Refresh();
}

void ProgressPanel::OnAnimatorValue(uint32_t value, uint32_t total) {
  if (total == 0) return;
  SetBar(value, total);
  ShowStatus();
}

void ProgressPanel::OnStartPressed() {
  if (!guard_.Accept()) return;
  control_->StartDownload();
}

void ProgressPanel::OnPausePressed() {
  if (!guard_.Accept()) return;
  control_->PauseDownload();
}

void ProgressPanel::OnResumePressed() {
  if (!guard_.Accept()) return;
  control_->ResumeDownload();
}

void ProgressPanel::OnRetryPressed() {
  if (!guard_.Accept()) return;
  const int32_t state = control_->CurrentState();
  if (state == DownloadManager::kFailedRetryable) {
    control_->RetryDownload();
  } else if (state == DownloadManager::kFailedFileCheck) {
    control_->Restart();
  }
}

void ProgressPanel::OnInstallPressed() {
  if (!guard_.Accept()) return;
  control_->InstallExe();
}

void ProgressPanel::OnFolderPressed() {
  const int32_t state = control_->CurrentState();
  if (!FolderButtonChooses(state)) {
    control_->OpenInstallFolder();
    return;
  }
  std::wstring chosen;
  if (!control_->ChooseFolder(control_->GetInstallRoot(), &chosen)) return;
  control_->SetInstallRoot(chosen);
  OnFolderChanged();
}

}  // namespace korvan
