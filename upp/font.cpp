#include "upp/font.h"

#include "upp/toolkit.h"

namespace Upp {

namespace {

Font& StdFontSlot() {
  static Font font = Font().Height(12);
  return font;
}

}  // namespace

const Font& StdFont() { return StdFontSlot(); }

void SetStdFont(const Font& font) {
  UPP_CHECK_UI_THREAD();
  StdFontSlot() = font;
}

}  // namespace Upp
