// The texts the progress panel shows: unit switch at 1000, one decimal.
#include <gtest/gtest.h>

#include "app/download_manager.h"

using korvan::DownloadManager;

TEST(DownloadTextsTest, SizeTextSwitchesUnitAtOneThousandBeforeRounding) {
  const struct {
    int64_t bytes;
    const wchar_t* text;
  } cases[] = {
      {0, L"0B"},
      {999, L"999B"},
      {1000, L"1.0KB"},
      {1536, L"1.5KB"},
      {1023999, L"1000.0KB"},
      {1024000, L"1.0MB"},
      {1048576000, L"1.0GB"},
      {1073741824000LL, L"1.0TB"},
      {5LL * 1099511627776LL, L"5.0TB"},
  };
  for (const auto& c : cases) EXPECT_EQ(DownloadManager::SizeText(c.bytes), c.text) << c.bytes;
}

TEST(DownloadTextsTest, SpeedAndErrorTexts) {
  EXPECT_EQ(DownloadManager::SpeedText(-1), L"速度：0B/s");
  EXPECT_EQ(DownloadManager::SpeedText(2048), L"速度：2.0KB/s");
  EXPECT_EQ(DownloadManager::ErrorText(L"下载状态检查失败", 6), L"下载状态检查失败错误码：6");
  EXPECT_EQ(DownloadManager::ErrorText(L"下载模块失效", DownloadManager::kNoCode), L"下载模块失效");
}
