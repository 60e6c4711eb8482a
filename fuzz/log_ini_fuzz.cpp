// log.ini as bytes on disk, and the same text as a file name in the log
// folder (the clean-up deletes what it does not recognise).
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/log/log_settings.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = kvlog::DecodeIniBytes(data, size);
  KV_FUZZ_CHECK(text.size() <= size);
  kvlog::ParseLogSettings(text);

  const long long day = kvlog::DayOfLogName(text);
  if (day >= 0 || day < -1) {
    // Only a name the program itself would write is recognised.
    KV_FUZZ_CHECK(day >= kvlog::DaysFromCivil(1601, 1, 1) &&
                  day <= kvlog::DaysFromCivil(30827, 12, 31));
    KV_FUZZ_CHECK(text.compare(0, 18, L"kv_downloader_log_") == 0);
  }
  return 0;
}
