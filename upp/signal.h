// Single-threaded observer signals in the sigslot style:
//
//   class Panel : public sigslot::has_slots<sigslot::single_threaded> {
//     void OnProgress(double fraction);
//   };
//   sigslot::signal1<double> progress;
//   progress.connect(&panel, &Panel::OnProgress);
//   progress.emit(0.5);          // or progress(0.5)
//
// An observer's destructor disconnects it from every signal, and a signal's
// destructor detaches it from every observer, so neither side can call into
// a dead object. Emitting takes a snapshot of the connections: a slot may
// connect or disconnect (even itself) while being called.
//
// Thread-safety: none. Connect, disconnect, emit and destroy on one thread
// (the user-interface thread in this program).
#pragma once

#include <algorithm>
#include <functional>
#include <list>
#include <memory>
#include <set>
#include <vector>

namespace sigslot {

struct single_threaded {};

template <class mt_policy> class has_slots;

namespace detail {

class signal_link {
 public:
  virtual ~signal_link() = default;
  virtual void slot_disconnect(has_slots<single_threaded>* observer) = 0;
};

}  // namespace detail

template <class mt_policy = single_threaded>
class has_slots {
 public:
  has_slots() = default;
  // A copied observer starts unconnected: the signals' bound member
  // pointers would still call the original.
  has_slots(const has_slots&) {}
  has_slots& operator=(const has_slots&) = delete;
  virtual ~has_slots() { disconnect_all(); }

  void disconnect_all() {
    std::set<detail::signal_link*> senders;
    senders.swap(senders_);
    for (detail::signal_link* s : senders) s->slot_disconnect(this);
  }

  // Called by signals only.
  void signal_connect(detail::signal_link* sender) { senders_.insert(sender); }
  void signal_disconnect(detail::signal_link* sender) { senders_.erase(sender); }

 private:
  std::set<detail::signal_link*> senders_;
};

template <class mt_policy, class... Args>
class basic_signal : public detail::signal_link {
 public:
  using observer = has_slots<single_threaded>;

  basic_signal() = default;
  basic_signal(const basic_signal&) = delete;
  basic_signal& operator=(const basic_signal&) = delete;
  ~basic_signal() override { disconnect_all(); }

  template <class T>
  void connect(T* object, void (T::*method)(Args...)) {
    observer* o = object;
    auto call = [object, method](Args... args) { (object->*method)(args...); };
    connections_.push_back(std::make_shared<Connection>(Connection{o, call, true}));
    o->signal_connect(this);
  }

  void disconnect(observer* o) {
    bool found = false;
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->target == o) {
        (*it)->live = false;
        it = connections_.erase(it);
        found = true;
      } else {
        ++it;
      }
    }
    if (found) o->signal_disconnect(this);
  }

  void disconnect_all() {
    std::set<observer*> targets;
    for (auto& c : connections_) {
      c->live = false;
      targets.insert(c->target);
    }
    connections_.clear();
    for (observer* o : targets) o->signal_disconnect(this);
  }

  bool connected(const observer* o) const {
    return std::any_of(connections_.begin(), connections_.end(),
                       [o](const auto& c) { return c->target == o; });
  }
  size_t connection_count() const { return connections_.size(); }

  void emit(Args... args) {
    // Snapshot, so slots may change the connection list while we call.
    std::vector<std::shared_ptr<Connection>> snapshot(connections_.begin(), connections_.end());
    for (auto& c : snapshot) {
      if (c->live) c->call(args...);
    }
  }
  void operator()(Args... args) { emit(args...); }

  // detail::signal_link
  void slot_disconnect(observer* o) override {
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->target == o) {
        (*it)->live = false;
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  struct Connection {
    observer* target;
    std::function<void(Args...)> call;
    bool live;
  };
  std::list<std::shared_ptr<Connection>> connections_;
};

template <class mt_policy = single_threaded>
class signal0 : public basic_signal<mt_policy> {};
template <class A1, class mt_policy = single_threaded>
class signal1 : public basic_signal<mt_policy, A1> {};
template <class A1, class A2, class mt_policy = single_threaded>
class signal2 : public basic_signal<mt_policy, A1, A2> {};
template <class A1, class A2, class A3, class mt_policy = single_threaded>
class signal3 : public basic_signal<mt_policy, A1, A2, A3> {};
template <class A1, class A2, class A3, class A4, class mt_policy = single_threaded>
class signal4 : public basic_signal<mt_policy, A1, A2, A3, A4> {};

}  // namespace sigslot
