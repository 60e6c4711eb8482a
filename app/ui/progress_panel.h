// The download area of the main window (618 x 100): install folder with its
// folder button, progress bar with percentage, speed and size texts, status
// line, promotional line with the advertisement image, and one big action
// button that follows the download manager's state (start, resume, pause,
// retry, install).
//
// The panel holds no state machine of its own: what it shows is a function
// of the download manager's state (progress_rules.h) plus the last progress,
// status and error it was told. Its only own logic is the press guard of the
// state buttons, the bar animator, and the automatic resume 500 ms after
// state 4 (an earlier run's download goes on by itself).
//
// Ownership: owns its controls, the animator and its DownloadControl. Skin
// style records are referenced. IMPORTANT: Thread-safety. User-interface
// thread only; the handlers are called by signals emitted on that thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/ui/bar_animator.h"
#include "app/ui/download_control.h"
#include "app/ui/press_guard.h"
#include "ctrls/animate_text.h"
#include "ctrls/button.h"
#include "ctrls/image_ctrl.h"
#include "ctrls/panel.h"
#include "ctrls/progress_ctrl.h"
#include "ctrls/static_text.h"
#include "upp/color.h"
#include "upp/signal.h"

namespace korvan {

class ProgressPanel : public ctrls::Panel<Upp::Ctrl>, public sigslot::has_slots<sigslot::single_threaded> {
 public:
  static constexpr int kWidth = 618;
  static constexpr int kHeight = 100;
  static constexpr int kBarTotal = 10000;
  static constexpr int kAutoResumeDelayMs = 500;

  // Drives the real managers.
  ProgressPanel();
  // Drives `control` (tests).
  explicit ProgressPanel(std::unique_ptr<DownloadControl> control);
  ~ProgressPanel() override;

  // --- notifications (download manager and configuration) ---
  void OnStateChanged();
  void OnProgress(float fraction, const std::wstring& speed, const std::wstring& size, bool animate);
  void OnFinished();
  void OnError(const std::wstring& text);
  void SetStatus(const std::wstring& text, COLORREF color, bool animate);
  void OnFolderChanged();

  // Shows exactly the state buttons of the current state.
  void UpdateButtons();

  // --- presses (the buttons call them; tests too) ---
  void OnStartPressed();         // start, and resume after start-up
  void OnPausePressed();
  void OnResumePressed();        // resume after pause
  void OnRetryPressed();
  void OnInstallPressed();
  void OnFolderPressed();

  PressGuard& press_guard() { return guard_; }
  BarAnimator& bar_animator() { return animator_; }

  // Read access for tests and screenshots.
  ctrls::Button& start_button() { return start_btn_; }
  ctrls::Button& resume_startup_button() { return resume_startup_btn_; }
  ctrls::Button& pause_button() { return pause_btn_; }
  ctrls::Button& resume_paused_button() { return resume_paused_btn_; }
  ctrls::Button& retry_button() { return retry_btn_; }
  ctrls::Button& install_button() { return install_btn_; }
  ctrls::Button& folder_button() { return folder_btn_; }
  ctrls::ProgressCtrl& bar() { return bar_; }
  ctrls::StaticText& percent_text() { return percent_; }
  ctrls::StaticText& speed_text() { return speed_; }
  ctrls::StaticText& size_text() { return size_; }
  ctrls::StaticText& folder_text() { return folder_; }
  ctrls::StaticText& promo_text() { return promo_; }
  ctrls::AnimateText& status_line() { return status_; }
  ctrls::ImageCtrl& ad_image() { return ad_; }
  ctrls::Panel<Upp::Ctrl>& folder_field() { return folder_field_; }
  const std::wstring& status_text() const { return status_text_; }
  Upp::Color status_color() const { return status_color_; }
  bool status_animated() const { return status_animate_; }
  // The shown state buttons as progress_rules.h bits.
  uint32_t ShownButtons() const;

  // Sets the bar to `value` of `total` and the percentage text with it.
  void SetBar(uint32_t value, uint32_t total);

 private:
  void Build();
  void LayOut();
  void OnAnimatorValue(uint32_t value, uint32_t total);
  void ShowStatus();

  std::unique_ptr<DownloadControl> control_;

  ctrls::StaticText save_label_;
  ctrls::StaticText progress_label_;
  ctrls::StaticText folder_;
  ctrls::StaticText speed_;
  ctrls::StaticText size_;
  ctrls::StaticText promo_;
  ctrls::StaticText percent_;
  ctrls::AnimateText status_;
  ctrls::ImageCtrl ad_;
  ctrls::Panel<Upp::Ctrl> folder_field_;
  ctrls::ProgressCtrl bar_;
  BarAnimator animator_;
  ctrls::Button start_btn_;
  ctrls::Button resume_startup_btn_;
  ctrls::Button pause_btn_;
  ctrls::Button resume_paused_btn_;
  ctrls::Button retry_btn_;
  ctrls::Button install_btn_;
  ctrls::Button folder_btn_;

  std::wstring status_text_;
  Upp::Color status_color_;
  bool status_animate_ = false;
  PressGuard guard_;
};

}  // namespace korvan
