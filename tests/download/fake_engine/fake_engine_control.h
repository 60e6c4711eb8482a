// The scripted engine double (fake_fetch_core.dll): what each slot answers
// and what was asked of it. Besides the contract's "GetInstance" and
// "Release" it exports FakeSetScript, FakeGetRecord and FakeOpenStart. The
// test loads the library itself too, so its script outlives the manager's
// unload.
//
// Thread-safety: every export may be called from any thread; the double
// guards its script and record with one lock.
#pragma once

#include <cstdint>

#include "engine/fetch_contract.h"

namespace fakeengine {

struct Answer {
  uint32_t completed;
  int64_t total;
  int64_t received;
  int32_t speed;
  wchar_t path[260];
};

struct Script {
  int32_t codes[fetch::kSlotCount];  // what each slot returns
  Answer earlier;                    // slot 0
  Answer status;                     // slot 1
  Answer progress;                   // slot 7
  int32_t null_instance;             // "GetInstance" returns null
  int32_t hold_start;                // slot 3 waits for FakeOpenStart
};

struct Record {
  int32_t calls[fetch::kSlotCount];
  int32_t releases;
  int32_t start_waiting;  // slot 3 is being held right now
  wchar_t start_folder[260];
};

using SetScriptFn = void(__stdcall*)(const Script* script);  // also clears the record
using GetRecordFn = void(__stdcall*)(Record* record);
using OpenStartFn = void(__stdcall*)();

}  // namespace fakeengine
