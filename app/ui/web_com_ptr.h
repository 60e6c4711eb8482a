// A move-aware owner of one COM interface reference (MinGW has no ATL
// CComPtr and no WRL). Copying adds a reference, destruction and Reset drop
// it; Receive() hands out the slot for [out] parameters.
//
//   web::ComPtr<IWebBrowser2> browser;
//   unknown->QueryInterface(IID_IWebBrowser2, browser.ReceiveVoid());
//
// Thread-safety: an owner is used by one thread at a time, like the
// interface (every browser object here lives in the user-interface thread's
// single-threaded apartment).
#pragma once

#include <objbase.h>

#include <utility>

namespace web {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `p`.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  ComPtr& operator=(const ComPtr& other) {
    Reset(other.p_);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      T* old = p_;
      p_ = other.p_;
      other.p_ = nullptr;
      if (old) old->Release();
    }
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Adopts a reference the caller already owns (no AddRef).
  static ComPtr Adopt(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }

  // Holds `p` (with a reference of its own) instead.
  void Reset(T* p = nullptr) {
    if (p) p->AddRef();
    T* old = p_;
    p_ = p;
    if (old) old->Release();
  }
  // Gives up ownership without releasing.
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  // Releases what is held, then hands out the slot.
  T** Receive() {
    Reset();
    return &p_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out->ReceiveVoid());
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace web
