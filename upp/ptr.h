// Weak pointers: Upp::Ptr<T> points at a Upp::Pte<T> target and reads null
// once the target is gone. Method-bound callbacks (callback.h) hold one, so a
// callback whose object died does nothing.
//
// IMPORTANT: Thread-safety. A Ptr may be copied, tested and dropped on any
// thread; the liveness flag is atomic. Dereferencing is only safe on the
// thread that destroys the target (for managers and windows: the
// user-interface thread), because a test on another thread can race with the
// destructor. Targets destroyed off that thread call InvalidateWeakPtrs()
// first thing in their destructor, before any member dies.
#pragma once

#include <atomic>
#include <memory>

namespace Upp {

class PteBase {
 public:
  PteBase() : anchor_(std::make_shared<Anchor>()) {}
  // A copy is a new object with its own identity: weak pointers to the
  // original never point at the copy.
  PteBase(const PteBase&) : anchor_(std::make_shared<Anchor>()) {}
  PteBase& operator=(const PteBase&) { return *this; }

  // Every weak pointer to this object reads null from now on.
  void InvalidateWeakPtrs() { anchor_->alive.store(false, std::memory_order_release); }

 protected:
  ~PteBase() { InvalidateWeakPtrs(); }

 private:
  template <class T> friend class Ptr;
  struct Anchor {
    std::atomic<bool> alive{true};
  };
  std::shared_ptr<Anchor> anchor_;
};

// CRTP target: class Pimpl : public Upp::Pte<Pimpl> { ... };
template <class T>
class Pte : public PteBase {};

template <class T>
class Ptr {
 public:
  Ptr() = default;
  Ptr(std::nullptr_t) {}
  Ptr(T* object) { Assign(object); }
  Ptr& operator=(T* object) { Assign(object); return *this; }

  T* Get() const {
    return anchor_ && anchor_->alive.load(std::memory_order_acquire) ? object_ : nullptr;
  }
  T* operator->() const { return Get(); }
  T& operator*() const { return *Get(); }
  explicit operator bool() const { return Get() != nullptr; }
  bool operator==(const T* other) const { return Get() == other; }
  bool operator!=(const T* other) const { return Get() != other; }

 private:
  void Assign(T* object) {
    object_ = object;
    anchor_ = object ? static_cast<const PteBase*>(object)->anchor_ : nullptr;
  }

  T* object_ = nullptr;
  std::shared_ptr<PteBase::Anchor> anchor_;
};

}  // namespace Upp
