// The texts the progress panel shows for the engine's figures.
#include "app/download_manager.h"

#include <boost/format.hpp>

namespace korvan {

std::wstring DownloadManager::SizeText(int64_t bytes) {
  if (bytes <= 999) return (boost::wformat(L"%1%B") % bytes).str();
  // The unit switches at 1000 of the smaller one, tested before rounding:
  // 1023999 B is 999.999 KB and prints as "1000.0KB".
  double value = static_cast<double>(bytes) / 1024.0;
  if (value < 1000.0) return (boost::wformat(L"%1$0.1fKB") % value).str();
  value /= 1024.0;
  if (value < 1000.0) return (boost::wformat(L"%1$0.1fMB") % value).str();
  value /= 1024.0;
  if (value < 1000.0) return (boost::wformat(L"%1$0.1fGB") % value).str();
  value /= 1024.0;
  return (boost::wformat(L"%1$0.1fTB") % value).str();
}

std::wstring DownloadManager::SpeedText(int64_t bytes_per_second) {
  if (bytes_per_second < 0) return L"速度：0B/s";
  return L"速度：" + SizeText(bytes_per_second) + L"/s";
}

std::wstring DownloadManager::AmountText(int64_t received, int64_t total) {
  return L"大小：" + SizeText(received) + L"/" + SizeText(total);
}

std::wstring DownloadManager::ErrorText(const std::wstring& text, int code) {
  if (code == kNoCode) return text;
  return text + L"错误码：" + std::to_wstring(code);
}

}  // namespace korvan
