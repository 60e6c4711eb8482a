#include "app/ui/progress_rules.h"

#include <boost/format.hpp>

#include "app/download_manager.h"

namespace korvan {

uint32_t VisibleButtons(int32_t state) {
  switch (state) {
    case DownloadManager::kNoEarlierDownload:
    case DownloadManager::kReadyNew:
      return kButtonStart;
    case DownloadManager::kEarlierDownloadFound:
    case DownloadManager::kReadyResume:
      return kButtonResumeStartup;
    case DownloadManager::kStarting:
    case DownloadManager::kDownloading:
    case DownloadManager::kAllReceived:
      return kButtonPause;
    case DownloadManager::kPaused:
      return kButtonResumePaused;
    case DownloadManager::kFailedRetryable:
    case DownloadManager::kFailedFileCheck:
      return kButtonRetry;
    case DownloadManager::kFinished:
      return kButtonInstall;
    default:
      return 0;
  }
}

bool EnablesFolderButton(int32_t state) {
  return state == DownloadManager::kNoEarlierDownload || state == DownloadManager::kReadyResume;
}

bool FolderButtonChooses(int32_t state) {
  return state == DownloadManager::kNoEarlierDownload || state == DownloadManager::kReadyNew;
}

StatusLine StatusForState(int32_t state) {
  switch (state) {
    case DownloadManager::kInitial:
    case DownloadManager::kNoEarlierDownload:
    case DownloadManager::kEarlierDownloadFound:
      return {L"正正在获取下载信息，即将开始下载", true};
    case DownloadManager::kReadyNew:
      return {L"请点击“开始下载”将为您加速下载《Korvan》", false};
    case DownloadManager::kReadyResume:
      return {L"请点击“继续下载”将为您加速下载《Korvan》", false};
    case DownloadManager::kStarting:
    case DownloadManager::kDownloading:
      return {L"正在为您下载游戏，下载需要花费一定时间，请耐心等待", true};
    case DownloadManager::kAllReceived:
      return {L"文件下载完成，正在验证文件完整性", true};
    case DownloadManager::kPaused:
      return {L"下载已暂停，点击“继续下载”将继续下载游戏", false};
    case DownloadManager::kFinished:
      return {L"游戏下载完成，请点击“开始安装”开始按装《Korvan》", false};
    default:
      return {nullptr, false};
  }
}

std::wstring PercentText(uint32_t value, uint32_t total) {
  if (total == 0) return L"0%";
  if (value >= total) return L"100%";
  const double percent = static_cast<double>(value) * 100.0 / static_cast<double>(total);
  return (boost::wformat(L"%1$0.1f%%") % percent).str();
}

uint32_t BarValueOf(float fraction) {
  if (!(fraction > 0.0f)) return 0;  // also NaN
  const double v = static_cast<double>(fraction) * 10000.0;
  return v >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

}  // namespace korvan
