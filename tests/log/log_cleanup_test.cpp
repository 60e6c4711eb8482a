#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_util.h"
#include "log/log_file.h"

namespace {

SYSTEMTIME Date(int y, int m, int d) {
  SYSTEMTIME t = {};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  return t;
}

class LogCleanupTest : public testing::Test {
 protected:
  void Touch(const std::wstring& name) {
    ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(name), "x"));
  }
  bool Exists(const std::wstring& name) { return testutil::FileExists(dir_.Join(name)); }
  void MakeUsualFiles() {
    for (const wchar_t* name : kFiles) Touch(name);
    ASSERT_TRUE(CreateDirectoryW(dir_.Join(L"kv_downloader_log_folder").c_str(), nullptr));
  }
  static constexpr const wchar_t* kFiles[] = {
      L"kv_downloader_log_2026-1-7.txt",  L"kv_downloader_log_2026-1-8.txt",
      L"kv_downloader_log_2026-1-9.txt",  L"kv_downloader_log_2026-1-10.txt",
      L"kv_downloader_log_2026-01-09.txt", L"old_kv_downloader_log.bak",
      L"KV_DOWNLOADER_LOG_2025-1-1.txt",  L"notes.txt",
  };
  testutil::ScopedTempDir dir_;
};

TEST_F(LogCleanupTest, KeepsTheLastRetainDaysAndDeletesOtherLogNames) {
  MakeUsualFiles();
  kvlog::CleanupOldLogs(dir_.path(), 2, 3, Date(2026, 1, 10));
  EXPECT_TRUE(Exists(L"kv_downloader_log_2026-1-8.txt"));
  EXPECT_TRUE(Exists(L"kv_downloader_log_2026-1-9.txt"));
  EXPECT_TRUE(Exists(L"kv_downloader_log_2026-1-10.txt"));
  EXPECT_FALSE(Exists(L"kv_downloader_log_2026-1-7.txt"));
  // Padded names are not the program's day files; the substring test is
  // case-sensitive, so the upper-case name and unrelated files stay.
  EXPECT_FALSE(Exists(L"kv_downloader_log_2026-01-09.txt"));
  EXPECT_FALSE(Exists(L"old_kv_downloader_log.bak"));
  EXPECT_TRUE(Exists(L"KV_DOWNLOADER_LOG_2025-1-1.txt"));
  EXPECT_TRUE(Exists(L"notes.txt"));
  EXPECT_TRUE(testutil::FolderExists(dir_.Join(L"kv_downloader_log_folder")));
}

TEST_F(LogCleanupTest, LevelThreeOrMoreDeletesNothing) {
  MakeUsualFiles();
  kvlog::CleanupOldLogs(dir_.path(), 3, 1, Date(2026, 1, 10));
  for (const wchar_t* name : kFiles) EXPECT_TRUE(Exists(name)) << name;
}

TEST_F(LogCleanupTest, RetainZeroOrNegativeKeepsNoLogFile) {
  Touch(L"kv_downloader_log_2026-1-10.txt");
  kvlog::CleanupOldLogs(dir_.path(), 1, 0, Date(2026, 1, 10));
  EXPECT_FALSE(Exists(L"kv_downloader_log_2026-1-10.txt"));
  Touch(L"kv_downloader_log_2026-1-10.txt");
  kvlog::CleanupOldLogs(dir_.path(), 1, -5, Date(2026, 1, 10));
  EXPECT_FALSE(Exists(L"kv_downloader_log_2026-1-10.txt"));
}

TEST_F(LogCleanupTest, RetainWindowCrossesMonthAndLeapDay) {
  Touch(L"kv_downloader_log_2024-2-29.txt");
  Touch(L"kv_downloader_log_2024-2-28.txt");
  Touch(L"kv_downloader_log_2024-3-1.txt");
  kvlog::CleanupOldLogs(dir_.path(), 1, 2, Date(2024, 3, 1));
  EXPECT_TRUE(Exists(L"kv_downloader_log_2024-3-1.txt"));
  EXPECT_TRUE(Exists(L"kv_downloader_log_2024-2-29.txt"));
  EXPECT_FALSE(Exists(L"kv_downloader_log_2024-2-28.txt"));
}

TEST_F(LogCleanupTest, HugeRetainDaysKeepsOldDayFilesAndReturnsAtOnce) {
  Touch(L"kv_downloader_log_1999-5-4.txt");
  Touch(L"kv_downloader_log_2026-1-11.txt");  // a day in the future is not kept
  ULONGLONG start = GetTickCount64();
  kvlog::CleanupOldLogs(dir_.path(), 1, 2147483647, Date(2026, 1, 10));
  EXPECT_LT(GetTickCount64() - start, 2000u);
  EXPECT_TRUE(Exists(L"kv_downloader_log_1999-5-4.txt"));
  EXPECT_FALSE(Exists(L"kv_downloader_log_2026-1-11.txt"));
}

TEST_F(LogCleanupTest, MissingFolderIsIgnored) {
  kvlog::CleanupOldLogs(dir_.Join(L"absent"), 1, 3, Date(2026, 1, 10));
  SUCCEED();
}

}  // namespace
