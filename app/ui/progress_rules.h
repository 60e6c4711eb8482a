// What the progress panel shows for each state of the download manager:
// which state buttons are visible, the status line's text, and the
// percentage text of the bar. Pure functions of their arguments, so the
// panel's look is testable without windows.
//
// Thread-safety: none needed (no state); the panel calls them on the
// user-interface thread.
#pragma once

#include <cstdint>
#include <string>

namespace korvan {

// The six state buttons of the progress panel, as bits of a mask.
enum ProgressButton : uint32_t {
  kButtonStart = 1u << 0,        // "开始下载"
  kButtonResumeStartup = 1u << 1,  // resume an earlier run's download
  kButtonPause = 1u << 2,
  kButtonResumePaused = 1u << 3,
  kButtonRetry = 1u << 4,
  kButtonInstall = 1u << 5,
};

// The buttons shown in download-manager state `state` (none in state 0 or
// any unknown state).
uint32_t VisibleButtons(int32_t state);

// Whether the folder button may be used from now on: true in states 1 and
// 4 (it stays enabled once it was).
bool EnablesFolderButton(int32_t state);

// Whether the folder button opens the chooser (states 1 and 3) rather than
// the install folder in the file explorer.
bool FolderButtonChooses(int32_t state);

struct StatusLine {
  const wchar_t* text;  // null: the state leaves the line alone
  bool animate;
};

// The status line of `state`; text is null in states 10 and 11 (the error
// text stays) and in unknown states.
StatusLine StatusForState(int32_t state);

// "0%" when total is 0; "100%" when value >= total; otherwise
// value x 100 / total with one decimal ("37.5%").
std::wstring PercentText(uint32_t value, uint32_t total);

// The bar value (in 1/10000) of a download fraction, truncated.
uint32_t BarValueOf(float fraction);

}  // namespace korvan
