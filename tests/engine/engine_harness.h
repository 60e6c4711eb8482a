// Loads FetchCore.dll for the engine tests exactly as the download manager
// does (LoadLibrary, GetProcAddress "GetInstance"/"Release", calls through
// the slot table), and gives each test its own task table, per-user record
// folder and save folder.
//
// Test thread only, except the slot calls, which any thread may make.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "engine/fetch_contract.h"

namespace enginetest {

// The built library (compile definition from engine/CMakeLists.txt).
std::wstring EngineDllPath();

class EngineLibrary {
 public:
  EngineLibrary();
  ~EngineLibrary();
  EngineLibrary(const EngineLibrary&) = delete;
  EngineLibrary& operator=(const EngineLibrary&) = delete;
  bool loaded() const { return get_instance_ && release_; }
  HMODULE module() const { return module_; }
  fetch::GetInstanceFn get_instance() const { return get_instance_; }
  fetch::ReleaseFn release() const { return release_; }

 private:
  HMODULE module_ = nullptr;
  fetch::GetInstanceFn get_instance_ = nullptr;
  fetch::ReleaseFn release_ = nullptr;
};

// One engine instance, released on destruction.
class EngineRef {
 public:
  explicit EngineRef(const EngineLibrary& library);
  ~EngineRef();
  EngineRef(const EngineRef&) = delete;
  EngineRef& operator=(const EngineRef&) = delete;
  fetch::Engine* get() const { return engine_; }

  int32_t QueryEarlier(fetch::Result* result, const std::wstring& product = fetch::kProductKey,
                       const std::wstring& task = fetch::kInstallerTaskId);
  int32_t CheckStatus(fetch::Result* result, const std::wstring& product = fetch::kProductKey,
                      const std::wstring& task = fetch::kInstallerTaskId);
  int32_t Start(const std::wstring& folder, const std::wstring& product = fetch::kProductKey,
                const std::wstring& task = fetch::kInstallerTaskId);
  int32_t ShutDown();
  int32_t Pause();
  int32_t Resume();
  int32_t QueryProgress(fetch::Result* result);

  // Polls slot 7 every 50 ms until finished or failed; the last code.
  int32_t WaitForEnd(DWORD timeout_ms, fetch::Result* last);
  // Polls until at least `bytes` are received (or the end); false on time-out.
  bool WaitForReceived(int64_t bytes, DWORD timeout_ms);

 private:
  const EngineLibrary& library_;
  fetch::Engine* engine_ = nullptr;
};

// Random bytes, reproducible from the seed.
std::string RandomBytes(size_t size, uint32_t seed);

// How many different ranges of the test nginx's file /`name` it answered
// with 206 after log offset `log_offset` (waiting up to 5 s for three).
size_t DistinctRangesServed(size_t log_offset, const std::wstring& name);
using testutil::Sha256Hex;

// A test's own task table, per-user record folder and save folder, set in
// the process environment (which the engine reads) for the test's life.
class TaskSandbox {
 public:
  TaskSandbox();
  ~TaskSandbox();
  // Writes the installer task: sources, size, digest, and extra key=value lines.
  void WriteTask(const std::vector<std::wstring>& urls, uint64_t size, const std::string& sha256,
                 const std::string& extra = std::string());
  // Writes the piece list of `body` beside the task; the key=value lines
  // that name it, for WriteTask's `extra`.
  std::string WritePieces(const std::string& body, uint64_t piece_bytes);
  const std::wstring& save_folder() const { return save_; }
  const std::wstring& task_dir() const { return tasks_; }
  const std::wstring& home_dir() const { return home_; }
  std::wstring FinalPath() const { return save_ + L"\\KorvanInstall.exe"; }
  std::wstring PartPath() const { return save_ + L"\\KorvanInstall.exe.kvpart"; }
  std::wstring StatePath() const { return save_ + L"\\KorvanInstall.exe.kvstate"; }

 private:
  testutil::ScopedTempDir root_;
  std::wstring tasks_, home_, save_;
};

}  // namespace enginetest
