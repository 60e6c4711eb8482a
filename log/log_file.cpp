#include "log/log_file.h"

#include <share.h>

#include <boost/format.hpp>

#include "base/scoped_handle.h"
#include "log/log.h"

namespace kvlog {
namespace {

constexpr wchar_t kLogBaseName[] = L"kv_downloader_log";
constexpr char kWelcome[] = "welcome to Korvan launcher developing ...";

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

std::wstring DayFileName(int y, int m, int d) {
  return (boost::wformat(L"%1%_%2%-%3%-%4%.txt") % kLogBaseName % y % m % d).str();
}

// The day number of `name` when it is exactly a day file name as the
// program writes it (no zero padding, valid date); -1 otherwise.
long long DayOfLogName(const std::wstring& name) {
  int y = 0, m = 0, d = 0;
  wchar_t tail = 0;
  if (swscanf(name.c_str(), L"kv_downloader_log_%d-%d-%d.tx%lc", &y, &m, &d, &tail) != 4 ||
      tail != L't') {
    return -1;
  }
  if (y < 1601 || y > 30827 || m < 1 || m > 12 || d < 1 || d > 31) return -1;
  if (DayFileName(y, m, d) != name) return -1;  // rejects padding and suffixes
  return DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
}

}  // namespace

LogSettings ReadLogSettings(const std::wstring& ini_path) {
  LogSettings settings;
  settings.level = static_cast<int>(
      GetPrivateProfileIntW(L"log", L"level", kDefaultLevel, ini_path.c_str()));
  settings.retain_days = static_cast<int>(
      GetPrivateProfileIntW(L"log", L"retain_days", kDefaultRetainDays, ini_path.c_str()));
  return settings;
}

std::wstring DailyLogFileName(const std::wstring& folder, const SYSTEMTIME& date) {
  return (boost::wformat(L"%1%\\%2%_%3%-%4%-%5%.txt") % folder % kLogBaseName % date.wYear %
          date.wMonth % date.wDay)
      .str();
}

FILE* OpenDailyLogFile(const std::wstring& path) {
  FILE* probe = _wfopen(path.c_str(), L"r");
  if (probe) {
    fclose(probe);
  } else {
    FILE* created = _wfopen(path.c_str(), L"w+b");
    if (created) {
      static const unsigned char kBom[] = {0xFF, 0xFE};
      fwrite(kBom, 1, sizeof(kBom), created);
      fclose(created);
    }
  }
  // Shared with everyone: support staff may open the file while we run.
  return _wfsopen(path.c_str(), L"a+b", _SH_DENYNO);
}

void StartFileLogging(FILE* file) {
  COutput2FILE::Target() = file;
  CFileLog::Threshold(LOG_CAT_ALL) = LOG_MESSAGE;
  KV_LOG_MESSAGE << kWelcome;
}

void CleanupOldLogs(const std::wstring& folder, int level, int retain_days,
                    const SYSTEMTIME& today) {
  if (level >= 3) return;
  // A file survives when it is the day file of one of the last retain_days
  // days. Compared by day number rather than through a set of names, so a
  // huge retain_days from a hand-edited log.ini costs nothing.
  const long long today_day = DaysFromCivil(today.wYear, today.wMonth, today.wDay);
  const long long oldest_kept = today_day - static_cast<long long>(retain_days) + 1;

  WIN32_FIND_DATAW entry;
  base::ScopedFindHandle find(FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
  if (!find.IsValid()) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (name.find(kLogBaseName) == std::wstring::npos) continue;
    const long long day = DayOfLogName(name);
    if (retain_days > 0 && day >= oldest_kept && day <= today_day) continue;
    DeleteFileW((folder + L"\\" + name).c_str());
  } while (FindNextFileW(find.Get(), &entry));
}

SYSTEMTIME LocalToday() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now;
}

}  // namespace kvlog
