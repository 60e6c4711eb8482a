// The style records the skin fills for the control library: one plain
// record per kind of control, its fields in the order the skin reader fills
// them. The control classes adopt them as their nested Style types
// (ctrls::Button::Style is skin::ButtonStyle, and so on), so the skin layer
// does not depend on the controls.
//
// Ownership: records read from the skin live in the skin reader's caches
// until the process ends; controls keep references to them, never copies
// they would have to refresh, and never free them.
//
// Thread-safety: user-interface thread, like the skin reader.
#pragma once

#include <string>

#include "upp/color.h"
#include "upp/font.h"
#include "upp/geometry.h"
#include "upp/image.h"
#include "upp/style.h"

namespace skin {

// A button: one image and one text colour per state (normal, hot, pressed,
// disabled), the content shift while pressed, and its place as an offset
// from the parent's right and top edges with its width and height.
struct ButtonStyle : Upp::StyleHeader {
  Upp::Image look[4];
  Upp::Color textcolor[4];
  Upp::Point pressoffset;
  Upp::Point posx;  // (offset from the parent's right edge, width)
  Upp::Point posy;  // (offset from the parent's top edge, height)
  int align = 0;
  int valign = 0;
};

// A top-level window: its system buttons, shadow, drag strip, icon,
// background, title and size.
struct SystemPanelStyle : Upp::StyleHeader {
  ButtonStyle closebox;
  ButtonStyle restorebox;
  ButtonStyle maxbox;
  ButtonStyle minbox;
  bool shadow = false;
  bool changeui = false;  // kept for the format; no window acts on it
  int dragtop = 0;
  Upp::Point posx;  // system-button box: (offset from the right edge, width)
  Upp::Point posy;  // system-button box: (offset from the top edge, height)
  Upp::Image icon;
  Upp::Image wndbg;
  Upp::Color wndcolorbg;
  Upp::Point iconpos;
  Upp::Point titlepos;
  Upp::Font titlefont;
  Upp::Color titleink;
  std::string titletext;  // bytes of skin.info (GBK)
  Upp::Size wndsize;
};

// An edit field.
struct EditTextStyle : Upp::StyleHeader {
  Upp::Color paper;
  Upp::Color disabled;
  Upp::Color text;
  Upp::Color textdisabled;
  Upp::Color selected;
  Upp::Color selectedtext;
  Upp::Rect margin;
  Upp::Image edge[4];
};

// A check or option box: the box image per state, checked and unchecked.
struct OptionCtrlStyle : Upp::StyleHeader {
  Upp::Image pressed[4];
  Upp::Image unpressed[4];
  int optionview_width = 0;
};

// A progress bar: the empty bar, the filled part, and whether the filled
// part keeps its natural size (tile) instead of being stretched.
struct ProgressCtrlStyle : Upp::StyleHeader {
  Upp::Image bg;
  Upp::Image block;
  bool tile = false;
  bool animate = false;  // kept for the format; the bar does not use it
};

// A text link: its font normally and under the mouse, and its colour.
struct LinkStyle : Upp::StyleHeader {
  Upp::Font textfont0;
  Upp::Font textfont1;
  Upp::Color textcolor;

  // What a link shows for every field the skin leaves out: the toolkit's
  // standard font for both states and #333333.
  static LinkStyle Standard();
};

inline LinkStyle LinkStyle::Standard() {
  LinkStyle s;
  s.textfont0 = Upp::StdFont();
  s.textfont1 = Upp::StdFont();
  s.textcolor = Upp::Color(0x33, 0x33, 0x33);
  return s;
}

}  // namespace skin
