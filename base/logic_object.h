// The two kinds of long-lived objects the controller owns: logic objects
// (managers) and UI objects (top-level windows).
//
// A manager keeps its state in a private Pimpl (a Upp::Pte weak target, the
// target of every callback aimed at the manager) and finds other managers
// through GetLogicObject<T>() (controller.h), never through its constructor.
#pragma once

namespace base {

class IObject {
 public:
  virtual int Query() = 0;

 protected:
  ~IObject() = default;
};

class LogicObject : public IObject {
 public:
  int Query() override { return 1; }
  virtual ~LogicObject() = default;
  // Asked of every manager, in key order, when the registry is torn down.
  virtual bool CanRelease() { return false; }
};

class UIObject : public IObject {
 public:
  int Query() override { return 1; }
  virtual ~UIObject() = default;
};

}  // namespace base
