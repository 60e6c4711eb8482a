// The scrollable list of a popup menu's rows: a ViewCtrl in list mode on a
// light background. A click on a row runs WhenSelect with the row's
// zero-based index.
//
// Ownership: the list owns the rows it is given.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <memory>

#include "ctrls/layered_menu_item.h"
#include "ctrls/view_ctrl.h"
#include "upp/callback.h"
#include "upp/color.h"

namespace ctrls {

class LayeredMenuItemList : public ViewCtrl {
 public:
  static constexpr Upp::Color kBackground{0xFA, 0xFA, 0xFA};

  Upp::Callback1<int> WhenSelect;

  // Takes the row, gives it the list's icon-column flag; returns its index.
  int AddItem(std::unique_ptr<LayeredMenuItem> item);
  LayeredMenuItem* GetMenuItem(int i) const { return static_cast<LayeredMenuItem*>(GetItem(i)); }
  LayeredMenuItemList& IconColumn(bool on = true) { icon_column_ = on; return *this; }
  bool HasIconColumn() const { return icon_column_; }

  void Paint(Upp::Draw& w) override;

 private:
  void OnItemClick(LayeredMenuItem* item);

  bool icon_column_ = false;
};

}  // namespace ctrls
