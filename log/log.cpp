#include "log/log.h"

#include <windows.h>

#include <cwchar>

std::wstring LogNarrowToWide(const char* text, size_t length) {
  if (!text || length == 0) return std::wstring();
  // The code page is given directly: switching the process locale around the
  // conversion would race with statements on other threads.
  int n = MultiByteToWideChar(936, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, text, static_cast<int>(length), &wide[0], n);
  return wide;
}

LogStream& LogStream::operator<<(const char* text) {
  if (!text) {
    out_ << L"(null)";
    return *this;
  }
  out_ << LogNarrowToWide(text, strlen(text));
  return *this;
}

FILE*& COutput2FILE::Target() {
  static FILE* stream = stderr;
  return stream;
}

void COutput2FILE::Write(const std::wstring& line) {
  FILE* stream = Target();
  if (!stream) return;
  // One formatted write holds the stream's lock for the whole line.
  fwprintf(stream, L"%ls", line.c_str());
  fflush(stream);
}

const wchar_t* LogLevelName(int level) {
  static const wchar_t* const kNames[] = {L"FATAL", L"ERROR", L"WARNING",
                                          L"MESSAGE", L"INFO", L"DEBUG"};
  if (level >= 0 && level <= LOG_DEBUG) return kNames[level];
  return L"DEBUG";
}

const wchar_t* LogCategoryName(int category) {
  static const wchar_t* const kNames[] = {L"ALL", L"VIEW", L"INI"};
  if (category >= 0 && category <= LOG_CAT_INI) return kNames[category];
  return L"ALL";
}

namespace {

std::wstring NowTime() {
  wchar_t buffer[64];
  if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, L"HH':'mm':'ss", buffer, 64) == 0) {
    return L"Error in NowTime()";
  }
  return buffer;
}

}  // namespace

template <>
int& CLog<COutput2FILE>::Threshold(int category) {
  static int levels[3] = {LOG_DEBUG, LOG_DEBUG, LOG_DEBUG};
  if (category < 0 || category > LOG_CAT_INI) category = LOG_CAT_ALL;
  return levels[category];
}

template <>
LogStream& CLog<COutput2FILE>::Line(int level, int category) {
  started_ = true;
  std::wostringstream& out = stream_.wide();
  out << L"[" << GetCurrentProcessId() << L"][" << GetCurrentThreadId() << L"]["
      << LogCategoryName(category) << L"]" << NowTime() << L" ";
  // Levels past DEBUG are written as DEBUG, indented one tab per step.
  out << LogLevelName(level) << L": ";
  for (int i = LOG_DEBUG; i < level; ++i) out << L'\t';
  return stream_;
}

CFileLog::~CFileLog() = default;
