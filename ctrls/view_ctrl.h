// A scrollable view of item controls laid out as a list (full-width rows
// at their own heights) or a grid (fixed cells, as many columns as fit),
// with an optional footer after the last item and a vertical scroll bar at
// the right edge that appears only when the content is taller than the
// view. The wheel scrolls (vertical gap + 30) pixels a notch.
//
// Items keep their own height in list mode: set it before adding them or
// call Relayout after changing it.
//
// Ownership: items added by pointer stay the caller's; items added as
// unique_ptr belong to the view until RemoveAll. The footer is not owned.
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <memory>
#include <vector>

#include "ctrls/scroll_bar.h"
#include "upp/ctrl.h"
#include "upp/ptr.h"

namespace ctrls {

class ViewCtrl : public Upp::Ctrl {
 public:
  ViewCtrl();
  ~ViewCtrl() override;

  // Appends an item; returns its index.
  int AddItem(Upp::Ctrl& item);
  int AddItem(std::unique_ptr<Upp::Ctrl> item);
  // Takes every item out of the view; with `destroy` the owned ones die.
  // Without it they are handed back to the caller in the returned list.
  std::vector<std::unique_ptr<Upp::Ctrl>> RemoveAll(bool destroy = true);
  int GetCount() const { return static_cast<int>(items_.size()); }
  Upp::Ctrl* GetItem(int i) const { return items_[i].Get(); }
  // Index of `ctrl` among the items, or -1.
  int Find(const Upp::Ctrl* ctrl) const;

  ViewCtrl& ListMode(bool list = true) { list_ = list; Relayout(); return *this; }
  ViewCtrl& GridMode(Upp::Size cell) { cell_ = cell; return ListMode(false); }
  ViewCtrl& SetGap(int horz, int vert) { hgap_ = horz; vgap_ = vert; Relayout(); return *this; }
  ViewCtrl& SetFooter(Upp::Ctrl* footer);
  ViewCtrl& SetScrollBarStyle(const ScrollBar::Style& style);

  ScrollBar& GetScrollBar() { return bar_; }
  int GetScroll() const { return bar_.GetPos(); }
  int GetContentHeight() const { return content_height_; }
  // The item's rectangle in content coordinates (before scrolling).
  Upp::Rect GetItemRect(int i) const { return positions_[i]; }

  void Relayout() { Layout(); }
  void Layout() override;
  void LeftDown(Upp::Point p, uint32_t keyflags) override;
  void MouseWheel(Upp::Point p, int zdelta, uint32_t keyflags) override;
  void ChildMouseEvent(Upp::Ctrl* child, int event, Upp::Point p, int zdelta,
                       uint32_t keyflags) override;

 private:
  void KeepBarOnTop();
  void PlaceItems();
  int ItemWidth() const;

  // Weak, so an item the caller destroys simply drops out of the layout.
  std::vector<Upp::Ptr<Upp::Ctrl>> items_;
  std::vector<std::unique_ptr<Upp::Ctrl>> owned_;
  std::vector<Upp::Rect> positions_;
  Upp::Rect footer_rect_;
  Upp::Ptr<Upp::Ctrl> footer_;
  ScrollBar bar_;
  bool list_ = true;
  Upp::Size cell_{64, 64};
  int hgap_ = 0;
  int vgap_ = 0;
  int content_height_ = 0;
};

}  // namespace ctrls
