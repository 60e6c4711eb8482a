// The content control of a layered window: it renders its whole tree into
// one alpha frame that the window pushes with UpdateLayeredWindow, and it
// coalesces refresh requests into throttled screen updates.
//
// Refresh: a refresh inside a LayeredCtrl nested in another one travels up
// to the outermost, which asks for a screen update: at once when the last
// one is at least 30 ms old (unsigned tick difference), otherwise one
// deferred update 30 ms later that also covers every request made
// meanwhile. Refreshes are ignored while suppressed. WhenUpdateScreen is
// the window's push; it runs on the user-interface thread from the timer
// queue or from the refresh call itself.
//
// Zoom: with a zoom other than 1 the tree is painted once into a cached
// snapshot (until MarkDirty), and frames are the snapshot scaled to the
// zoomed size, each side rounded up to an even number so the frame stays
// centred on the window.
//
// IMPORTANT: Thread-safety. User-interface thread only. The deferred update
// dies with the control.
#pragma once

#include <cmath>
#include <cstdint>

#include "ctrls/alpha_draw.h"
#include "ctrls/animation_clock.h"
#include "ctrls/panel.h"
#include "upp/callback.h"
#include "upp/timer_queue.h"

namespace ctrls {

// Lets nested layered controls find each other whatever their base.
class LayeredBase {
 public:
  virtual ~LayeredBase() = default;
};

template <class T = Panel<Upp::Ctrl>>
class LayeredCtrl : public T, public LayeredBase {
 public:
  static constexpr int kMinUpdateGapMs = 30;

  LayeredCtrl() = default;
  ~LayeredCtrl() override { Upp::KillTimeCallback(this); }

  Upp::Callback WhenUpdateScreen;

  LayeredCtrl& SetAlpha(int alpha) { alpha_ = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha; return *this; }
  int GetAlpha() const { return alpha_; }
  LayeredCtrl& SetZoom(double zoom) { zoom_ = zoom; return *this; }
  double GetZoom() const { return zoom_; }
  LayeredCtrl& SetScale2(double scale) { scale2_ = scale; return *this; }
  double GetScale2() const { return scale2_; }
  LayeredCtrl& SuppressRefresh(bool on) { suppressed_ = on; return *this; }
  bool IsRefreshSuppressed() const { return suppressed_; }
  // A rectangle the window pushes at instead of its own (zoom frames).
  LayeredCtrl& UseStoredRect(bool on, const Upp::Rect& r = Upp::Rect()) {
    use_stored_rect_ = on;
    stored_rect_ = r;
    return *this;
  }
  bool IsUsingStoredRect() const { return use_stored_rect_; }
  const Upp::Rect& GetStoredRect() const { return stored_rect_; }
  // The tree changed: the next zoom frame repaints the snapshot.
  void MarkDirty() { snapshot_ = Upp::Image(); }

  int GetUpdateCount() const { return updates_; }
  bool IsUpdatePending() const { return pending_; }

  // Each side x zoom, rounded up, then up to the next even number.
  static Upp::Size ZoomedSize(Upp::Size size, double zoom) {
    auto side = [zoom](int v) {
      int z = static_cast<int>(std::ceil(v * zoom - 1e-9));
      return z + (z & 1);
    };
    return Upp::Size(side(size.cx), side(size.cy));
  }

  // The frame to push: the tree at its size, or the zoomed snapshot.
  Upp::Image RenderFrame() {
    const Upp::Size size = this->GetSize();
    if (zoom_ == 1.0) {
      AlphaDraw w(size);
      this->PaintTree(w);
      return w.GetImage();
    }
    if (snapshot_.IsEmpty() || snapshot_.GetSize() != size) {
      AlphaDraw w(size);
      this->PaintTree(w);
      snapshot_ = w.GetImage();
    }
    const Upp::Size zoomed = ZoomedSize(size, zoom_);
    AlphaDraw w(zoomed);
    w.DrawImage(Upp::Rect(Upp::Point(), zoomed), snapshot_);
    return w.GetImage();
  }

  void Refresh() override { Refresh(this->GetView()); }
  void Refresh(const Upp::Rect& r) override {
    if (suppressed_ || !this->IsShown()) return;
    if (HasLayeredAncestor()) {
      T::Refresh(r);  // the outer layered control coalesces
      return;
    }
    RequestScreenUpdate();
  }

  void RequestScreenUpdate() {
    if (pending_) return;  // the deferred update covers this request too
    const uint32_t now = static_cast<uint32_t>(AnimationNow());
    if (updates_ > 0 && static_cast<uint32_t>(now - last_update_) < kMinUpdateGapMs) {
      pending_ = true;
      Upp::SetTimeCallback(kMinUpdateGapMs, Upp::Bind(this, &LayeredCtrl::DeferredUpdate), this);
      return;
    }
    UpdateNow();
  }

  // The deferred update (the timer calls it).
  void DeferredUpdate() {
    Upp::KillTimeCallback(this);
    if (!pending_) return;
    pending_ = false;
    UpdateNow();
  }

 private:
  bool HasLayeredAncestor() const {
    for (const Upp::Ctrl* p = this->GetParent(); p; p = p->GetParent())
      if (dynamic_cast<const LayeredBase*>(p)) return true;
    return false;
  }
  void UpdateNow() {
    last_update_ = static_cast<uint32_t>(AnimationNow());
    ++updates_;
    WhenUpdateScreen();
  }

  double zoom_ = 1.0;
  double scale2_ = 1.0;
  int alpha_ = 255;
  bool suppressed_ = false;
  bool use_stored_rect_ = false;
  Upp::Rect stored_rect_;
  Upp::Image snapshot_;
  uint32_t last_update_ = 0;
  int updates_ = 0;
  bool pending_ = false;
};

}  // namespace ctrls
