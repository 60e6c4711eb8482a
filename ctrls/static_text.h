// Static text: one line (optionally shortened to the width with "..."),
// vertically centred with valign 3, or word-wrapped rows that advance by
// text height x (1 + line spacing).
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <string>
#include <vector>

#include "upp/color.h"
#include "upp/ctrl.h"
#include "upp/font.h"

namespace ctrls {

class StaticText : public Upp::Ctrl {
 public:
  enum { kVAlignTop = 0, kVAlignCenter = 3 };

  StaticText();

  StaticText& SetText(const std::wstring& text);
  StaticText& SetFont(const Upp::Font& font);
  StaticText& SetInk(Upp::Color ink);
  StaticText& MultiLine(bool on = true);
  StaticText& Ellipsis(bool on = true);
  StaticText& SetLineSpacing(float factor);
  StaticText& SetVAlign(int valign);

  const std::wstring& GetText() const { return text_; }
  const Upp::Font& GetFont() const { return font_; }
  Upp::Color GetInk() const { return ink_; }

  // True when the text in one line is wider than the control.
  bool IsTextTooWide() const;
  // Height the wrapped text needs at width `width`.
  int GetHeightForWidth(int width) const;
  // The rows the text wraps into at `width` (explicit line breaks kept;
  // breaks at spaces when it can, anywhere otherwise, as Chinese needs).
  std::vector<std::wstring> WrapLines(int width) const;

  // `text` shortened with "..." to fit `width` in `font` (unchanged if it fits).
  static std::wstring ShortenToWidth(const std::wstring& text, const Upp::Font& font, int width);

  void Paint(Upp::Draw& w) override;

 private:
  int RowAdvance() const;

  bool multi_line_ = false;
  float spacing_ = 0.0f;
  bool ellipsis_ = false;
  std::wstring text_;
  Upp::Font font_;
  Upp::Color ink_;
  int valign_ = kVAlignTop;
};

}  // namespace ctrls
