// Bookkeeping shared by the program's own COM objects (the browser host's
// site and event sink, the page's external object): each one counts itself
// while it exists, so a test can prove that every reference the browser was
// given came back once the browser is gone.
//
// Thread-safety: the counter is atomic; the objects themselves live in the
// user-interface thread's single-threaded apartment.
#pragma once

#include <atomic>

namespace web {

// Objects of ours that exist right now.
inline std::atomic<long> g_live_com_objects{0};

inline long LiveComObjects() { return g_live_com_objects.load(); }

// A member (or base) of every COM object of ours.
class LiveComObject {
 public:
  LiveComObject() { ++g_live_com_objects; }
  ~LiveComObject() { --g_live_com_objects; }
  LiveComObject(const LiveComObject&) = delete;
  LiveComObject& operator=(const LiveComObject&) = delete;
};

}  // namespace web
