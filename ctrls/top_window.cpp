#include "ctrls/top_window.h"

#include <windowsx.h>

#include <exception>

#include "log/log.h"
#include "skin/skin_loader.h"
#include "upp/timer_queue.h"
#include "upp/toolkit.h"

namespace ctrls {
namespace {

Upp::Point ClientPoint(LPARAM lparam) { return Upp::Point(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)); }

// How long mouse tracking waits after the last move of a held press.
constexpr int kTrackDelayMs = 10;

}  // namespace

TopWindow::TopWindow() : style_(&SystemPanel::StyleDefault()) {
  system_.WhenClose = Upp::Bind(this, &TopWindow::Close);
  system_.WhenMinimize = Upp::Bind(this, &TopWindow::Minimize);
  top_.Add(system_);
}

TopWindow::~TopWindow() {
  LeaveMessageLoop();
  Upp::KillTimeCallback(&track_timer_key_);
  Upp::KillTimeCallback(this);
  if (IsOpen()) {
    HWND hwnd = hwnd_;
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);  // no message reaches a half-destroyed object
    DetachWindow();
    DestroyWindow(hwnd);
  }
}

void TopWindow::AddCtrl(Upp::Ctrl& ctrl) {
  Upp::Ctrl& content = ContentCtrl();
  content.Add(ctrl);
  // The system box stays above whatever is added.
  if (system_.GetParent() == &content) {
    content.RemoveChild(&system_);
    content.Add(system_);
  }
}

void TopWindow::SetBackgroundColor(Upp::Color color) {
  top_.SetBackgroundColor(color);
  Host().SetBackground(color);
}

void TopWindow::SetBackgroundImage(const Upp::Image& image) { top_.SetBackground(image); }

Upp::Image TopWindow::GetShadowImage() {
  return skin::SkinLoader::Instance().Get<Upp::Image>("shadow").value;
}

TopWindow& TopWindow::SetStyle(const char* name) {
  return SetStyle(skin::SkinLoader::Instance().Get<Style>(name).value);
}

TopWindow& TopWindow::SetStyle(const Style& style) {
  UPP_CHECK_UI_THREAD();
  style_ = &style;
  system_.SetStyle(style);  // takes the title text too
  ApplyStyle();
  return *this;
}

void TopWindow::ApplyStyle() {
  const Style& s = *style_;
  if (!s.shadow) EnableShadow(false);
  if (!s.wndbg.GetSize().IsEmpty())
    SetBackgroundImage(s.wndbg);
  else
    SetBackgroundColor(s.wndcolorbg);
  if (s.wndsize.cx != 0 || s.wndsize.cy != 0)
    SetRect(rect_.left, rect_.top, rect_.left + s.wndsize.cx, rect_.top + s.wndsize.cy);
}

HWND TopWindow::Create(HWND owner) {
  UPP_CHECK_UI_THREAD();
  if (IsOpen()) return hwnd_;
  owner_ = owner;
  template_.Build(style_bits_, ex_style_, caption_);
  HINSTANCE instance = Upp::ToolkitInstance() ? Upp::ToolkitInstance() : GetModuleHandleW(nullptr);
  HWND hwnd = CreateDialogIndirectParamW(instance, template_.Get(), owner, &TopWindow::DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  if (!hwnd) KV_LOG_ERROR << "ctrls::TopWindow::Create CreateDialogIndirectParam failed, error " << GetLastError();
  return hwnd;
}

INT_PTR CALLBACK TopWindow::DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  TopWindow* self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<TopWindow*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    self->AttachWindow(hwnd);
    self->JoinMessageLoop();
  } else {
    self = reinterpret_cast<TopWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;
  try {
    if (msg == WM_NCDESTROY) {
      self->LeaveMessageLoop();
      SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      self->DetachWindow();
      return FALSE;
    }
    LRESULT result = 0;
    if (!self->ProcessMessage(msg, wparam, lparam, &result)) return FALSE;
    if (msg == WM_INITDIALOG) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  } catch (const std::exception& e) {
    KV_LOG_ERROR << "ctrls::TopWindow::DialogProc " << static_cast<int>(msg) << " threw: " << e.what();
  } catch (...) {
    KV_LOG_ERROR << "ctrls::TopWindow::DialogProc " << static_cast<int>(msg) << " threw";
  }
  return FALSE;
}

