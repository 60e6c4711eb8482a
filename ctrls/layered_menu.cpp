#include "ctrls/layered_menu.h"

#include <memory>

#include "upp/ptr.h"
#include "upp/toolkit.h"

namespace ctrls {

LayeredMenu::LayeredMenu() {
  SetInterval(kIntervalMs).SetSteps(kSteps).SetMaxAlpha(255).SetStay(true);
  ex_style_ = kExStyle;
  NoCenter();
  // The "menu" look: the shadow is part of its background image, so no
  // separate shadow window; no drag strip.
  SetStyle("menu");
  EnableShadow(false);
  AddCtrl(list_);
  list_.WhenSelect = Upp::BindFn<int>([this](int index) { OnSelect(index); });
}

LayeredMenu::~LayeredMenu() = default;

LayeredMenu& LayeredMenu::AddItem(const std::wstring& text, Upp::Color color) {
  auto item = std::make_unique<Item>(text, color);
  item->SetRect(0, 0, 10, item_height_);
  item->SetIcon(icon_);
  list_.AddItem(std::move(item));
  return *this;
}

void LayeredMenu::PlaceList() {
  const SIZE size = GetSize();
  list_.SetRect(kMarginLeft, kMarginTop, size.cx - kMarginLeft - kMarginRight,
                size.cy - kMarginTop - kMarginBottom);
}

void LayeredMenu::Popup(HWND owner, const RECT& rect) {
  UPP_CHECK_UI_THREAD();
  SetRect(rect.left, rect.top, rect.right, rect.bottom);
  if (!IsOpen()) Create(owner);
  PlaceList();
  FadeIn();  // step 0, alpha 0, refresh, show, start stepping
  if (IsOpen() && !(GetFlags() & kNoActivate)) {
    SetForegroundWindow(GetHWND());
    SetFocus(GetHWND());
  }
}

void LayeredMenu::OnSelect(int index) {
  // The owner may destroy the menu from WhenSelect.
  Upp::Ptr<TopWindow> alive(this);
  WhenSelect(index);
  if (alive) HideNow();
}

void LayeredMenu::HideNow() {
  Hide();
  // Run out whatever is left of the fade so its timer stops, then rewind.
  for (int i = 0; i <= kSteps && IsFading(); ++i) FadeTick();
  SetAlpha(0);
}

void LayeredMenu::OnLoseFocus() {
  if (!keep_open_ && IsShown()) HideNow();
}

bool LayeredMenu::ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  // Deactivation covers a click elsewhere even when the focus never
  // reached the menu itself.
  if (msg == WM_ACTIVATE && LOWORD(wparam) == WA_INACTIVE) OnLoseFocus();
  // Esc dismisses the menu as a click elsewhere does; the window stays for
  // the next popup.
  if (msg == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
    if (IsShown()) HideNow();
    return true;
  }
  return FadeWindow::ProcessMessage(msg, wparam, lparam, result);
}

}  // namespace ctrls
