#include "common/log_capture.h"

#include "common/test_util.h"
#include "log/log.h"
#include "log/log_file.h"

namespace testutil {

ScopedLogCapture::ScopedLogCapture(const std::wstring& path)
    : path_(path),
      file_(kvlog::OpenDailyLogFile(path)),
      previous_target_(COutput2FILE::Target()),
      previous_level_(CFileLog::Threshold(LOG_CAT_ALL)) {
  COutput2FILE::Target() = file_;
  CFileLog::Threshold(LOG_CAT_ALL) = LOG_DEBUG;
}

ScopedLogCapture::~ScopedLogCapture() {
  COutput2FILE::Target() = previous_target_;
  CFileLog::Threshold(LOG_CAT_ALL) = previous_level_;
  if (file_) fclose(file_);
}

std::wstring ScopedLogCapture::Text() const {
  if (file_) fflush(file_);
  return ReadUtf16File(path_);
}

}  // namespace testutil
