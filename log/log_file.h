// The daily log file and its settings: reading log.ini, opening the day's
// UTF-16 file beside the executable, and deleting old log files.
//
// Thread-safety: start-up code on the user-interface thread, before any
// worker exists (the functions change process-wide log state).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "core/log/log_settings.h"

namespace kvlog {

// Section "log", keys "level" and "retain_days" of `ini_path`
// (ParseLogSettings); a missing, unreadable or over-long file or a missing
// key gives the default.
LogSettings ReadLogSettings(const std::wstring& ini_path);

// folder\kv_downloader_log_<y>-<m>-<d>.txt, numbers without zero padding.
std::wstring DailyLogFileName(const std::wstring& folder, const SYSTEMTIME& date);

// Opens (creating with the FF FE mark when new) the file for appending, shared
// with other processes. Null when it cannot be opened.
FILE* OpenDailyLogFile(const std::wstring& path);

// Points the log at `file`, lets MESSAGE and more severe lines through and
// writes the welcome line. A null file silences the log.
void StartFileLogging(FILE* file);

// Deletes files in `folder` whose name contains "kv_downloader_log" except
// the day files of the last `retain_days` days up to `today`. Skipped
// entirely when `level` is 3 or more.
void CleanupOldLogs(const std::wstring& folder, int level, int retain_days,
                    const SYSTEMTIME& today);

// The local date now.
SYSTEMTIME LocalToday();

}  // namespace kvlog
