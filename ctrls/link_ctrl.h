// A text link over any text control (StaticText in this program): the
// style's colour, its textfont0 normally and textfont1 under the mouse (the
// skin's hover fonts are underlined), the hand cursor, and WhenAction on a
// left press.
//
// Ownership: the style record belongs to the skin reader (or is the
// built-in standard) and must outlive the link.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <windows.h>

#include "skin/styles.h"
#include "upp/ctrl.h"

namespace ctrls {

template <class T>
class LinkCtrl : public T {
 public:
  using Style = skin::LinkStyle;

  LinkCtrl() { SetStyle(StyleDefault()); }

  static const Style& StyleDefault() {
    static const Style* style = new Style(Style::Standard());  // kept until exit
    return *style;
  }

  LinkCtrl& SetStyle(const Style& style) {
    style_ = &style;
    this->SetInk(style.textcolor);
    this->SetFont(this->HasMouse() ? style.textfont1 : style.textfont0);
    this->Refresh();
    return *this;
  }
  const Style& GetStyle() const { return *style_; }

  void MouseEnter(Upp::Point, uint32_t) override {
    this->SetFont(style_->textfont1);
    this->Refresh();
  }
  void MouseLeave() override {
    this->SetFont(style_->textfont0);
    this->Refresh();
  }
  void LeftDown(Upp::Point, uint32_t) override { this->WhenAction(); }
  HCURSOR CursorImage(Upp::Point, uint32_t) override { return LoadCursorW(nullptr, IDC_HAND); }

 private:
  const Style* style_ = nullptr;
};

}  // namespace ctrls
