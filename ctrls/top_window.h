// A top-level window of the program: a native window made from an
// in-memory dialog template (modeless), hosting a TopCtrl tree, with the
// skin's chrome: background, size, drag strip, system box (close and
// minimise), title and drop shadow.
//
// Behaviour: a press on the bare background at client y <= dragtop starts
// the system's window drag (the strip includes row dragtop; dragtop 0 means
// no strip); presses on controls go to the controls. Esc (the dialog's
// cancel command) and the system close request close the window unless
// NoClose is set. While the window exists inside the running message loop
// it filters that loop's Esc key into the cancel command (a modeless dialog
// gets it only through IsDialogMessage). Closing runs WhenClose, destroys the native window and
// calls OnAfterDestroy on the next pass of the message loop; the object
// stays and can be created again.
//
// Ownership: the object owns its native window (destroyed with it), the
// root control, the system box and the shadow. Added controls are not owned.
// Skin style records are referenced, never copied or freed.
// IMPORTANT: Thread-safety. User-interface thread only. No exception leaves
// the window procedure.
#pragma once

#include <windows.h>

#include <string>

#include "base/message_loop.h"
#include "ctrls/dialog_template.h"
#include "ctrls/shadow_border.h"
#include "ctrls/system_panel.h"
#include "ctrls/top_wnd_base.h"
#include "upp/callback.h"
#include "upp/color.h"
#include "upp/image.h"
#include "upp/ptr.h"

namespace ctrls {

class TopWindow : public TopWndBase,
                  public ShadowBorder,
                  public Upp::Pte<TopWindow>,
                  public base::MessageFilter {
 public:
  using Style = SystemPanel::Style;

  enum : uint8_t {
    kCenter = 1 << 2,
    kNoActivate = 1 << 3,
    kNoClose = 1 << 4,
  };
  static constexpr DWORD kDefaultStyle = WS_POPUP | WS_CLIPCHILDREN;

  TopWindow();
  ~TopWindow() override;

  Upp::Callback WhenClose;

  // --- overridable behaviour ---
  virtual void AddCtrl(Upp::Ctrl& ctrl);
  virtual TopWindow& Add(Upp::Ctrl& ctrl) { AddCtrl(ctrl); return *this; }
  virtual void SetBackgroundColor(Upp::Color color);
  virtual void SetBackgroundImage(const Upp::Image& image);
  virtual void OnAfterDestroy() {}
  virtual void ApplyStyle();
  virtual void OnInit() {}
  virtual void OnLeftPress(Upp::Point p) {}
  virtual void OnLoseFocus() {}
  virtual void OnCursorTrack(Upp::Point previous) {}
  virtual void Close();

  // ShadowBorder: the skin's "shadow" image.
  Upp::Image GetShadowImage() override;

  // --- style and geometry ---
  // Looks the window style up in the skin by name.
  TopWindow& SetStyle(const char* name);
  TopWindow& SetStyle(const Style& style);
  const Style& GetStyle() const { return *style_; }
  SystemPanel& GetSystemBox() { return system_; }

  HWND Create(HWND owner);
  void SetRect(int left, int top, int right, int bottom);
  void SetSize(int cx, int cy);
  SIZE GetSize() const;
  RECT GetWindowRectStored() const { return rect_; }
  void Show();
  void Hide();
  void Minimize();
  bool IsOpen() const { return hwnd_ && IsWindow(hwnd_); }
  bool IsShown() const { return IsOpen() && IsWindowVisible(hwnd_); }

  TopWindow& NoCenter() { flags_ &= ~kCenter; return *this; }
  TopWindow& NoClose() { flags_ |= kNoClose; return *this; }
  TopWindow& TopMost() { ex_style_ |= WS_EX_TOPMOST; return *this; }
  TopWindow& NoActivate() { flags_ |= kNoActivate; ex_style_ |= WS_EX_NOACTIVATE; return *this; }
  TopWindow& MinimizeBox() { style_bits_ |= WS_MINIMIZEBOX | WS_SYSMENU; return *this; }
  TopWindow& SetCaption(const std::wstring& caption) { caption_ = caption; return *this; }
  uint8_t GetFlags() const { return flags_; }
  DWORD GetWindowStyle() const { return style_bits_; }
  DWORD GetWindowExStyle() const { return ex_style_; }

  // Whether a press at client point `p` on the background starts a drag.
  bool InDragStrip(Upp::Point p) const;
  // The rectangle `size` gets when centred on `owner` (if visible and not
  // minimised) or the work area nearest `near_rect`, kept inside the work
  // area.
  static RECT CenteredRect(SIZE size, HWND owner, const RECT& near_rect);

  // Handles one message; false lets the dialog manager have it.
  virtual bool ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);

  // base::MessageFilter: Esc aimed at this window or a child of it.
  bool PreTranslateMessage(MSG* msg) override;

 protected:
  // Starts the system's window drag (posts WM_NCLBUTTONDOWN/HTCAPTION).
  virtual void BeginSystemDrag();
  // Whether `ctrl` (hit by a press) is bare background for the drag strip.
  virtual bool IsBackground(const Upp::Ctrl* ctrl) const { return ctrl == &top_; }
  // Where added controls go (the content control of layered windows).
  virtual Upp::Ctrl& ContentCtrl() { return top_; }

  DWORD style_bits_ = kDefaultStyle;
  DWORD ex_style_ = 0;
  uint8_t flags_ = kCenter;
  RECT rect_ = {0, 0, 0, 0};

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  bool OnInitDialog(LRESULT* result);
  bool OnLeftDown(WPARAM wparam, LPARAM lparam, LRESULT* result);
  void OnMouseMoveTrack();
  void OnTrackTimer();
  void LayoutSystemBox();
  void ApplyRectToWindow(bool activate);
  void JoinMessageLoop();
  void LeaveMessageLoop();

  DialogTemplate template_;
  const Style* style_;
  SystemPanel system_;
  Upp::Point last_cursor_;
  bool pressed_into_tree_ = false;
  HWND owner_ = nullptr;
  std::wstring caption_;
  int track_timer_key_ = 0;  // address used as the timer owner
  base::MessageLoop* filter_loop_ = nullptr;
};

}  // namespace ctrls
