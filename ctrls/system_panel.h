// The system box of a window: close and minimise buttons placed by their
// styles, the icon and the title. Restore and maximise buttons exist for
// the style format but are never shown.
//
// Ownership: the style record belongs to the skin reader and must outlive
// the panel; the buttons are members.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <string>

#include "ctrls/button.h"
#include "skin/styles.h"
#include "upp/callback.h"
#include "upp/ctrl.h"

namespace ctrls {

class SystemPanel : public Upp::Ctrl {
 public:
  using Style = skin::SystemPanelStyle;

  SystemPanel();

  Upp::Callback WhenClose;
  Upp::Callback WhenMinimize;

  static const Style& StyleDefault();
  SystemPanel& SetStyle(const Style& style);
  const Style& GetStyle() const { return *style_; }
  SystemPanel& SetTitle(const std::wstring& title) { title_ = title; Refresh(); return *this; }
  const std::wstring& GetTitle() const { return title_; }
  SystemPanel& SetTitleInk(Upp::Color ink);

  Button& CloseButton() { return close_; }
  Button& MinimizeButton() { return minimize_; }

  // Where a button of `style` sits in a box of `box` size: posx from the
  // right edge, posy from the top.
  static Upp::Rect PlaceButton(const Button::Style& style, Upp::Size box);

  void Layout() override;
  void Paint(Upp::Draw& w) override;

 private:
  const Style* style_;
  Button close_;
  Button restore_;
  Button maximize_;
  Button minimize_;
  std::wstring title_;
  bool ink_override_ = false;
  Upp::Color title_ink_;
};

}  // namespace ctrls
