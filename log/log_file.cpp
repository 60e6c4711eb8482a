#include "log/log_file.h"

#include <share.h>

#include <boost/format.hpp>

#include <memory>
#include <vector>

#include "base/scoped_handle.h"
#include "log/log.h"

namespace kvlog {
namespace {

constexpr wchar_t kLogBaseName[] = L"kv_downloader_log";
constexpr char kWelcome[] = "welcome to Korvan launcher developing ...";

}  // namespace

LogSettings ReadLogSettings(const std::wstring& ini_path) {
  // Far above any hand-written log.ini; a larger file is not ours.
  constexpr long kMaxIniBytes = 64 * 1024;
  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(ini_path.c_str(), L"rb"), fclose);
  if (!file) return LogSettings();
  std::vector<uint8_t> bytes(kMaxIniBytes + 1);
  const size_t size = fread(bytes.data(), 1, bytes.size(), file.get());
  if (size > static_cast<size_t>(kMaxIniBytes)) return LogSettings();
  return ParseLogSettings(DecodeIniBytes(bytes.data(), size));
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
