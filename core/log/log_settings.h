// What the log reads from outside: the settings text of log.ini and the
// names of day log files found beside the executable.
//
// Part of the pure core: standard C++ and header-only Boost, no platform
// call, so the native fuzzers build exactly this code. Reading the file
// and listing the folder stay with log/log_file.
//
// Thread-safety: free functions without state; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace kvlog {

constexpr int kDefaultLevel = 0;
constexpr int kDefaultRetainDays = 3;

struct LogSettings {
  int level = kDefaultLevel;             // 0: no log file
  int retain_days = kDefaultRetainDays;  // days (today included) kept by the clean-up
};

// The bytes of an INI file as text: UTF-16LE after an FF FE mark, else the
// bytes one to a character (after an EF BB BF mark, which is dropped). The
// keys and numbers read here are ASCII, so no code page is needed.
std::wstring DecodeIniBytes(const uint8_t* bytes, size_t size);

// Section "log", keys "level" and "retain_days", read the way
// GetPrivateProfileInt reads them: section and key names in any case with
// blanks around them ignored, the first such key wins, a missing or empty
// value gives the default, a value is read as optional blanks, sign, base
// prefix ("0x", "0o", "0b") and the leading digits (none: 0) after one pair
// of enclosing quotes is dropped. Numbers past the int range saturate
// rather than wrap.
LogSettings ParseLogSettings(const std::wstring& ini_text);

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(int y, unsigned m, unsigned d);

// kv_downloader_log_<y>-<m>-<d>.txt, numbers without zero padding.
std::wstring DayLogName(int y, int m, int d);

// The day number of `name` when it is exactly a day file name as the
// program writes it (no zero padding, valid date); -1 otherwise.
long long DayOfLogName(const std::wstring& name);

}  // namespace kvlog
