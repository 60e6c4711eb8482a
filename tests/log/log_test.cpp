#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/test_util.h"
#include "log/log.h"
#include "log/log_file.h"

namespace {

// Points the log at a file of a temporary folder for one test.
class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_target_ = COutput2FILE::Target();
    saved_threshold_ = CFileLog::Threshold(LOG_CAT_ALL);
    path_ = dir_.Join(L"log.txt");
  }
  void TearDown() override {
    if (file_) fclose(file_);
    COutput2FILE::Target() = saved_target_;
    CFileLog::Threshold(LOG_CAT_ALL) = saved_threshold_;
  }
  void OpenLog() {
    file_ = kvlog::OpenDailyLogFile(path_);
    ASSERT_NE(file_, nullptr);
    COutput2FILE::Target() = file_;
  }
  std::wstring Text() { return testutil::ReadUtf16File(path_); }

  testutil::ScopedTempDir dir_;
  std::wstring path_;
  FILE* file_ = nullptr;
  FILE* saved_target_ = nullptr;
  int saved_threshold_ = 0;
};

TEST_F(LogTest, LineHasTheExactLayout) {
  OpenLog();
  KV_LOG_ERROR << "disk " << 42 << L" wide";
  const std::wstring text = Text();
  const std::wregex layout(
      LR"(^\[(\d+)\]\[(\d+)\]\[ALL\]\d\d:\d\d:\d\d ERROR: disk 42 wide\r\n$)");
  std::wsmatch m;
  ASSERT_TRUE(std::regex_match(text, m, layout)) << std::string(text.begin(), text.end());
  EXPECT_EQ(std::stoul(m[1].str()), GetCurrentProcessId());
  EXPECT_EQ(std::stoul(m[2].str()), GetCurrentThreadId());
}

TEST_F(LogTest, NarrowChineseLiteralComesOutAsUtf16Chinese) {
  OpenLog();
  KV_LOG_MESSAGE << "解压7z工具成功";
  EXPECT_NE(Text().find(L"MESSAGE: \u89e3\u538b7z\u5de5\u5177\u6210\u529f\r\n"), std::wstring::npos);
}

TEST_F(LogTest, StatementsAboveTheThresholdAreNotEvaluated) {
  OpenLog();
  CFileLog::Threshold(LOG_CAT_ALL) = LOG_MESSAGE;
  int evaluated = 0;
  auto count = [&evaluated] { return ++evaluated; };
  KV_LOG_INFO << count();
  KV_LOG_DEBUG << count();
  KV_LOG_MESSAGE << "kept " << count();
  EXPECT_EQ(evaluated, 1);
  const std::wstring text = Text();
  EXPECT_EQ(text.find(L"INFO"), std::wstring::npos);
  EXPECT_EQ(text.find(L"DEBUG"), std::wstring::npos);
  EXPECT_NE(text.find(L"MESSAGE: kept 1"), std::wstring::npos);
}

TEST_F(LogTest, NullTargetSilencesTheLog) {
  COutput2FILE::Target() = nullptr;
  int evaluated = 0;
  KV_LOG_ERROR << ++evaluated;
  EXPECT_EQ(evaluated, 0);
}

TEST_F(LogTest, LevelsPastDebugAreIndentedOneTabPerStep) {
  OpenLog();
  CFileLog::Threshold(LOG_CAT_ALL) = 7;
  KV_LOG(7) << "deep";
  EXPECT_NE(Text().find(L"DEBUG: \t\tdeep"), std::wstring::npos);
}

TEST_F(LogTest, LinesFromManyThreadsNeverInterleave) {
  OpenLog();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) KV_LOG_MESSAGE << "thread " << t << " line " << i << " end";
    });
  }
  for (auto& th : threads) th.join();
  const std::wstring text = Text();
  const std::wregex line(LR"(\[\d+\]\[\d+\]\[ALL\]\d\d:\d\d:\d\d MESSAGE: thread \d line \d+ end)");
  size_t lines = 0, start = 0;
  for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    EXPECT_TRUE(std::regex_match(text.substr(start, end - start), line));
    ++lines;
  }
  EXPECT_EQ(lines, 200u);
}

TEST_F(LogTest, NewFileStartsWithTheMarkAndReopeningAddsNoSecondMark) {
  OpenLog();
  KV_LOG_MESSAGE << "one";
  fclose(file_);
  file_ = nullptr;
  OpenLog();
  KV_LOG_MESSAGE << "two";
  fclose(file_);
  file_ = nullptr;
  const std::string bytes = testutil::ReadFileBytes(path_);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes.find("\xFF\xFE", 2), std::string::npos);
  const std::wstring text = Text();
  EXPECT_LT(text.find(L"one"), text.find(L"two"));
}

