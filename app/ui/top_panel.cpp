#include "app/ui/top_panel.h"

#include <windows.h>

#include "base/file_util.h"
#include "skin/skin_loader.h"

namespace korvan {

TopPanel::TopPanel() {
  static const char* const kStyles[3] = {"top_link_btn_1", "top_link_btn_2", "top_link_btn_3"};
  WhenOpenLink = [](int link) { base::OpenLauncherLink(link); };
  SetRect(0, 0, kWidth, kHeight);
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  for (int i = 0; i < 3; ++i) {
    ctrls::CursorCtrl<ctrls::Button>& b = buttons_[i];
    b.SetStyle(skin::SkinLoader::Instance().Get<skin::ButtonStyle>(kStyles[i]).value);
    b.SetCursor(hand);
    // Each overlaps the one before by 19 pixels.
    b.SetRect(i * (kButtonWidth - 19), 0, kButtonWidth, kButtonHeight);
    b.WhenAction = Upp::Bind(this, &TopPanel::OnLink, kLinks[i]);
    Add(b);
  }
}

}  // namespace korvan
