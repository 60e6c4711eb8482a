// Sends the log to a UTF-16 file of one test, every level let through, and
// puts back the previous target and threshold when the object dies.
// Test thread only; no worker may log while one is made or destroyed.
#pragma once

#include <cstdio>
#include <string>

namespace testutil {

class ScopedLogCapture {
 public:
  explicit ScopedLogCapture(const std::wstring& path);
  ~ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  // False when the file could not be opened (the log then stays silent).
  bool ok() const { return file_ != nullptr; }
  std::wstring Text() const;
  bool Contains(const std::wstring& text) const { return Text().find(text) != std::wstring::npos; }

 private:
  std::wstring path_;
  FILE* file_ = nullptr;
  FILE* previous_target_ = nullptr;
  int previous_level_ = 0;
};

}  // namespace testutil
