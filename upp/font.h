// Font descriptions of the toolkit: character height in pixels, bold and
// underline, plus the platform font (HFONT) that the skin manager attaches
// when it first reads a font key.
//
// A Font never owns its HFONT: the skin manager creates each platform font
// once and keeps it, and every Font read for that key carries a copy of the
// handle. A Font without a handle is drawn with the platform's default GUI
// font by the controls.
//
// The standard font is the font every control and style default uses until
// told otherwise; the skin set-up replaces it with the skin's "normal_ft".
//
// Thread-safety: Font values on any thread; the standard font is read and
// set on the user-interface thread only.
#pragma once

#include <windows.h>

namespace Upp {

class Font {
 public:
  // The zero font: height 0, no flags, no platform font.
  Font() = default;

  Font& Height(int height) { height_ = height; return *this; }
  Font& Bold(bool bold = true) { bold_ = bold; return *this; }
  Font& Underline(bool underline = true) { underline_ = underline; return *this; }
  // Attaches a platform font owned elsewhere (null detaches).
  Font& Handle(HFONT handle) { handle_ = handle; return *this; }

  int GetHeight() const { return height_; }
  bool IsBold() const { return bold_; }
  bool IsUnderline() const { return underline_; }
  HFONT GetHandle() const { return handle_; }

  bool operator==(const Font& o) const {
    return height_ == o.height_ && bold_ == o.bold_ && underline_ == o.underline_ &&
           handle_ == o.handle_;
  }
  bool operator!=(const Font& o) const { return !(*this == o); }

 private:
  int height_ = 0;
  bool bold_ = false;
  bool underline_ = false;
  HFONT handle_ = nullptr;
};

// The toolkit's standard font (before the skin: height 12, no handle).
const Font& StdFont();
void SetStdFont(const Font& font);

}  // namespace Upp
