#include "upp/ctrl.h"

#include <algorithm>

#include "upp/timer_queue.h"
#include "upp/toolkit.h"

namespace Upp {

Ctrl::Ctrl() { UPP_CHECK_UI_THREAD(); }

Ctrl::~Ctrl() {
  UPP_CHECK_UI_THREAD();
  KillTimeCallback(&root_);
  RootState& root = Root();
  if (root.host && (root.capture.Get() == this || (!parent_ && root.capture)))
    root.host->SetMouseCapture(false);
  if (root.capture.Get() == this) root.capture = nullptr;
  // Weak pointers to us (over, focus, repeat, bound callbacks) read null
  // from here on.
  InvalidateWeakPtrs();
  for (Ctrl* child : children_) child->parent_ = nullptr;
  children_.clear();
  Remove();
}

void Ctrl::AddChild(Ctrl* child) {
  UPP_CHECK_UI_THREAD();
  if (!child || child == this || child->parent_ == this) return;
  child->Remove();
  child->parent_ = this;
  children_.push_back(child);
  child->Refresh();
}

void Ctrl::RemoveChild(Ctrl* child) {
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return;
  child->Refresh();
  // A control that leaves the tree takes no more of its input with it.
  RootState& root = Root();
  auto inside = [child](const Ptr<Ctrl>& p) {
    for (const Ctrl* c = p.Get(); c; c = c->parent_)
      if (c == child) return true;
    return false;
  };
  if (inside(root.capture)) {
    root.capture = nullptr;
    if (root.host) root.host->SetMouseCapture(false);
  }
  if (inside(root.over)) root.over = nullptr;
  if (inside(root.focus)) root.focus = nullptr;
  if (inside(root.repeat)) root.repeat = nullptr;
  children_.erase(it);
  child->parent_ = nullptr;
}

void Ctrl::Remove() {
  if (parent_) parent_->RemoveChild(this);
}

Ctrl* Ctrl::GetTopCtrl() {
  Ctrl* c = this;
  while (c->parent_) c = c->parent_;
  return c;
}

Ctrl::RootState& Ctrl::Root() { return GetTopCtrl()->root_; }

void Ctrl::SetHost(CtrlHost* host) { root_.host = host; }

CtrlHost* Ctrl::GetHost() { return Root().host; }

HWND Ctrl::GetHWND() {
  CtrlHost* host = GetHost();
  return host ? host->GetHWND() : nullptr;
}

void Ctrl::SetRect(const Rect& r) {
  UPP_CHECK_UI_THREAD();
  if (r == rect_) return;
  const bool resized = r.GetSize() != rect_.GetSize();
  Refresh();
  rect_ = r;
  if (resized) Layout();
  Refresh();
}

Rect Ctrl::GetRootRect() const {
  Rect r = rect_;
  for (const Ctrl* p = parent_; p; p = p->parent_) r = Offset(r, p->rect_.TopLeft());
  // The root's own position is the host's business.
  const Ctrl* top = this;
  while (top->parent_) top = top->parent_;
  return Offset(r, Point(-top->rect_.left, -top->rect_.top));
}

void Ctrl::Show(bool show) {
  if (visible_ == show) return;
  if (!show) Refresh();
  visible_ = show;
  if (show) Refresh();
}

bool Ctrl::IsVisible() const {
  for (const Ctrl* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void Ctrl::Enable(bool enable) {
  if (enabled_ == enable) return;
  enabled_ = enable;
  Refresh();
}

void Ctrl::Refresh() { Refresh(GetView()); }

void Ctrl::Refresh(const Rect& r) {
  if (!visible_ || r.IsEmpty()) return;
  if (parent_) {
    parent_->Refresh(Offset(r, rect_.TopLeft()));
  } else if (root_.host) {
    root_.host->Invalidate(r);
  }
}

void Ctrl::PaintTree(Draw& w) {
  UPP_CHECK_UI_THREAD();
  if (!visible_) return;
  Paint(w);
  for (Ctrl* child : children_) {
    if (!child->visible_ || !w.IsPainting(child->rect_)) continue;
    w.Clipoff(child->rect_);
    child->PaintTree(w);
    w.End();
  }
}

// --- mouse ---

void Ctrl::MouseEvent(int event, Point p, int zdelta, uint32_t keyflags) {
  switch (event) {
    case MOUSEENTER: MouseEnter(p, keyflags); break;
    case MOUSEMOVE: MouseMove(p, keyflags); break;
    case LEFTDOWN: LeftDown(p, keyflags); break;
    case LEFTUP: LeftUp(p, keyflags); break;
    case LEFTDOUBLE: LeftDouble(p, keyflags); break;
    case LEFTREPEAT: LeftRepeat(p, keyflags); break;
    case RIGHTDOWN: RightDown(p, keyflags); break;
    case RIGHTUP: RightUp(p, keyflags); break;
    case MOUSEWHEEL: MouseWheel(p, zdelta, keyflags); break;
    case MOUSELEAVE: MouseLeave(); break;
    default: break;
  }
}

void Ctrl::ChildMouseEvent(Ctrl* child, int event, Point p, int zdelta, uint32_t keyflags) {
  if (parent_) parent_->ChildMouseEvent(child, event, p, zdelta, keyflags);
}

Ctrl* Ctrl::ChildFromPoint(Point p) {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    Ctrl* child = *it;
    if (!child->visible_ || !child->rect_.Contains(p)) continue;
    Ctrl* hit = child->ChildFromPoint(p - child->rect_.TopLeft());
    // A transparent control hands the point to its parent.
    if (hit == child && child->IsMouseTransparent()) continue;
    return hit;
  }
  return this;
}

void Ctrl::Deliver(Ctrl* target, int event, Point root_point, int zdelta, uint32_t keyflags) {
  if (!target) return;
  Ptr<Ctrl> alive(target);
  const Point local = root_point - target->GetRootRect().TopLeft();
  if (target->parent_) target->parent_->ChildMouseEvent(target, event, local, zdelta, keyflags);
  if (alive) alive->MouseEvent(event, local, zdelta, keyflags);
}

bool Ctrl::HasMouse() const {
  const Ctrl* top = this;
  while (top->parent_) top = top->parent_;
  return top->root_.over.Get() == this;
}

void Ctrl::SetOver(Ctrl* ctrl, Point root_point, uint32_t keyflags) {
  RootState& root = root_;
  Ctrl* old = root.over.Get();
  if (old == ctrl) return;
  root.over = ctrl;
  if (old) Deliver(old, MOUSELEAVE, root_point, 0, keyflags);
  if (ctrl && root.over.Get() == ctrl) Deliver(ctrl, MOUSEENTER, root_point, 0, keyflags);
}

void Ctrl::DispatchMouse(int event, Point p, int zdelta, uint32_t keyflags) {
  UPP_CHECK_UI_THREAD();
  if (parent_) {
    GetTopCtrl()->DispatchMouse(event, p + GetRootRect().TopLeft(), zdelta, keyflags);
    return;
  }
  Ptr<Ctrl> self(this);
  Ctrl* hit = ChildFromPoint(p);
  // Disabled controls (or ones under a disabled ancestor) take no input.
  for (Ctrl* c = hit; c; c = c->parent_)
    if (!c->enabled_) { hit = nullptr; break; }
  Ctrl* captured = root_.capture.Get();
  Ctrl* over = captured ? (captured->GetRootRect().Contains(p) ? captured : nullptr) : hit;
  if (event != MOUSELEAVE) SetOver(over, p, keyflags);
  if (!self) return;
  Ctrl* target = captured ? captured : hit;
  if (event == MOUSEENTER || event == MOUSELEAVE) return;
  if (event == LEFTDOWN || event == LEFTDOUBLE) StartRepeat(target, p);
  if (event == LEFTUP) StopRepeat();
  if (event == MOUSEMOVE) root_.repeat_point = p;
  Deliver(target, event, p, zdelta, keyflags);
}

void Ctrl::DispatchMouseLeave() {
  if (parent_) {
    GetTopCtrl()->DispatchMouseLeave();
    return;
  }
  if (root_.capture) return;  // the captured control still gets the moves
  SetOver(nullptr, Point(-1, -1), 0);
}

HCURSOR Ctrl::DispatchCursor(Point p, uint32_t keyflags) {
  Ctrl* top = GetTopCtrl();
  Ctrl* c = top->root_.capture ? top->root_.capture.Get() : top->ChildFromPoint(p);
  if (!c) return nullptr;
  return c->CursorImage(p - c->GetRootRect().TopLeft(), keyflags);
}

void Ctrl::StartRepeat(Ctrl* target, Point root_point) {
  StopRepeat();
  if (!target) return;
  root_.repeat = target;
  root_.repeat_point = root_point;
  SetTimeCallback(kRepeatDelayMs, Bind(this, &Ctrl::OnRepeat), &root_);
}

void Ctrl::StopRepeat() {
  KillTimeCallback(&root_);
  root_.repeat = nullptr;
}

void Ctrl::OnRepeat() {
  // Ends with the release (DispatchMouse LEFTUP) or a lost capture.
  Ctrl* target = root_.repeat.Get();
  if (!target) return;
  SetTimeCallback(kRepeatPeriodMs, Bind(this, &Ctrl::OnRepeat), &root_);
  Deliver(target, LEFTREPEAT, root_.repeat_point, 0, K_LBUTTON);
}

void Ctrl::SetCapture() {
  UPP_CHECK_UI_THREAD();
  RootState& root = Root();
  root.capture = this;
  if (root.host) root.host->SetMouseCapture(true);
}

void Ctrl::ReleaseCapture() {
  RootState& root = Root();
  if (root.capture.Get() != this) return;
  root.capture = nullptr;
  if (root.host) root.host->SetMouseCapture(false);
}

bool Ctrl::HasCapture() const {
  const Ctrl* top = this;
  while (top->parent_) top = top->parent_;
  return top->root_.capture.Get() == this;
}

Ctrl* Ctrl::GetCaptureCtrl() { return Root().capture.Get(); }

void Ctrl::CaptureLost() {
  RootState& root = Root();
  Ptr<Ctrl> holder = root.capture;
  root.capture = nullptr;
  StopRepeat();
  if (Ctrl* c = holder.Get()) c->CancelMode();
}

// --- focus and keys ---

void Ctrl::SetFocus() {
  UPP_CHECK_UI_THREAD();
  RootState& root = Root();
  Ctrl* old = root.focus.Get();
  if (old == this) return;
  root.focus = this;
  if (old) old->LostFocus();
  if (root.focus.Get() == this) GotFocus();
}

bool Ctrl::HasFocus() const {
  const Ctrl* top = this;
  while (top->parent_) top = top->parent_;
  return top->root_.focus.Get() == this;
}

bool Ctrl::DispatchKey(uint32_t key, int count) {
  // The focused control first, then its ancestors.
  Ctrl* c = Root().focus.Get();
  while (c) {
    if (c->enabled_ && c->Key(key, count)) return true;
    c = c->parent_;
  }
  return false;
}

}  // namespace Upp
