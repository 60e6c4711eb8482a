// An engine that answers what the test scripted and counts every call.
#include <windows.h>

#include <cwchar>

#include "download/fake_engine/fake_engine_control.h"

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
// Manual-reset: lets a held start call return.
const HANDLE g_start_gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
fakeengine::Script g_script;
fakeengine::Record g_record;

struct Locked {
  Locked() { AcquireSRWLockExclusive(&g_lock); }
  ~Locked() { ReleaseSRWLockExclusive(&g_lock); }
};

int32_t Answer(int slot, const fakeengine::Answer* answer, fetch::Result* result) {
  Locked locked;
  ++g_record.calls[slot];
  if (answer && result) {
    result->completed = answer->completed;
    result->total = answer->total;
    result->received = answer->received;
    result->speed = answer->speed;
    wcsncpy(result->path, answer->path, 259);
  }
  return g_script.codes[slot];
}

int32_t __stdcall QueryEarlier(fetch::Engine*, const fetch::Request*, fetch::Result* r) {
  return Answer(fetch::kSlotQueryEarlier, &g_script.earlier, r);
}
int32_t __stdcall CheckStatus(fetch::Engine*, const fetch::Request*, fetch::Result* r) {
  return Answer(fetch::kSlotCheckStatus, &g_script.status, r);
}
int32_t __stdcall ShutDown(fetch::Engine*) { return Answer(fetch::kSlotShutDown, nullptr, nullptr); }
int32_t __stdcall Start(fetch::Engine*, const fetch::Request* request) {
  bool hold;
  {
    Locked locked;
    wcsncpy(g_record.start_folder, request->save_folder, 259);
    hold = g_script.hold_start != 0;
    g_record.start_waiting = hold;
  }
  if (hold) WaitForSingleObject(g_start_gate, 60000);
  {
    Locked locked;
    g_record.start_waiting = 0;
  }
  return Answer(fetch::kSlotStart, nullptr, nullptr);
}
int32_t __stdcall Unused(fetch::Engine*) { return Answer(fetch::kSlotUnused, nullptr, nullptr); }
int32_t __stdcall Pause(fetch::Engine*) { return Answer(fetch::kSlotPause, nullptr, nullptr); }
int32_t __stdcall Resume(fetch::Engine*) { return Answer(fetch::kSlotResume, nullptr, nullptr); }
int32_t __stdcall QueryProgress(fetch::Engine*, fetch::Result* r) {
  return Answer(fetch::kSlotQueryProgress, &g_script.progress, r);
}

const fetch::EngineTable kTable = {QueryEarlier, CheckStatus, ShutDown, Start,
                                   Unused,       Pause,       Resume,   QueryProgress};
fetch::Engine g_engine = {&kTable};

}  // namespace

extern "C" __declspec(dllexport) fetch::Engine* __stdcall GetInstance() {
  Locked locked;
  return g_script.null_instance ? nullptr : &g_engine;
}

extern "C" __declspec(dllexport) void __stdcall Release(fetch::Engine*) {
  Locked locked;
  ++g_record.releases;
}

extern "C" __declspec(dllexport) void __stdcall FakeSetScript(const fakeengine::Script* script) {
  Locked locked;
  g_script = *script;
  g_record = fakeengine::Record();
  ResetEvent(g_start_gate);
}

extern "C" __declspec(dllexport) void __stdcall FakeGetRecord(fakeengine::Record* record) {
  Locked locked;
  *record = g_record;
}

extern "C" __declspec(dllexport) void __stdcall FakeOpenStart() { SetEvent(g_start_gate); }
