// The engine's task table: which file a task fetches, from where, and what
// it must look like when done. Read from the `download` folder beside the
// DLL, which the build writes from the deployment settings:
//
//   download/id.dat          one line per task: <task id>=<product key>
//   download/<task id>.task  key=value lines (UTF-8, '#' starts a comment):
//       name=KorvanInstall.exe      final file name in the save folder
//       size=<bytes>                expected size
//       sha256=<64 hex digits>      expected digest
//       url=<http or https URL>     one line per source, tried in order
//       connections=<1..16>         optional, parallel ranges (default 8)
//       stall_timeout_ms=<ms>       optional, silence that ends a connection
//       retry_limit=<n>             optional, failures in a row per source
//       piece_size=<bytes>          optional, with pieces_sha256: a power of
//                                   two, 256 KiB to 1 GiB
//       pieces_sha256=<64 hex>      SHA-256 of the piece list
//   download/<task id>.pieces   the piece list (core/engine/piece_list.h), only
//                               with the two keys above
//
// The environment variable KV_FETCHCORE_TASK_DIR replaces the folder; the
// tests use it to point the engine at their own servers and files.
//
// Thread-safety: free functions without shared state; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/engine/piece_list.h"

namespace fetch {

struct Task {
  std::wstring id;
  std::wstring product;
  std::wstring name;
  uint64_t size = 0;
  std::string sha256;  // lower-case hex
  std::vector<std::wstring> urls;
  int connections = 8;
  uint32_t stall_timeout_ms = 20000;
  int retry_limit = 4;
  uint64_t piece_size = 0;     // 0: no pieces, the whole-file check alone
  std::string pieces_sha256;
  PieceTable pieces;           // filled by LoadTask from the list file
};

// Folder of the table (no trailing backslash).
std::wstring TaskTableDir();

// Per-user folder that remembers where each task's download lives. The
// environment variable KV_FETCHCORE_HOME replaces it.
std::wstring EngineHomeDir();

enum class TaskLookup { kFound, kUnknown, kIncomplete };

// Finds `task_id` for `product` in the table. kUnknown when either is not
// listed; kIncomplete when the task lacks a name, size, digest or source.
TaskLookup LoadTask(const std::wstring& product, const std::wstring& task_id, Task* task);

// Parses the text of a .task file (exposed for the tests).
bool ParseTaskText(const std::string& text, Task* task);

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace fetch
