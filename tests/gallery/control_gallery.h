// The control gallery: every control of the library on one 1024 x 768
// screen, drawn with the skin the program ships. A plain desk window fills
// the screen; on it sit
//   - the main window as the program shows it: a 685 x 494 layered window
//     with the "mainwnd" style (background, close and minimise buttons),
//     its shadow, the top link buttons, the loading spinner with its
//     cycling text, the progress panel (folder field, links, texts,
//     progress bar at 62 %, pause button) and the partner logos;
//   - the four looks of one button (normal, hot, pressed, disabled), a
//     single line cut with "..." and a word-wrapped paragraph, links
//     normal and hovered, an image strip too wide for its place;
//   - a scrolled view of rows with its scroll bar, spinner frames, and the
//     tray's layered menu, open, with its second row hot.
//
// Build() shows everything; the windows stay until the object dies. The
// skin must be loaded into skin::SkinLoader::Instance() first. The
// positions below are public so a test can look at the right pixels.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ctrls/animate_text.h"
#include "ctrls/button.h"
#include "ctrls/crop_animation_ctrl.h"
#include "ctrls/image_ctrl.h"
#include "ctrls/layered_menu.h"
#include "ctrls/layered_window.h"
#include "ctrls/link_text.h"
#include "ctrls/panel.h"
#include "ctrls/progress_ctrl.h"
#include "ctrls/static_text.h"
#include "ctrls/top_window.h"
#include "ctrls/view_ctrl.h"

namespace gallery {

// Screen positions of what the gallery shows.
struct Layout {
  static constexpr int kScreenCx = 1024;
  static constexpr int kScreenCy = 768;
  // The main window (685 x 494).
  static constexpr int kMainX = 20;
  static constexpr int kMainY = 30;
  // The progress bar inside the main window, its fill in 1/1000.
  static constexpr int kBarX = 37 + 76;
  static constexpr int kBarY = 328 + 42;
  static constexpr int kBarPermille = 620;
  // The spinner inside the main window and the frame it shows.
  static constexpr int kSpinnerX = 295;
  static constexpr int kSpinnerY = 146;
  static constexpr int kSpinnerFrame = 3;
  // The four button looks, left to right, kButtonGap apart.
  static constexpr int kButtonsX = 20;
  static constexpr int kButtonsY = 572;
  static constexpr int kButtonStep = 151 + 14;
  // The open menu and its rows.
  static constexpr int kMenuX = 740;
  static constexpr int kMenuY = 52;
  static constexpr int kMenuCx = 150;
  static constexpr int kMenuRows = 3;
  // The scrolled view's window.
  static constexpr int kViewX = 740;
  static constexpr int kViewY = 196;
  static constexpr int kViewCx = 264;
  static constexpr int kViewCy = 236;
  static constexpr int kViewScroll = 52;
  // The desk's colour.
  static constexpr int kDeskR = 0xE4, kDeskG = 0xE8, kDeskB = 0xEE;
};

// The gallery's scroll bar look: the skin has none, so a plain track and a
// rounded thumb in four shades.
const ctrls::ScrollBar::Style& GalleryScrollBarStyle();

class ControlGallery {
 public:
  ControlGallery();
  ~ControlGallery();
  ControlGallery(const ControlGallery&) = delete;
  ControlGallery& operator=(const ControlGallery&) = delete;

  // Creates and shows every window; false if one could not be created.
  bool Build();

  ctrls::LayeredWindow& MainWindow() { return main_; }
  ctrls::LayeredWindow& ViewWindow() { return sheet_; }
  ctrls::LayeredMenu& Menu() { return menu_; }
  ctrls::ViewCtrl& View() { return view_; }
  ctrls::Button& StateButton(int look) { return state_buttons_[look]; }

 private:
  void BuildDesk();
  void BuildMain();
  void BuildView();
  void BuildMenu();
  ctrls::StaticText& Label(Upp::Ctrl& parent, int x, int y, int cx, const std::wstring& text,
                           Upp::Color ink);

  ctrls::TopWindow desk_;
  ctrls::LayeredWindow main_;
  ctrls::LayeredWindow sheet_;
  ctrls::LayeredMenu menu_;

  // Controls of the main window.
  ctrls::Button top_links_[3];
  ctrls::CropAnimationCtrl spinner_;
  ctrls::AnimateText loading_;
  ctrls::Panel<> progress_panel_;
  ctrls::Panel<> folder_field_;
  ctrls::StaticText folder_text_;
  ctrls::Button folder_button_;
  ctrls::ProgressCtrl bar_;
  ctrls::Button pause_;
  ctrls::LinkText status_link_;
  ctrls::ImageCtrl logos_[3];

  // Controls on the desk.
  ctrls::Button state_buttons_[4];
  ctrls::StaticText cut_line_;
  ctrls::StaticText paragraph_;
  ctrls::LinkText links_[2];
  ctrls::Panel<> strip_tile_;
  ctrls::ImageCtrl strip_;
  ctrls::Panel<> spinner_tile_;
  ctrls::CropAnimationCtrl frames_[4];
  ctrls::ProgressCtrl bars_[3];

  // The scrolled view.
  ctrls::ViewCtrl view_;

  std::vector<std::unique_ptr<ctrls::StaticText>> labels_;
};

}  // namespace gallery
