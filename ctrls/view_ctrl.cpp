#include "ctrls/view_ctrl.h"

#include <algorithm>

namespace ctrls {

ViewCtrl::ViewCtrl() {
  // Nothing to scroll, nothing to show: the menu's short lists stay clean.
  bar_.Vert().AutoHide();
  bar_.WhenScroll = Upp::BindFn([this] { PlaceItems(); });
  Add(bar_);
  bar_.Set(0, 0, 0);
}

ViewCtrl::~ViewCtrl() {
  // Owned items go first, while the view can still take them off its list.
  for (auto& owned : owned_) RemoveChild(owned.get());
  owned_.clear();
}

void ViewCtrl::KeepBarOnTop() {
  // Later children are hit and painted above earlier ones.
  RemoveChild(&bar_);
  AddChild(&bar_);
}

int ViewCtrl::AddItem(Upp::Ctrl& item) {
  items_.emplace_back(&item);
  AddChild(&item);
  KeepBarOnTop();
  Layout();
  return GetCount() - 1;
}

int ViewCtrl::AddItem(std::unique_ptr<Upp::Ctrl> item) {
  Upp::Ctrl& ref = *item;
  owned_.push_back(std::move(item));
  return AddItem(ref);
}

std::vector<std::unique_ptr<Upp::Ctrl>> ViewCtrl::RemoveAll(bool destroy) {
  for (auto& item : items_)
    if (item) RemoveChild(item.Get());
  items_.clear();
  positions_.clear();
  std::vector<std::unique_ptr<Upp::Ctrl>> handed_back;
  if (!destroy) handed_back.swap(owned_);
  owned_.clear();
  content_height_ = 0;
  bar_.Set(GetSize().cy, 0, 0);
  Refresh();
  return handed_back;
}

int ViewCtrl::Find(const Upp::Ctrl* ctrl) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].Get() == ctrl) return static_cast<int>(i);
  return -1;
}

ViewCtrl& ViewCtrl::SetFooter(Upp::Ctrl* footer) {
  if (footer_) RemoveChild(footer_.Get());
  footer_ = footer;
  if (footer) {
    AddChild(footer);
    KeepBarOnTop();
  }
  Layout();
  return *this;
}

ViewCtrl& ViewCtrl::SetScrollBarStyle(const ScrollBar::Style& style) {
  bar_.SetStyle(style);
  Layout();
  return *this;
}

int ViewCtrl::ItemWidth() const {
  return GetSize().cx - (bar_.IsShown() ? bar_.GetStyle().barsize : 0);
}

void ViewCtrl::Layout() {
  Upp::Size sz = GetSize();
  int barsize = bar_.GetStyle().barsize;
  bar_.SetRect(sz.cx - barsize, 0, barsize, sz.cy);
  if (items_.empty()) return;  // an empty view leaves the bar as it is
  // Twice at most: showing the bar narrows the items, which may change
  // the heights of a grid's rows.
  for (int pass = 0; pass < 2; ++pass) {
    int width = ItemWidth();
    positions_.assign(items_.size(), Upp::Rect());
    int bottom = 0;
    if (list_) {
      int y = 0;
      for (size_t i = 0; i < items_.size(); ++i) {
        int h = items_[i] ? items_[i]->GetSize().cy : 0;
        positions_[i] = Upp::Rect(0, y, width, y + h);
        bottom = y + h;
        y = bottom + vgap_;
      }
    } else {
      int step = std::max(1, cell_.cx + hgap_);
      int columns = std::max(1, (width - hgap_ / 2 - cell_.cx) / step + 1);
      for (size_t i = 0; i < items_.size(); ++i) {
        int col = static_cast<int>(i) % columns;
        int row = static_cast<int>(i) / columns;
        int x = col * (cell_.cx + hgap_) + hgap_ / 2;
        int y = row * (cell_.cy + vgap_) + vgap_ / 2;
        positions_[i] = Upp::Rect(x, y, x + cell_.cx, y + cell_.cy);
        bottom = y + cell_.cy;
      }
    }
    if (footer_) {
      footer_rect_ = Upp::Rect(0, bottom, width, bottom + footer_->GetSize().cy);
      bottom = footer_rect_.bottom;
    }
    content_height_ = bottom;
    bool was_shown = bar_.IsShown();
    if (content_height_ != bar_.GetTotal() || sz.cy != bar_.GetPage())
      bar_.Set(sz.cy, content_height_, bar_.GetPos());
    if (bar_.IsShown() == was_shown) break;
  }
  PlaceItems();
}

void ViewCtrl::PlaceItems() {
  Upp::Point shift(0, -bar_.GetPos());
  for (size_t i = 0; i < items_.size() && i < positions_.size(); ++i)
    if (items_[i]) items_[i]->SetRect(Upp::Offset(positions_[i], shift));
  if (footer_) footer_->SetRect(Upp::Offset(footer_rect_, shift));
  Refresh();
}

void ViewCtrl::LeftDown(Upp::Point, uint32_t) { SetFocus(); }

void ViewCtrl::MouseWheel(Upp::Point, int zdelta, uint32_t) {
  if (!bar_.IsShown()) return;
  bar_.SetPos(bar_.GetPos() - zdelta * (vgap_ + 30) / 120);
}

void ViewCtrl::ChildMouseEvent(Upp::Ctrl* child, int event, Upp::Point p, int zdelta,
                               uint32_t keyflags) {
  // Items know nothing of scrolling: the wheel over any of them is the view's.
  if (event == MOUSEWHEEL && child != &bar_) MouseWheel(p, zdelta, keyflags);
}

}  // namespace ctrls
