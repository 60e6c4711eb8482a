#include "ctrls/layered_menu_item_list.h"

namespace ctrls {

int LayeredMenuItemList::AddItem(std::unique_ptr<LayeredMenuItem> item) {
  LayeredMenuItem* row = item.get();
  row->IconColumn(icon_column_);
  // The index is looked up at click time, so it stays right whatever the
  // list went through in between.
  row->WhenAction = Upp::BindFn([this, row] { OnItemClick(row); });
  return ViewCtrl::AddItem(std::move(item));
}

void LayeredMenuItemList::OnItemClick(LayeredMenuItem* item) {
  const int index = Find(item);
  if (index >= 0) WhenSelect(index);
}

void LayeredMenuItemList::Paint(Upp::Draw& w) { w.DrawRect(GetView(), kBackground); }

}  // namespace ctrls
