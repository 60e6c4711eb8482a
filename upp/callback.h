// Reference-counted callbacks with zero to four arguments, the unit of
// deferred work everywhere (pools, timers, UI dispatch).
//
// A callback is copied by sharing: every copy runs the same action. Calling
// an empty callback does nothing. A callback bound to a method with
// Upp::Bind holds a weak pointer (ptr.h) to its object and does nothing once
// the object is gone; the object must derive from Upp::Pte<T>.
//
//   Upp::Callback c = Upp::Bind(pimpl, &Pimpl::OnReady);          // 0 args
//   Upp::Callback c = Upp::Bind(pimpl, &Pimpl::OnResult, true);   // bound
//   Upp::Callback1<int> c = Upp::Bind<int>(pimpl, &Pimpl::OnCode); // 1 arg
//
// Thread-safety: copying and calling are safe from any thread (the sharing
// count is atomic). See ptr.h for when the bound object may be touched.
#pragma once

#include <functional>
#include <memory>
#include <tuple>
#include <utility>

#include "upp/ptr.h"

namespace Upp {

template <class... Args>
class CallbackN {
 public:
  using Function = std::function<void(Args...)>;

  CallbackN() = default;
  CallbackN(std::nullptr_t) {}
  template <class F, class = std::enable_if_t<
                         std::is_invocable_v<F&, Args...> &&
                         !std::is_same_v<std::decay_t<F>, CallbackN>>>
  CallbackN(F&& action)
      : action_(std::make_shared<const Function>(std::forward<F>(action))) {}

  void operator()(Args... args) const {
    // The action outlives its holder for the call: a menu deleted from its
    // own WhenSelect destroys the callback that is running.
    const std::shared_ptr<const Function> running = action_;
    if (running && *running) (*running)(args...);
  }
  explicit operator bool() const { return action_ && *action_; }
  void Clear() { action_.reset(); }
  // Number of copies sharing the action (for tests of ownership).
  long ShareCount() const { return action_.use_count(); }

 private:
  std::shared_ptr<const Function> action_;
};

using Callback = CallbackN<>;
template <class A> using Callback1 = CallbackN<A>;
template <class A, class B> using Callback2 = CallbackN<A, B>;
template <class A, class B, class C> using Callback3 = CallbackN<A, B, C>;
template <class A, class B, class C, class D> using Callback4 = CallbackN<A, B, C, D>;

// Binds a method of a weak target. Args are the arguments the callback takes
// at call time; Bound are stored now (by value) and passed first.
template <class... Args, class T, class Method, class... Bound>
CallbackN<Args...> Bind(T* object, Method method, Bound&&... bound) {
  Ptr<T> weak(object);
  return CallbackN<Args...>(
      [weak, method, stored = std::make_tuple(std::forward<Bound>(bound)...)](Args... args) {
        T* target = weak.Get();
        if (!target) return;
        std::apply([&](const auto&... b) { (target->*method)(b..., args...); }, stored);
      });
}

// Binds a free function or any callable with stored leading arguments.
template <class... Args, class F, class... Bound>
CallbackN<Args...> BindFn(F fn, Bound&&... bound) {
  return CallbackN<Args...>(
      [fn, stored = std::make_tuple(std::forward<Bound>(bound)...)](Args... args) {
        std::apply([&](const auto&... b) { fn(b..., args...); }, stored);
      });
}

}  // namespace Upp
