#include "ctrls/static_text.h"

#include <cmath>

#include "upp/draw.h"

namespace ctrls {

StaticText::StaticText() : font_(Upp::StdFont()), ink_(0x33, 0x33, 0x33) {}

StaticText& StaticText::SetText(const std::wstring& text) {
  if (text != text_) {
    text_ = text;
    Refresh();
  }
  return *this;
}

StaticText& StaticText::SetFont(const Upp::Font& font) { font_ = font; Refresh(); return *this; }
StaticText& StaticText::SetInk(Upp::Color ink) { ink_ = ink; Refresh(); return *this; }
StaticText& StaticText::MultiLine(bool on) { multi_line_ = on; Refresh(); return *this; }
StaticText& StaticText::Ellipsis(bool on) { ellipsis_ = on; Refresh(); return *this; }
StaticText& StaticText::SetLineSpacing(float factor) { spacing_ = factor; Refresh(); return *this; }
StaticText& StaticText::SetVAlign(int valign) { valign_ = valign; Refresh(); return *this; }

bool StaticText::IsTextTooWide() const { return Upp::GetTextSize(text_, font_).cx > GetSize().cx; }

int StaticText::RowAdvance() const {
  return static_cast<int>(Upp::GetTextHeight(font_) * (1.0f + spacing_));
}

std::wstring StaticText::ShortenToWidth(const std::wstring& text, const Upp::Font& font, int width) {
  if (Upp::GetTextSize(text, font).cx <= width) return text;
  const std::wstring dots = L"...";
  // Longest prefix that fits with the dots: binary search on the length.
  size_t lo = 0, hi = text.size();
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (Upp::GetTextSize(text.substr(0, mid) + dots, font).cx <= width) lo = mid;
    else hi = mid - 1;
  }
  return text.substr(0, lo) + dots;
}

std::vector<std::wstring> StaticText::WrapLines(int width) const {
  std::vector<std::wstring> rows;
  size_t start = 0;
  while (start <= text_.size()) {
    size_t end = text_.find(L'\n', start);
    if (end == std::wstring::npos) end = text_.size();
    std::wstring line = text_.substr(start, end - start);
    while (!line.empty() && line.back() == L'\r') line.pop_back();
    while (Upp::GetTextSize(line, font_).cx > width && line.size() > 1) {
      // Longest prefix that fits (at least one character, so we progress).
      size_t lo = 1, hi = line.size() - 1;
      while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (Upp::GetTextSize(line.substr(0, mid), font_).cx <= width) lo = mid;
        else hi = mid - 1;
      }
      size_t cut = lo;
      const size_t space = line.rfind(L' ', lo);
      if (space != std::wstring::npos && space > 0 && space < lo + 1) cut = space;
      rows.push_back(line.substr(0, cut));
      line.erase(0, cut);
      if (!line.empty() && line.front() == L' ') line.erase(0, 1);
    }
    rows.push_back(line);
    start = end + 1;
  }
  return rows;
}

int StaticText::GetHeightForWidth(int width) const {
  if (width <= 0 || text_.empty()) return 0;
  const int rows = static_cast<int>(WrapLines(width).size());
  return static_cast<int>(std::ceil(rows * (1.0f + spacing_) * Upp::GetTextHeight(font_)));
}

void StaticText::Paint(Upp::Draw& w) {
  if (text_.empty() || ink_.IsNull()) return;
  const Upp::Size size = GetSize();
  const int th = Upp::GetTextHeight(font_);
  if (!multi_line_) {
    const std::wstring shown = ellipsis_ ? ShortenToWidth(text_, font_, size.cx) : text_;
    const int y = valign_ == kVAlignCenter ? (size.cy - th) / 2 : 0;
    w.DrawText(0, y, shown, font_, ink_);
    return;
  }
  const std::vector<std::wstring> rows = WrapLines(size.cx);
  const int advance = RowAdvance();
  for (size_t i = 0; i < rows.size(); ++i) {
    const int y = static_cast<int>(i) * advance;
    if (y >= size.cy) break;
    w.DrawText(0, y, rows[i], font_, ink_);
  }
}

}  // namespace ctrls
