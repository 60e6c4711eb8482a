#include "engine/detached_call.h"

#include <windows.h>

#include <algorithm>

#include "base/scoped_handle.h"

namespace fetch {

namespace {

constexpr DWORD kPollMs = 50;

struct DetachedWork {
  std::function<void()> work;
  base::ScopedHandle done;  // manual-reset event
  HMODULE module = nullptr;
};

void RunAndRelease(std::shared_ptr<DetachedWork>* owned) {
  std::shared_ptr<DetachedWork> work(std::move(*owned));
  delete owned;
  try {
    work->work();
  } catch (...) {
    // Out of memory in the lookup: the waiter sees a failed lookup.
  }
  SetEvent(work->done.Get());
}

DWORD WINAPI ThreadMain(void* param) {
  auto* owned = static_cast<std::shared_ptr<DetachedWork>*>(param);
  HMODULE module = (*owned)->module;
  RunAndRelease(owned);  // everything of ours is gone after this returns
  if (module) FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

DetachedResult RunDetached(std::function<void()> work, const std::function<bool()>& abort, uint32_t bound_ms) {
  auto shared = std::make_shared<DetachedWork>();
  shared->work = std::move(work);
  shared->done.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!shared->done) return DetachedResult::kNoThread;
  // The thread's own reference on this module, dropped as it exits.
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadMain),
                     &shared->module);
  auto* owned = new std::shared_ptr<DetachedWork>(shared);
  HANDLE thread = CreateThread(nullptr, 256 * 1024, &ThreadMain, owned, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!thread) {
    if (shared->module) FreeLibrary(shared->module);
    delete owned;
    return DetachedResult::kNoThread;
  }
  CloseHandle(thread);
  const ULONGLONG deadline = GetTickCount64() + bound_ms;
  for (;;) {
    if (WaitForSingleObject(shared->done.Get(), kPollMs) == WAIT_OBJECT_0) return DetachedResult::kDone;
    if (abort && abort()) return DetachedResult::kAborted;
    if (GetTickCount64() >= deadline) return DetachedResult::kTimedOut;
  }
}

}  // namespace fetch
