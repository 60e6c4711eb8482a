// The widget base of the toolkit: a tree of controls, each with a rectangle
// in its parent's coordinates, painted into a Draw surface and fed with
// mouse, wheel, keyboard and focus events by the root of its tree.
//
// Hosting: the root control of a tree is attached to a CtrlHost (a native
// window through HwndCtrlHost, a layered window, or OffscreenHost in tests
// and benchmarks). The host turns platform messages into DispatchMouse and
// DispatchKey calls on the root, asks it for the cursor, and paints it with
// PaintTree; the tree asks the host for repaints (Invalidate), mouse capture
// and cursor changes.
//
// Events: mouse events go to the deepest visible control under the point
// (later children lie above earlier ones), or to the control holding the
// capture. Controls that are disabled receive none. Enter and leave follow
// the control under the mouse; while one control holds the capture no other
// control is entered. A held left button auto-repeats into LeftRepeat.
//
// Ownership: a parent does not own its children; a child that dies leaves
// its parent, and a parent that dies orphans its children. Controls are
// neither copyable nor movable.
//
// IMPORTANT: Thread-safety. User-interface thread only (checked).
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "upp/callback.h"
#include "upp/draw.h"
#include "upp/geometry.h"
#include "upp/ptr.h"

namespace Upp {

class Ctrl;

// What a tree needs from the window that shows it. Rectangles are in root
// coordinates.
class CtrlHost {
 public:
  virtual void Invalidate(const Rect& r) = 0;
  virtual void SetMouseCapture(bool capture) = 0;
  virtual void SetCursor(HCURSOR cursor) = 0;
  virtual HWND GetHWND() const = 0;

 protected:
  ~CtrlHost() = default;
};

// Key flags carried with mouse events (a subset of MK_*).
enum : uint32_t {
  K_LBUTTON = MK_LBUTTON,
  K_RBUTTON = MK_RBUTTON,
  K_SHIFT = MK_SHIFT,
  K_CTRL = MK_CONTROL,
};

class Ctrl : public Pte<Ctrl> {
 public:
  enum MouseEventKind {
    MOUSEENTER,
    MOUSEMOVE,
    LEFTDOWN,
    LEFTUP,
    LEFTDOUBLE,
    LEFTREPEAT,
    RIGHTDOWN,
    RIGHTUP,
    MOUSEWHEEL,
    MOUSELEAVE,
  };

  // First auto-repeat after a press, then the period.
  static constexpr int kRepeatDelayMs = 400;
  static constexpr int kRepeatPeriodMs = 100;

  Ctrl();
  virtual ~Ctrl();
  Ctrl(const Ctrl&) = delete;
  Ctrl& operator=(const Ctrl&) = delete;

  Callback WhenAction;

  // --- tree ---
  void AddChild(Ctrl* child);
  Ctrl& Add(Ctrl& child) { AddChild(&child); return *this; }
  void RemoveChild(Ctrl* child);
  void Remove();
  Ctrl* GetParent() const { return parent_; }
  Ctrl* GetTopCtrl();
  const std::vector<Ctrl*>& GetChildren() const { return children_; }
  int GetChildCount() const { return static_cast<int>(children_.size()); }

  // --- hosting (root controls) ---
  void SetHost(CtrlHost* host);
  CtrlHost* GetHost();
  // The native window of the tree's host, null when not hosted.
  virtual HWND GetHWND();

  // --- geometry ---
  void SetRect(const Rect& r);
  void SetRect(int x, int y, int cx, int cy) { SetRect(Rect(x, y, x + cx, y + cy)); }
  Rect GetRect() const { return rect_; }
  Size GetSize() const { return rect_.GetSize(); }
  Rect GetView() const { return Rect(Point(), rect_.GetSize()); }
  // Rectangle in root coordinates.
  Rect GetRootRect() const;
  virtual void Layout() {}