bool TopWindow::ProcessMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  *result = 0;
  switch (msg) {
    case WM_KILLFOCUS:
      OnLoseFocus();
      return false;
    case WM_MOUSEACTIVATE:
      *result = (flags_ & kNoActivate) ? MA_NOACTIVATE : MA_ACTIVATE;
      return true;
    case WM_MOVE:
      ShadowOnMove();
      return false;
    case WM_SIZE:
      ShadowOnSize(hwnd_);
      Host().HandleMessage(msg, wparam, lparam, result);  // sizes the root
      return false;
    case WM_SHOWWINDOW:
      ShadowOnShow(wparam != 0);
      return false;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      if (dc) Paint(dc);
      EndPaint(hwnd_, &ps);
      return true;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wparam));
      return true;
    case WM_ERASEBKGND:
      EraseBackground(reinterpret_cast<HDC>(wparam), nullptr);
      *result = 1;
      return true;
    case WM_LBUTTONDOWN:
      return OnLeftDown(wparam, lparam, result);
    case WM_LBUTTONUP:
      pressed_into_tree_ = false;
      return Host().HandleMessage(msg, wparam, lparam, result);
    case WM_CANCELMODE:
    case WM_CAPTURECHANGED:
      pressed_into_tree_ = false;  // no release will come
      return Host().HandleMessage(msg, wparam, lparam, result);
    case WM_MOUSEMOVE:
      if (pressed_into_tree_) OnMouseMoveTrack();
      return Host().HandleMessage(msg, wparam, lparam, result);
    case WM_INITDIALOG:
      return OnInitDialog(result);
    case WM_CLOSE:
      if (flags_ & kNoClose) return true;
      Close();
      return true;
    case WM_COMMAND:
      if (LOWORD(wparam) != IDCANCEL) return false;
      if (!(flags_ & kNoClose)) Close();
      return true;
    default:
      return Host().HandleMessage(msg, wparam, lparam, result);
  }
}

void TopWindow::JoinMessageLoop() {
  if (filter_loop_) return;
  filter_loop_ = base::AppModule::Get().GetMessageLoop();
  if (filter_loop_) filter_loop_->AddMessageFilter(this);
}

void TopWindow::LeaveMessageLoop() {
  if (!filter_loop_) return;
  filter_loop_->RemoveMessageFilter(this);
  filter_loop_ = nullptr;
}

// Only Esc: Tab, arrows and Enter stay with the control tree, which has its
// own key handling and no dialog items to move between.
bool TopWindow::PreTranslateMessage(MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN || msg->wParam != VK_ESCAPE || !IsOpen()) return false;
  if (msg->hwnd != hwnd_ && !IsChild(hwnd_, msg->hwnd)) return false;
  return IsDialogMessageW(hwnd_, msg) != FALSE;
}

bool TopWindow::OnLeftDown(WPARAM wparam, LPARAM lparam, LRESULT* result) {
  const Upp::Point p = ClientPoint(lparam);
  const Upp::Ctrl* target = top_.ChildFromPoint(p);
  const bool on_tree = top_.GetRect().Contains(p);
  if (on_tree && !IsBackground(target)) {
    pressed_into_tree_ = true;
    return Host().HandleMessage(WM_LBUTTONDOWN, wparam, lparam, result);
  }
  OnLeftPress(p);
  if (!(style_bits_ & WS_CHILD) && InDragStrip(p)) BeginSystemDrag();
  return true;
}

bool TopWindow::InDragStrip(Upp::Point p) const {
  const int dragtop = style_->dragtop;
  return dragtop != 0 && p.y <= dragtop;
}

void TopWindow::BeginSystemDrag() {
  if (!IsOpen()) return;
  POINT pt;
  GetCursorPos(&pt);
  PostMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pt.x, pt.y));
}

void TopWindow::OnMouseMoveTrack() {
  Upp::KillTimeCallback(&track_timer_key_);
  Upp::SetTimeCallback(kTrackDelayMs, Upp::Bind(this, &TopWindow::OnTrackTimer), &track_timer_key_);
}

