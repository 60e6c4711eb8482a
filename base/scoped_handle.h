// Move-only owners of Win32 handles, one per release function. Closing keeps
// the thread's last-error value, so a wrapper going out of scope between a
// failing call and GetLastError() changes nothing.
//
// Thread-safety: an owner is used by one thread at a time, like the handle.
#pragma once

#include <windows.h>

#include <utility>

namespace base {

template <class Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle h) : handle_(h) {}
  ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.Release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ~ScopedGeneric() { Reset(); }

  bool IsValid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return IsValid(); }
  Handle Get() const { return handle_; }

  void Reset(Handle h = Traits::Null()) {
    if (Traits::IsValid(handle_)) {
      DWORD error = GetLastError();
      Traits::Close(handle_);
      SetLastError(error);
    }
    handle_ = h;
  }
  Handle Release() {
    Handle h = handle_;
    handle_ = Traits::Null();
    return h;
  }
  // For out-parameters: closes what is held, then hands out the slot.
  Handle* Receive() {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Null();
};

// Kernel handles: both null and INVALID_HANDLE_VALUE mean "none", since
// CreateFile and the others disagree on which one they return.
struct HandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};
using ScopedHandle = ScopedGeneric<HandleTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { FindClose(h); }
};
using ScopedFindHandle = ScopedGeneric<FindHandleTraits>;

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};
using ScopedRegKey = ScopedGeneric<RegKeyTraits>;

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};
using ScopedLibrary = ScopedGeneric<LibraryTraits>;

struct LocalMemTraits {
  using Handle = HLOCAL;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { LocalFree(h); }
};
using ScopedLocalMem = ScopedGeneric<LocalMemTraits>;

}  // namespace base