  // --- state ---
  void Show(bool show = true);
  void Hide() { Show(false); }
  bool IsShown() const { return visible_; }
  bool IsVisible() const;  // shown, and every ancestor too
  void Enable(bool enable = true);
  void Disable() { Enable(false); }
  bool IsEnabled() const { return enabled_; }

  // --- painting ---
  virtual void Paint(Draw& w) {}
  virtual void Refresh();
  virtual void Refresh(const Rect& r);
  // Paints this control and its visible children into `w`, whose origin is
  // this control's top-left corner.
  void PaintTree(Draw& w);

  // --- mouse ---
  // Entry point of every mouse event of this control; the default calls the
  // matching handler below. `p` is in this control's coordinates.
  virtual void MouseEvent(int event, Point p, int zdelta, uint32_t keyflags);
  // Told before a descendant receives an event (p in the child's coordinates).
  virtual void ChildMouseEvent(Ctrl* child, int event, Point p, int zdelta, uint32_t keyflags);
  // A control that answers true is passed over by hit testing, as if the
  // point lay on its parent.
  virtual bool IsMouseTransparent() const { return false; }
  virtual void MouseEnter(Point p, uint32_t keyflags) {}
  virtual void MouseMove(Point p, uint32_t keyflags) {}
  virtual void LeftDown(Point p, uint32_t keyflags) {}
  virtual void LeftRepeat(Point p, uint32_t keyflags) {}
  virtual void LeftUp(Point p, uint32_t keyflags) {}
  virtual void LeftDouble(Point p, uint32_t keyflags) { LeftDown(p, keyflags); }
  virtual void RightDown(Point p, uint32_t keyflags) {}
  virtual void RightUp(Point p, uint32_t keyflags) {}
  virtual void MouseWheel(Point p, int zdelta, uint32_t keyflags) {}
  virtual void MouseLeave() {}
  // The capture this control held was taken away (another window, a
  // message box, Alt+Tab): no release will come, so drop any pressed look.
  virtual void CancelMode() {}
  // The cursor while the mouse is over this control; null for the arrow.
  virtual HCURSOR CursorImage(Point p, uint32_t keyflags) { return nullptr; }

  void SetCapture();
  void ReleaseCapture();
  bool HasCapture() const;
  // The control of this tree that holds the capture, if any.
  Ctrl* GetCaptureCtrl();
  bool HasMouse() const;  // the control under the mouse

  // --- keyboard and focus ---
  virtual bool Key(uint32_t key, int count) { return false; }
  virtual void GotFocus() {}
  virtual void LostFocus() {}
  void SetFocus();
  bool HasFocus() const;

  // --- dispatch, called by hosts on the root (root coordinates) ---
  void DispatchMouse(int event, Point p, int zdelta = 0, uint32_t keyflags = 0);
  // The mouse left the host window.
  void DispatchMouseLeave();
  bool DispatchKey(uint32_t key, int count);
  HCURSOR DispatchCursor(Point p, uint32_t keyflags = 0);
  // The host lost the capture behind the tree's back: the holder is told
  // through CancelMode.
  void CaptureLost();

  // The deepest control that takes mouse events at `p` (root coordinates of
  // this control), or this.
  Ctrl* ChildFromPoint(Point p);

 private:
  // State a root keeps for its tree.
  struct RootState {
    CtrlHost* host = nullptr;
    Ptr<Ctrl> over;
    Ptr<Ctrl> capture;
    Ptr<Ctrl> focus;
    Ptr<Ctrl> repeat;  // target of the left-button auto-repeat
    Point repeat_point;  // root coordinates
  };
  RootState& Root();
  void Deliver(Ctrl* target, int event, Point root_point, int zdelta, uint32_t keyflags);
  void SetOver(Ctrl* ctrl, Point root_point, uint32_t keyflags);
  void StartRepeat(Ctrl* target, Point root_point);
  void StopRepeat();
  void OnRepeat();

  Ctrl* parent_ = nullptr;
  std::vector<Ctrl*> children_;
  Rect rect_;
  bool visible_ = true;
  bool enabled_ = true;
  RootState root_;
};

}  // namespace Upp