TEST_F(LogTest, StartFileLoggingWritesTheWelcomeLineAndDropsInfo) {
  file_ = kvlog::OpenDailyLogFile(path_);
  ASSERT_NE(file_, nullptr);
  CFileLog::Threshold(LOG_CAT_ALL) = LOG_DEBUG;
  kvlog::StartFileLogging(file_);
  KV_LOG_INFO << "hidden";
  EXPECT_EQ(CFileLog::Threshold(LOG_CAT_ALL), LOG_MESSAGE);
  const std::wstring text = Text();
  EXPECT_NE(text.find(L"MESSAGE: welcome to Korvan launcher developing ...\r\n"), std::wstring::npos);
  EXPECT_EQ(text.find(L"hidden"), std::wstring::npos);
}

TEST_F(LogTest, FileLockedByAnotherOpenerGivesNullNotACrash) {
  HANDLE exclusive = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(kvlog::OpenDailyLogFile(path_), nullptr);
  CloseHandle(exclusive);
}

TEST(LogFileNameTest, DateNumbersAreNotPadded) {
  SYSTEMTIME d = {};
  d.wYear = 2026;
  d.wMonth = 1;
  d.wDay = 9;
  EXPECT_EQ(kvlog::DailyLogFileName(L"C:\\app", d), L"C:\\app\\kv_downloader_log_2026-1-9.txt");
  d.wMonth = 12;
  d.wDay = 31;
  EXPECT_EQ(kvlog::DailyLogFileName(L"C:\\app", d), L"C:\\app\\kv_downloader_log_2026-12-31.txt");
}

TEST(LogSettingsTest, MissingFileAndKeysGiveDefaults) {
  testutil::ScopedTempDir dir;
  kvlog::LogSettings s = kvlog::ReadLogSettings(dir.Join(L"log.ini"));
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.retain_days, 3);
  ASSERT_TRUE(testutil::WriteFileBytes(dir.Join(L"log.ini"), "[log]\r\nlevel=2\r\n"));
  s = kvlog::ReadLogSettings(dir.Join(L"log.ini"));
  EXPECT_EQ(s.level, 2);
  EXPECT_EQ(s.retain_days, 3);
}

TEST(LogSettingsTest, NonNumericValuesReadAsZero) {
  testutil::ScopedTempDir dir;
  ASSERT_TRUE(testutil::WriteFileBytes(dir.Join(L"log.ini"),
                                       "[log]\r\nlevel=verbose\r\nretain_days=many\r\n"));
  kvlog::LogSettings s = kvlog::ReadLogSettings(dir.Join(L"log.ini"));
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.retain_days, 0);
}

// log.ini is read by our own parser; the platform's profile reader is the
// reference it must agree with on every file a person might write.
TEST(LogSettingsTest, AgreesWithThePlatformProfileReader) {
  const std::string utf16 = std::string("\xFF\xFE[\0l\0o\0g\0]\0\r\0\n\0l\0e\0v\0e\0l\0=\0" "2\0", 30);
  const std::string cases[] = {
      "[log]\r\nlevel=1\r\nretain_days=3\r\n",
      "[LOG]\nLevel = 2\nRETAIN_DAYS=\t7 \n",
      "  [ log ]  \n  level  =  3  \n",
      "[log]\nlevel=\"4\"\nretain_days='5'\n",
      "[log]\nlevel=-2\nretain_days=+6\n",
      "[log]\nlevel=12abc\nretain_days= 9 9\n",
      "[log]\nlevel=\nretain_days=\n",
      "[log]\nlevel=1\nlevel=2\n",
      "[other]\nlevel=5\n[log]\nretain_days=8\n",
      "level=5\n[log]\n",
      "[log\nlevel=5\n",
      "[log]\n;level=5\n",
      "\xEF\xBB\xBF[log]\r\nlevel=1\r\n",
      "[log]\r\nlevel=0x10\r\n",
      "[log]\nlevel=0b101\nretain_days=0o17\n",
      "[log]\nlevel=0X10\nretain_days=0B11\n",
      "[log]\nlevel=0x1G\nretain_days=-0x10\n",
      "",
      utf16,
  };
  testutil::ScopedTempDir dir;
  const std::wstring path = dir.Join(L"log.ini");
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(testutil::WriteFileBytes(path, text));
    const kvlog::LogSettings s = kvlog::ReadLogSettings(path);
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntW(L"log", L"level", kvlog::kDefaultLevel, path.c_str())),
              s.level);
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntW(L"log", L"retain_days", kvlog::kDefaultRetainDays,
                                                     path.c_str())),
              s.retain_days);
  }
}

}  // namespace

namespace {

TEST_F(LogTest, StatementAsUnbracedIfBodyKeepsItsElse) {
  OpenLog();
  bool else_ran = false;
  const bool failed = false;
  if (failed)
    KV_LOG_ERROR << "not written";
  else
    else_ran = true;
  EXPECT_TRUE(else_ran);
  EXPECT_EQ(Text().find(L"not written"), std::wstring::npos);
}

}  // namespace
