// The tray's popup menu: a skinned list of rows in a layered window that
// fades in over 4 steps 30 ms apart and stays. Choosing a row runs
// WhenSelect with its index and hides the menu; losing the focus (a click
// elsewhere) hides it at once, without a fade-out, unless KeepOpen is set;
// Esc hides it always.
//
//   menu.AddItem(L"Open", Upp::Color(0, 0, 0));
//   menu.WhenSelect = ...;
//   menu.Popup(owner, rect);   // rect: where, and how big, in screen pixels
//
// Ownership: the menu owns its list and rows and its native window. The
// shared icon is a shared image handle. The menu does not touch itself
// after WhenSelect returns if WhenSelect destroyed it; still, a menu chosen
// from a window message is best deleted on a later pass of the message loop,
// since the window procedure is still on the stack.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <windows.h>

#include <string>

#include "ctrls/fade_window.h"
#include "ctrls/layered_menu_item.h"
#include "ctrls/layered_menu_item_list.h"
#include "upp/callback.h"
#include "upp/color.h"
#include "upp/image.h"

namespace ctrls {

class LayeredMenu : public FadeWindow {
 public:
  using Item = LayeredMenuItem;
  using ItemList = LayeredMenuItemList;

  static constexpr DWORD kExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  static constexpr int kIntervalMs = 30;
  static constexpr int kSteps = 4;
  // Where the list sits inside the background's shadow border.
  static constexpr int kMarginLeft = 5;
  static constexpr int kMarginRight = 5;
  static constexpr int kMarginTop = 3;
  static constexpr int kMarginBottom = 7;
  static constexpr int kDefaultItemHeight = 26;

  LayeredMenu();
  ~LayeredMenu() override;

  Upp::Callback1<int> WhenSelect;

  // Appends a row showing `text` in `color`, with the menu's shared icon.
  LayeredMenu& AddItem(const std::wstring& text, Upp::Color color);
  LayeredMenu& SetItemHeight(int height) { item_height_ = height; return *this; }
  LayeredMenu& SetIcon(const Upp::Image& icon) { icon_ = icon; return *this; }
  LayeredMenu& KeepOpen(bool keep = true) { keep_open_ = keep; return *this; }
  bool IsKeepOpen() const { return keep_open_; }
  ItemList& GetList() { return list_; }

  // Places the menu at `rect` (screen), creates it owned by `owner` when it
  // has no window yet, and shows it fading in with the keyboard focus
  // (unless NoActivate).
  void Popup(HWND owner, const RECT& rect);

  void OnLoseFocus() override;
  bool ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

 private:
  void PlaceList();
  void OnSelect(int index);
  // Hides now and rewinds the fade so the next Popup starts from alpha 0.
  void HideNow();

  ItemList list_;
  Upp::Image icon_;
  int item_height_ = kDefaultItemHeight;
  bool keep_open_ = false;
};

}  // namespace ctrls
