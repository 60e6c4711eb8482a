#include "engine/task_table.h"

#include <windows.h>
#include <shlobj.h>

#include "base/scoped_handle.h"
#include "core/engine/task_text.h"
#include "engine/sha256.h"
#include "engine/state_record.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace fetch {

namespace {

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(value, n) : std::wstring();
}

std::wstring ModuleDir() {
  wchar_t path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH * 2);
  std::wstring p(path, n);
  size_t slash = p.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : p.substr(0, slash);
}

bool ReadSmallFile(const std::wstring& path, std::string* out) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 1 << 20) return false;
  out->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!out->empty() && !ReadFile(file.Get(), &(*out)[0], static_cast<DWORD>(out->size()), &read, nullptr)) {
    return false;
  }
  out->resize(read);
  return true;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring TaskTableDir() {
  std::wstring dir = Env(L"KV_FETCHCORE_TASK_DIR");
  return dir.empty() ? ModuleDir() + L"\\download" : dir;
}

std::wstring EngineHomeDir() {
  std::wstring dir = Env(L"KV_FETCHCORE_HOME");
  if (!dir.empty()) return dir;
  wchar_t path[MAX_PATH];
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path))) {
    return std::wstring(path) + L"\\KVDownloader\\FetchCore";
  }
  return ModuleDir() + L"\\state";
}

bool ParseTaskText(const std::string& text, Task* task) {
  TaskText fields;
  fields.name = WideToUtf8(task->name);
  fields.product = WideToUtf8(task->product);
  fields.size = task->size;
  fields.sha256 = task->sha256;
  fields.connections = task->connections;
  fields.stall_timeout_ms = task->stall_timeout_ms;
  fields.retry_limit = task->retry_limit;
  fields.piece_size = task->piece_size;
  fields.pieces_sha256 = task->pieces_sha256;
  if (!ParseTaskLines(text, &fields)) return false;
  task->name = Utf8ToWide(fields.name);
  task->product = Utf8ToWide(fields.product);
  task->size = fields.size;
  task->sha256 = fields.sha256;
  for (const std::string& url : fields.urls) task->urls.push_back(Utf8ToWide(url));
  task->connections = fields.connections;
  task->stall_timeout_ms = fields.stall_timeout_ms;
  task->retry_limit = fields.retry_limit;
  task->piece_size = fields.piece_size;
  task->pieces_sha256 = fields.pieces_sha256;
  return true;
}

TaskLookup LoadTask(const std::wstring& product, const std::wstring& task_id, Task* task) {
  if (!IsSafeTaskId(task_id) || product.empty()) return TaskLookup::kUnknown;
  const std::wstring dir = TaskTableDir();
  std::string index;
  if (!ReadSmallFile(dir + L"\\id.dat", &index)) return TaskLookup::kUnknown;
  bool listed = false;
  const std::string want = WideToUtf8(task_id) + "=" + WideToUtf8(product);
  size_t pos = 0;
  while (pos <= index.size() && !listed) {
    size_t end = index.find('\n', pos);
    if (end == std::string::npos) end = index.size();
    listed = Trim(index.substr(pos, end - pos)) == want;
    pos = end + 1;
  }
  if (!listed) return TaskLookup::kUnknown;
  std::string text;
  if (!ReadSmallFile(dir + L"\\" + task_id + L".task", &text)) return TaskLookup::kUnknown;
  Task parsed;
  if (!ParseTaskText(text, &parsed)) return TaskLookup::kIncomplete;
  parsed.id = task_id;
  parsed.product = product;
  // The final name is a plain file name inside the save folder.
  if (parsed.name.empty() || parsed.name.find_first_of(L"\\/:") != std::wstring::npos ||
      parsed.name == L"." || parsed.name == L".." || parsed.size == 0 || parsed.sha256.empty() ||
      parsed.urls.empty()) {
    return TaskLookup::kIncomplete;
  }
  if (parsed.piece_size != 0 || !parsed.pieces_sha256.empty()) {
    // A table that names pieces is checked by them: a list that cannot be
    // trusted makes the task unusable rather than silently unchecked.
    std::string list;
    if (!ReadWholeFile(dir + L"\\" + task_id + L".pieces", &list, 64 * 1024 * 1024)) {
      return TaskLookup::kIncomplete;
    }
    Sha256 sha;
    sha.Update(list.data(), list.size());
    if (CheckPieceList(list.data(), list.size(), sha.FinishHex(), parsed.pieces_sha256, parsed.size,
                       parsed.piece_size, &parsed.pieces) != PieceListStatus::kOk) {
      return TaskLookup::kIncomplete;
    }
  }
  *task = parsed;
  return TaskLookup::kFound;
}

}  // namespace fetch
