// The binary contract between FetchCore.dll and whoever loads it (the
// download manager, the tests, the benchmark). Everything a caller needs is
// here: export names, slot order, record layouts, return codes and the
// calling convention. Change nothing here without changing every caller:
// a replacement engine keeps exactly these names, slots, offsets and codes.
//
// Thread-safety: every slot may be called from any thread, two at once (a
// pause or resume while a progress query runs). No slot blocks for more
// than a few milliseconds, except shut down (at most about 2 s) and check
// status (it talks to a source, bounded by the network time-outs; the
// manager calls it on a worker).
//
// Ownership: "GetInstance" returns an engine the caller owns until it hands
// it to "Release"; the strings of a Request stay the caller's and are only
// read during the call; a Result is the caller's, zero-filled before each
// call and filled in by the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define KV_FETCH_CALL __stdcall
#else
#define KV_FETCH_CALL
#endif

namespace fetch {

// Export names, looked up with GetProcAddress. The DLL is linked with
// --kill-at so they carry no "@N" decoration.
constexpr const char kGetInstanceExport[] = "GetInstance";
constexpr const char kReleaseExport[] = "Release";
constexpr const wchar_t kLibraryName[] = L"FetchCore.dll";

// The values the program passes.
constexpr const wchar_t kProductKey[] = L"kv";
constexpr const wchar_t kInstallerTaskId[] = L"617350001";

// Three NUL-terminated UTF-16 strings; `save_folder` is empty in queries.
struct Request {
  const wchar_t* product_key;
  const wchar_t* save_folder;
  const wchar_t* task_id;
};
static_assert(offsetof(Request, product_key) == 0, "request layout");
static_assert(offsetof(Request, save_folder) == sizeof(void*), "request layout");
static_assert(offsetof(Request, task_id) == 2 * sizeof(void*), "request layout");

constexpr size_t kResultBytes = 84400;
constexpr size_t kCompletedOffset = 0;
constexpr size_t kPathOffset = 528;
constexpr size_t kTotalOffset = 84376;
constexpr size_t kReceivedOffset = 84384;
constexpr size_t kSpeedOffset = 84392;
constexpr size_t kPathChars = (kTotalOffset - kPathOffset) / sizeof(wchar_t);

// 84400 bytes, little-endian. Fields not listed are reserved (zero).
//
// "Complete" (a non-zero `completed`, reported by slot 7 only) means: the
// file is under its final name in the save folder, has the task's size,
// and was checked in this run. With a piece list, every piece read back
// from disk matched its SHA-256 in the list, and the list matched the
// digest the task table pins; without one, the whole file matched the
// table's SHA-256. A file finished by an earlier run is checked again
// after slot 3 before it counts; slot 0 reports it with `completed` 0 and
// `received` equal to `total`. With a piece list `received` counts only
// bytes of pieces that passed their check.
struct Result {
  uint32_t completed;                // 0 = not finished, other = finished
  uint8_t reserved0[kPathOffset - 4];
  wchar_t path[kPathChars];          // folder of an earlier download; "" = none
  int64_t total;                     // bytes
  int64_t received;                  // bytes on disk and accounted for
  int32_t speed;                     // bytes per second
  uint8_t reserved1[kResultBytes - kSpeedOffset - 4];
};
static_assert(sizeof(wchar_t) == 2, "UTF-16 paths");
static_assert(sizeof(Result) == kResultBytes, "result size");
static_assert(offsetof(Result, completed) == kCompletedOffset, "result layout");
static_assert(offsetof(Result, path) == kPathOffset, "result layout");
static_assert(offsetof(Result, total) == kTotalOffset, "result layout");
static_assert(offsetof(Result, received) == kReceivedOffset, "result layout");
static_assert(offsetof(Result, speed) == kSpeedOffset, "result layout");

// Return codes of every slot. The manager acts on 3 and 5 from slot 7 and
// only logs the others.
enum Code : int32_t {
  kOk = 0,
  kUnknownTask = 1,       // product key or task identifier not in the task table
  kBadArgument = 2,       // null record, empty save folder, bad engine pointer
  kTransferFailed = 3,    // retries and every source exhausted, disk error
  kNotStarted = 4,        // no transfer in this engine (or not in the needed state)
  kCheckFailed = 5,       // the finished file failed its size or SHA-256 check
  kSourceUnreachable = 6, // no source answered the status check
  kSizeMismatch = 7,      // a source declares a size other than the task's
  kTaskIncomplete = 8,    // the task table lacks the size or the SHA-256
  kBusy = 9,              // another engine (maybe another process) owns the files
  kDiskError = 10,        // the save folder cannot hold the partial file
  kInternal = 11,         // an unexpected failure inside the engine
};

struct Engine;

// Slot signatures: the engine pointer first, a 32-bit code back.
using QueryEarlierFn = int32_t(KV_FETCH_CALL*)(Engine* self, const Request* request, Result* result);
using CheckStatusFn = int32_t(KV_FETCH_CALL*)(Engine* self, const Request* request, Result* result);
using ShutDownFn = int32_t(KV_FETCH_CALL*)(Engine* self);
using StartFn = int32_t(KV_FETCH_CALL*)(Engine* self, const Request* request);
using UnusedFn = int32_t(KV_FETCH_CALL*)(Engine* self);
using PauseFn = int32_t(KV_FETCH_CALL*)(Engine* self);
using ResumeFn = int32_t(KV_FETCH_CALL*)(Engine* self);
using QueryProgressFn = int32_t(KV_FETCH_CALL*)(Engine* self, Result* result);

enum Slot : int {
  kSlotQueryEarlier = 0,
  kSlotCheckStatus = 1,
  kSlotShutDown = 2,
  kSlotStart = 3,
  kSlotUnused = 4,
  kSlotPause = 5,
  kSlotResume = 6,
  kSlotQueryProgress = 7,
  kSlotCount = 8,
};

struct EngineTable {
  QueryEarlierFn query_earlier;
  CheckStatusFn check_status;
  ShutDownFn shut_down;
  StartFn start;
  UnusedFn unused;
  PauseFn pause;
  ResumeFn resume;
  QueryProgressFn query_progress;
};
static_assert(offsetof(EngineTable, query_earlier) == kSlotQueryEarlier * sizeof(void*), "slot");
static_assert(offsetof(EngineTable, check_status) == kSlotCheckStatus * sizeof(void*), "slot");
static_assert(offsetof(EngineTable, shut_down) == kSlotShutDown * sizeof(void*), "slot");
static_assert(offsetof(EngineTable, start) == kSlotStart * sizeof(void*), "slot");
static_assert(offsetof(EngineTable, unused) == kSlotUnused * sizeof(void*), "slot");
static_assert(offsetof(EngineTable, pause) == kSlotPause * sizeof(void*), "slot");
static_assert(offsetof(EngineTable, resume) == kSlotResume * sizeof(void*), "slot");
static_assert(offsetof(EngineTable, query_progress) == kSlotQueryProgress * sizeof(void*), "slot");
static_assert(sizeof(EngineTable) == kSlotCount * sizeof(void*), "eight slots");

// The interface: its first field points at the table.
struct Engine {
  const EngineTable* table;
};
static_assert(offsetof(Engine, table) == 0, "table pointer first");

using GetInstanceFn = Engine*(KV_FETCH_CALL*)();
using ReleaseFn = void(KV_FETCH_CALL*)(Engine* engine);

}  // namespace fetch
