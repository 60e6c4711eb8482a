// The loaded engine library (FetchCore.dll) and its interface pointer, as
// the download manager holds them.
//
// IMPORTANT: Thread-safety. Load and Unload belong to the user-interface
// thread, which may also call slots directly (it is the only thread that
// unloads). A worker calls slots only inside a Hold: Unload waits until
// every Hold is gone before it hands the interface to "Release" and frees
// the library, so a worker never calls into a freed library. Holds do not
// serialise calls between themselves: the engine takes calls from two
// threads at once.
//
// Ownership: the link owns the library handle (RAII) and the interface
// between "GetInstance" and "Release".
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "base/scoped_handle.h"
#include "engine/fetch_contract.h"

namespace korvan {

class EngineLink {
 public:
  enum class LoadResult { kLoaded, kNoLibrary, kNoExport, kNoInstance };

  EngineLink();
  // Unloads what is still loaded.
  ~EngineLink();
  EngineLink(const EngineLink&) = delete;
  EngineLink& operator=(const EngineLink&) = delete;

  // Loads the library and asks it for the interface. What was loaded stays,
  // even when a later step failed. `error` gets the last error of a failed
  // load.
  LoadResult Load(const std::wstring& path, DWORD* error);

  bool HasInterface() const { return engine_.load(std::memory_order_acquire) != nullptr; }
  // Both the library and the interface are there.
  bool IsPresent() const;
  // User-interface thread: the interface or null.
  fetch::Engine* engine() const { return engine_.load(std::memory_order_acquire); }

  // Shut down (slot 2) when the interface is there; then, when the library
  // is there too, "Release" and the unload. True when "Release" was called.
  bool Unload();

  // Keeps the engine loaded while a worker calls it.
  class Hold {
   public:
    explicit Hold(EngineLink& link);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    // The interface when the engine is present, else null.
    fetch::Engine* engine() const { return engine_; }

   private:
    EngineLink& link_;
    fetch::Engine* engine_;
  };

 private:
  SRWLOCK unload_lock_ = SRWLOCK_INIT;
  base::ScopedLibrary library_;
  std::atomic<HMODULE> module_{nullptr};  // library_'s handle, readable by workers
  std::atomic<fetch::Engine*> engine_{nullptr};
};

}  // namespace korvan
