// The application controller and its two registries.
//
// Every long-lived object is a logic object (a manager) or a UI object (a
// top-level window), owned by the current controller. Anyone reaches a
// manager with GetLogicObject<T>(): the first request creates it with its
// default constructor, later requests return the same object. Managers live
// until the registry dies; windows may remove themselves.
//
// Type keys come from one counter shared by both registries, taken the first
// time a type's key is asked for, so keys (and registry order) follow the
// order of first requests. A manager's constructor may request other
// managers: the outer type took its key first, the inner one is inserted
// first.
//
// Thread-safety: managers and windows are created on the user-interface
// thread. Workers may look up managers that already exist. Lookup-or-create
// holds one recursive lock, so a worker's lookup never sees a half-built map;
// a manager's constructor must not wait for a worker that looks up managers.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "base/logic_object.h"
#include "upp/toolkit.h"

namespace base {

// Takes the next key from the process-wide counter; the first key is 1.
int NextTypeKey();

template <class T>
int TypeKey() {
  static const int key = NextTypeKey();
  return key;
}

class Controller {
 public:
  Controller();
  virtual ~Controller();
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  virtual bool Start(const std::wstring& command_line) = 0;

  template <class T>
  T* GetLogic() {
    static_assert(std::is_base_of_v<LogicObject, T>, "managers derive from base::LogicObject");
    const int key = TypeKey<T>();
    return dynamic_cast<T*>(FindOrCreateLogic(key, [] { return std::shared_ptr<LogicObject>(new T); }));
  }

  template <class T>
  T* GetUI() {
    static_assert(std::is_base_of_v<UIObject, T>, "windows derive from base::UIObject");
    const int key = TypeKey<T>();
    return dynamic_cast<T*>(FindOrCreateUI(key, [] { return std::shared_ptr<UIObject>(new T); }));
  }

  bool HasUI(int key);
  void RemoveUI(int key);
  bool HasLogic(int key);
  size_t LogicCount();

 private:
  struct Registries;
  template <class Factory>
  LogicObject* FindOrCreateLogic(int key, Factory make);
  template <class Factory>
  UIObject* FindOrCreateUI(int key, Factory make);
  Registries& registries();

  std::recursive_mutex lock_;
  std::unique_ptr<Registries> registries_;
};

struct Controller::Registries {
  std::unique_ptr<std::map<int, std::shared_ptr<LogicObject>>> logic;
  std::unique_ptr<std::map<int, std::shared_ptr<UIObject>>> ui;
};

template <class Factory>
LogicObject* Controller::FindOrCreateLogic(int key, Factory make) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Registries& r = registries();
  if (!r.logic) r.logic = std::make_unique<std::map<int, std::shared_ptr<LogicObject>>>();
  auto it = r.logic->find(key);
  if (it != r.logic->end()) return it->second.get();
  UPP_CHECK_UI_THREAD();  // workers may only look up managers that exist
  // The constructor may register other managers first; emplace keeps
  // whatever is stored under our key by then.
  std::shared_ptr<LogicObject> object = make();
  return r.logic->emplace(key, std::move(object)).first->second.get();
}

template <class Factory>
UIObject* Controller::FindOrCreateUI(int key, Factory make) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  Registries& r = registries();
  if (!r.ui) r.ui = std::make_unique<std::map<int, std::shared_ptr<UIObject>>>();
  auto it = r.ui->find(key);
  if (it != r.ui->end()) return it->second.get();
  UPP_CHECK_UI_THREAD();
  std::shared_ptr<UIObject> object = make();
  return r.ui->emplace(key, std::move(object)).first->second.get();
}

// The current controller; set once by the run step.
Controller* GetController();
void SetController(Controller* controller);

}  // namespace base

template <class T>
T* GetLogicObject() {
  return base::GetController()->GetLogic<T>();
}

template <class T>
T* GetUIObject() {
  return base::GetController()->GetUI<T>();
}

inline bool HasUIObject(int key) { return base::GetController()->HasUI(key); }
inline void RemoveUIObject(int key) { base::GetController()->RemoveUI(key); }