void TopWindow::OnTrackTimer() {
  OnCursorTrack(last_cursor_);
  POINT pt;
  last_cursor_ = GetCursorPos(&pt) ? Upp::Point(pt.x, pt.y) : Upp::Point();
}

bool TopWindow::OnInitDialog(LRESULT* result) {
  ApplyRectToWindow(!(flags_ & kNoActivate));
  RECT client;
  GetClientRect(hwnd_, &client);
  top_.SetRect(0, 0, client.right, client.bottom);
  if (flags_ & kCenter) {
    const RECT c = CenteredRect(GetSize(), owner_, rect_);
    SetRect(c.left, c.top, c.right, c.bottom);
  }
  LayoutSystemBox();
  OnInit();
  *result = (flags_ & kNoActivate) ? FALSE : TRUE;
  return true;
}

void TopWindow::LayoutSystemBox() {
  const Upp::Size size = top_.GetSize();
  const Style& s = *style_;
  const int left = size.cx - s.posx.x - s.posx.y;
  system_.SetRect(left, s.posy.x, s.posx.y, s.posy.y);
  system_.Layout();
}

void TopWindow::ApplyRectToWindow(bool activate) {
  if (!IsOpen()) return;
  SetWindowPos(hwnd_, nullptr, rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top,
               SWP_NOZORDER | (activate ? 0 : SWP_NOACTIVATE));
}

void TopWindow::SetRect(int left, int top, int right, int bottom) {
  rect_ = {left, top, right, bottom};
  if (!IsOpen()) return;
  ApplyRectToWindow(!(flags_ & kNoActivate));
  RECT client;
  GetClientRect(hwnd_, &client);
  top_.SetRect(0, 0, client.right, client.bottom);
}

void TopWindow::SetSize(int cx, int cy) { SetRect(rect_.left, rect_.top, rect_.left + cx, rect_.top + cy); }

SIZE TopWindow::GetSize() const { return SIZE{rect_.right - rect_.left, rect_.bottom - rect_.top}; }

void TopWindow::Show() {
  if (IsOpen()) ShowWindow(hwnd_, (flags_ & kNoActivate) ? SW_SHOWNOACTIVATE : SW_SHOW);
}

void TopWindow::Hide() {
  if (IsOpen()) ShowWindow(hwnd_, SW_HIDE);
}

void TopWindow::Minimize() {
  if (IsOpen()) ShowWindow(hwnd_, SW_MINIMIZE);
}

void TopWindow::Close() {
  UPP_CHECK_UI_THREAD();
  // WhenClose may delete the window object (an owner dropping its dialog).
  Upp::Ptr<TopWindow> alive(this);
  WhenClose();
  if (!alive) return;
  if (IsOpen()) DestroyWindow(hwnd_);
  Upp::SetTimeCallback(0, Upp::Bind(this, &TopWindow::OnAfterDestroy), this);
}

RECT TopWindow::CenteredRect(SIZE size, HWND owner, const RECT& near_rect) {
  MONITORINFO mi = {sizeof(mi)};
  RECT area;
  HMONITOR monitor;
  const bool on_owner = owner && IsWindow(owner) && IsWindowVisible(owner) && !IsIconic(owner);
  if (on_owner) {
    GetWindowRect(owner, &area);
    monitor = MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
  } else {
    monitor = MonitorFromRect(&near_rect, MONITOR_DEFAULTTONEAREST);
  }
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(monitor, &mi)) work = mi.rcWork;
  if (!on_owner) area = work;
  RECT r;
  r.left = area.left + (area.right - area.left - size.cx) / 2;
  r.top = area.top + (area.bottom - area.top - size.cy) / 2;
  // Right and bottom first, so a window larger than the area keeps its
  // top-left corner visible.
  if (r.left + size.cx > work.right) r.left = work.right - size.cx;
  if (r.top + size.cy > work.bottom) r.top = work.bottom - size.cy;
  if (r.left < work.left) r.left = work.left;
  if (r.top < work.top) r.top = work.top;
  r.right = r.left + size.cx;
  r.bottom = r.top + size.cy;
  return r;
}

}  // namespace ctrls
