// The leveled log writer. A statement builds its line in a short-lived
// CFileLog on the caller's stack and hands it whole to the one output stream
// of the process, so lines from different threads never interleave.
//
//   KV_LOG_ERROR << "korvan::ClientManager::Pimpl::Unzip7z 解压失败 " << GetLastError();
//   KV_LOG_MESSAGE << L"path: " << path;
//
// Narrow texts are read as code page 936 (the program's narrow literals are
// compiled as GBK); wide texts are written unchanged; numbers in decimal.
// A suppressed statement evaluates none of its arguments.
//
// Thread-safety: statements may come from any thread. Threshold() and
// COutput2FILE::Target() are set during start-up, before workers exist.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <type_traits>

enum LogLevel {
  LOG_FATAL = 0,
  LOG_ERROR = 1,
  LOG_WARNING = 2,
  LOG_MESSAGE = 3,
  LOG_INFO = 4,
  LOG_DEBUG = 5,
};

enum LogCategory {
  LOG_CAT_ALL = 0,
  LOG_CAT_VIEW = 1,
  LOG_CAT_INI = 2,
};

// Code page 936 text to UTF-16; invalid bytes become U+FFFD.
std::wstring LogNarrowToWide(const char* text, size_t length);

class LogStream {
 public:
  LogStream& operator<<(const char* text);
  LogStream& operator<<(const std::string& text) {
    out_ << LogNarrowToWide(text.data(), text.size());
    return *this;
  }
  LogStream& operator<<(const wchar_t* text) {
    out_ << (text ? text : L"(null)");
    return *this;
  }
  LogStream& operator<<(const std::wstring& text) {
    out_ << text;
    return *this;
  }
  LogStream& operator<<(char c) { return *this << std::string(1, c); }
  LogStream& operator<<(wchar_t c) {
    out_ << c;
    return *this;
  }
  template <class N, class = std::enable_if_t<std::is_arithmetic_v<N>>>
  LogStream& operator<<(N number) {
    out_ << number;
    return *this;
  }

  std::wostringstream& wide() { return out_; }
  std::wstring str() const { return out_.str(); }

 private:
  std::wostringstream out_;
};

// Output policy for the log file.
class COutput2FILE {
 public:
  // The process's output stream; standard error until start-up sets the
  // daily file. Null silences the log.
  static FILE*& Target();
  // Writes one finished line with a single formatted write, then flushes.
  static void Write(const std::wstring& line);
};

template <class Output>
class CLog {
 public:
  CLog() = default;
  CLog(const CLog&) = delete;
  CLog& operator=(const CLog&) = delete;
  virtual ~CLog() {
    if (!started_) return;
    stream_ << L"\r\n";
    Output::Write(stream_.str());
  }

  // Writes the line prefix and returns the stream for the message parts.
  LogStream& Line(int level, int category);

  // Reporting level of a category: statements above it are not written.
  static int& Threshold(int category);

 private:
  LogStream stream_;
  bool started_ = false;
};

// Defined in log.cpp: the file writer is the only instantiation.
template <> int& CLog<COutput2FILE>::Threshold(int category);
template <> LogStream& CLog<COutput2FILE>::Line(int level, int category);

class CFileLog : public CLog<COutput2FILE> {
 public:
  ~CFileLog() override;
};

// Names as written into the line.
const wchar_t* LogLevelName(int level);
const wchar_t* LogCategoryName(int category);

inline bool LogEnabledFor(int level) {
  return level <= CFileLog::Threshold(LOG_CAT_ALL) && COutput2FILE::Target() != nullptr;
}

// Turns a statement into a void expression, so KV_LOG works as the body of
// an unbraced if without swallowing its else.
struct LogVoidify {
  void operator&(LogStream&) {}
};

#define KV_LOG(level) \
  !LogEnabledFor(level) ? (void)0 : LogVoidify() & CFileLog().Line((level), LOG_CAT_ALL)

#define KV_LOG_FATAL KV_LOG(LOG_FATAL)
#define KV_LOG_ERROR KV_LOG(LOG_ERROR)
#define KV_LOG_WARNING KV_LOG(LOG_WARNING)
#define KV_LOG_MESSAGE KV_LOG(LOG_MESSAGE)
#define KV_LOG_INFO KV_LOG(LOG_INFO)
#define KV_LOG_DEBUG KV_LOG(LOG_DEBUG)
