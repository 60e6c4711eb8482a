// Helpers shared by the test programs. Test thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace testutil {

// A fresh folder under the temporary folder, removed with all its content
// when the object dies.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring Join(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Pumps this thread's messages (and so the toolkit timer) until `done`
// returns true or `timeout_ms` passes; returns the last answer of `done`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);
void PumpFor(DWORD ms);

// Folder of the running test program (helpers are built beside it).
std::wstring TestBinDir();

// Lower-case hex SHA-256 of `bytes`, through the platform's provider.
std::string Sha256Hex(const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

// UTF-16 file content (after a byte-order mark, if any) as a wide string.
std::wstring ReadUtf16File(const std::wstring& path);

}  // namespace testutil
