// Joins a top-level window class to the controller's UI-object registry:
// the window is created by GetUIObject<T>() on first request and, once its
// native window has been destroyed, removes itself from the registry (which
// deletes it), so a later request builds a fresh one.
//
//   ObjectWindowImpl<T, WindowBase>  derives from base::UIObject and
//                                    WindowBase; T names the registered type
//   TopWindowImpl<T>                 ObjectWindowImpl<T, SkinWindow>,
//                                    registered under T's key
//   AnimateLayeredWindowImpl         the main window's base
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "app/ui/skin_window.h"
#include "base/controller.h"
#include "base/logic_object.h"
#include "ctrls/animate_layered_window.h"

namespace korvan {

template <class T, class WindowBase>
class ObjectWindowImpl : public base::UIObject, public WindowBase {
 public:
  static constexpr int kNoKey = -1;

  // The registry key the window answers to (a base::TypeKey<>()).
  void SetRegistryKey(int key) { registry_key_ = key; }
  int GetRegistryKey() const { return registry_key_; }

  // The native window is gone: leave the registry, which deletes this
  // object. Nothing may touch the object after the call.
  void OnAfterDestroy() override {
    WindowBase::OnAfterDestroy();
    const int key = registry_key_;
    if (key != kNoKey && base::GetController() && HasUIObject(key)) RemoveUIObject(key);
  }

 private:
  int registry_key_ = kNoKey;
};

using AnimateLayeredWindowImpl = ObjectWindowImpl<ctrls::AnimateLayeredWindow, ctrls::AnimateLayeredWindow>;

template <class T>
class TopWindowImpl : public ObjectWindowImpl<T, SkinWindow> {
 public:
  TopWindowImpl() { this->SetRegistryKey(base::TypeKey<T>()); }
};

}  // namespace korvan
