#include "engine/state_record.h"

#include <windows.h>

#include "base/scoped_handle.h"

namespace fetch {

bool WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
  const std::wstring temp = path + L".tmp";
  {
    base::ScopedHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !FlushFileBuffers(file.Get())) {
      return false;
    }
  }
  return MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes, size_t limit) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size) || static_cast<uint64_t>(size.QuadPart) > limit) return false;
  bytes->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes->empty() && (!ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) ||
                          read != bytes->size())) {
    return false;
  }
  return true;
}

bool WriteStateFile(const std::wstring& path, const StateRecord& record) {
  return WriteFileAtomically(path, SerializeState(record));
}

bool ReadStateFile(const std::wstring& path, StateRecord* record) {
  std::string bytes;
  return ReadWholeFile(path, &bytes, 64 * 1024 * 1024) && ParseState(bytes, record);
}

}  // namespace fetch
