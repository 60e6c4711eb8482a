#include "app/engine_link.h"

#include "base/dll_search.h"

namespace korvan {
namespace {

// GetProcAddress hands back a generic function pointer; the contract says
// what it really is.
template <class Fn>
Fn LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

EngineLink::EngineLink() = default;

EngineLink::~EngineLink() { Unload(); }

EngineLink::LoadResult EngineLink::Load(const std::wstring& path, DWORD* error) {
  // By its full path, its own imports from its folder or the system's only.
  HMODULE module = base::LoadLibraryByFullPath(path);
  if (!module) {
    if (error) *error = GetLastError();
    return LoadResult::kNoLibrary;
  }
  library_.Reset(module);
  module_.store(module, std::memory_order_release);
  auto get_instance = LookUp<fetch::GetInstanceFn>(module, fetch::kGetInstanceExport);
  if (!get_instance) {
    if (error) *error = GetLastError();
    return LoadResult::kNoExport;
  }
  fetch::Engine* engine = get_instance();
  if (!engine) return LoadResult::kNoInstance;
  engine_.store(engine, std::memory_order_release);
  return LoadResult::kLoaded;
}

bool EngineLink::IsPresent() const {
  return module_.load(std::memory_order_acquire) != nullptr &&
         engine_.load(std::memory_order_acquire) != nullptr;
}

bool EngineLink::Unload() {
  fetch::Engine* engine = engine_.load(std::memory_order_acquire);
  // An interface whose library is gone (no "Release" export) is never
  // called again.
  if (!engine || !library_) return false;
  // Stops the transfers first, which also cuts short a status check that a
  // worker may be waiting in.
  engine->table->shut_down(engine);

  AcquireSRWLockExclusive(&unload_lock_);
  bool released = false;
  if (auto release = LookUp<fetch::ReleaseFn>(library_.Get(), fetch::kReleaseExport)) {
    release(engine);
    engine_.store(nullptr, std::memory_order_release);
    released = true;
  }
  module_.store(nullptr, std::memory_order_release);
  library_.Reset();
  ReleaseSRWLockExclusive(&unload_lock_);
  return released;
}

EngineLink::Hold::Hold(EngineLink& link) : link_(link), engine_(nullptr) {
  AcquireSRWLockShared(&link_.unload_lock_);
  if (link_.IsPresent()) engine_ = link_.engine_.load(std::memory_order_acquire);
}

EngineLink::Hold::~Hold() { ReleaseSRWLockShared(&link_.unload_lock_); }

}  // namespace korvan
