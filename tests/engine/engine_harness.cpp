#include "engine/engine_harness.h"

#include <bcrypt.h>

#include <random>
#include <set>
#include <vector>

#include "common/test_servers.h"

namespace enginetest {

std::wstring EngineDllPath() { return KV_FETCHCORE_DLL; }

EngineLibrary::EngineLibrary() {
  module_ = LoadLibraryW(EngineDllPath().c_str());
  if (!module_) return;
  get_instance_ = reinterpret_cast<fetch::GetInstanceFn>(
      reinterpret_cast<void*>(GetProcAddress(module_, fetch::kGetInstanceExport)));
  release_ = reinterpret_cast<fetch::ReleaseFn>(
      reinterpret_cast<void*>(GetProcAddress(module_, fetch::kReleaseExport)));
}

EngineLibrary::~EngineLibrary() {
  if (module_) FreeLibrary(module_);
}

EngineRef::EngineRef(const EngineLibrary& library) : library_(library) {
  if (library.loaded()) engine_ = library.get_instance()();
}

EngineRef::~EngineRef() {
  if (engine_) {
    engine_->table->shut_down(engine_);
    library_.release()(engine_);
  }
}

int32_t EngineRef::QueryEarlier(fetch::Result* result, const std::wstring& product, const std::wstring& task) {
  fetch::Request request = {product.c_str(), L"", task.c_str()};
  return engine_->table->query_earlier(engine_, &request, result);
}

int32_t EngineRef::CheckStatus(fetch::Result* result, const std::wstring& product, const std::wstring& task) {
  fetch::Request request = {product.c_str(), L"", task.c_str()};
  return engine_->table->check_status(engine_, &request, result);
}

int32_t EngineRef::Start(const std::wstring& folder, const std::wstring& product, const std::wstring& task) {
  fetch::Request request = {product.c_str(), folder.c_str(), task.c_str()};
  return engine_->table->start(engine_, &request);
}

int32_t EngineRef::ShutDown() { return engine_->table->shut_down(engine_); }
int32_t EngineRef::Pause() { return engine_->table->pause(engine_); }
int32_t EngineRef::Resume() { return engine_->table->resume(engine_); }
int32_t EngineRef::QueryProgress(fetch::Result* result) { return engine_->table->query_progress(engine_, result); }

int32_t EngineRef::WaitForEnd(DWORD timeout_ms, fetch::Result* last) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  auto result = std::make_unique<fetch::Result>();
  int32_t code = fetch::kOk;
  for (;;) {
    *result = fetch::Result();
    code = QueryProgress(result.get());
    if (code != fetch::kOk || result->completed != 0 || GetTickCount64() > end) break;
    Sleep(50);
  }
  if (last) *last = *result;
  return code;
}

bool EngineRef::WaitForReceived(int64_t bytes, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  auto result = std::make_unique<fetch::Result>();
  while (GetTickCount64() < end) {
    *result = fetch::Result();
    if (QueryProgress(result.get()) != fetch::kOk) return false;
    if (result->received >= bytes || result->completed) return true;
    Sleep(20);
  }
  return false;
}

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string out(size, '\0');
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const uint32_t v = random();
    memcpy(&out[i], &v, 4);
  }
  for (size_t i = size & ~size_t(3); i < size; ++i) out[i] = static_cast<char>(random());
  return out;
}

TaskSandbox::TaskSandbox()
    : tasks_(root_.Join(L"download")), home_(root_.Join(L"home")), save_(root_.Join(L"games\\Korvan")) {
  CreateDirectoryW(tasks_.c_str(), nullptr);
  CreateDirectoryW(home_.c_str(), nullptr);
  CreateDirectoryW(root_.Join(L"games").c_str(), nullptr);
  CreateDirectoryW(save_.c_str(), nullptr);
  SetEnvironmentVariableW(L"KV_FETCHCORE_TASK_DIR", tasks_.c_str());
  SetEnvironmentVariableW(L"KV_FETCHCORE_HOME", home_.c_str());
  testutil::WriteFileBytes(tasks_ + L"\\id.dat", "617350001=kv\n");
}

TaskSandbox::~TaskSandbox() {
  SetEnvironmentVariableW(L"KV_FETCHCORE_TASK_DIR", nullptr);
  SetEnvironmentVariableW(L"KV_FETCHCORE_HOME", nullptr);
}

void TaskSandbox::WriteTask(const std::vector<std::wstring>& urls, uint64_t size, const std::string& sha256,
                            const std::string& extra) {
  std::string text = "name=KorvanInstall.exe\nsize=" + std::to_string(size) + "\nsha256=" + sha256 + "\n";
  for (const std::wstring& url : urls) text += "url=" + std::string(url.begin(), url.end()) + "\n";
  text += extra;
  testutil::WriteFileBytes(tasks_ + L"\\617350001.task", text);
}

std::string TaskSandbox::WritePieces(const std::string& body, uint64_t piece_bytes) {
  std::string list;
  for (size_t at = 0; at < body.size(); at += static_cast<size_t>(piece_bytes)) {
    list += Sha256Hex(body.substr(at, static_cast<size_t>(piece_bytes))) + "\n";
  }
  testutil::WriteFileBytes(tasks_ + L"\\617350001.pieces", list);
  return "piece_size=" + std::to_string(piece_bytes) + "\npieces_sha256=" + Sha256Hex(list) + "\n";
}

size_t DistinctRangesServed(size_t log_offset, const std::wstring& name) {
  std::vector<testutil::NginxLogLine> lines;
  const std::string uri = "/" + std::string(name.begin(), name.end());
  testutil::TestNginx::WaitForLogLines(
      log_offset, [&](const testutil::NginxLogLine& l) { return l.uri == uri && l.status == 206; }, 3, 5000,
      &lines);
  std::set<std::string> ranges;
  for (const auto& l : lines) ranges.insert(l.range);
  return ranges.size();
}

}  // namespace enginetest
