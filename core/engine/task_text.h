// The text of a task table file (engine/task_table.h has the format): its
// key=value lines read into fields, and the rule for task identifiers.
// Names and URLs stay UTF-8 here; the engine widens them.
//
// Part of the pure core: standard C++ only, no platform call, so the
// native fuzzers build exactly this code.
//
// Thread-safety: free functions on values; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fetch {

struct TaskText {
  std::string name;      // UTF-8
  std::string product;   // UTF-8
  uint64_t size = 0;
  std::string sha256;    // lower-case hex
  std::vector<std::string> urls;  // UTF-8, never empty ones
  int connections = 8;
  uint32_t stall_timeout_ms = 20000;
  int retry_limit = 4;
  uint64_t piece_size = 0;
  std::string pieces_sha256;  // lower-cased, checked against the list later
};

// Reads the lines into `task`, keeping what earlier lines or the defaults
// set for keys not given. False on a line without '=' or a value out of
// its range; unknown keys are ignored.
bool ParseTaskLines(const std::string& text, TaskText* task);

// Task identifiers become file names: digits and ASCII letters only, 1 to
// 64 of them, so no identifier can reach outside the table's folder.
bool IsSafeTaskId(const std::wstring& id);

}  // namespace fetch
