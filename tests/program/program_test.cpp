// The real KVDownloader.exe, started as a user would start it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/process_util.h"
#include "base/scoped_handle.h"
#include "common/test_util.h"
#include "log/log_file.h"
#include "program/program_driver.h"

namespace {

using programtest::EndUnpackingTools;
using programtest::Program;

constexpr wchar_t kMutexName[] = L"KVDOWNLOADER_INSWND";

std::wstring BuiltProgram() { return testutil::TestBinDir() + L"\\..\\..\\KVDownloader.exe"; }

bool MutexExists() {
  HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, kMutexName);
  if (!h) return false;
  CloseHandle(h);
  return true;
}

class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    EndUnpackingTools();
    exe_ = dir_.Join(L"KVDownloader.exe");
    ASSERT_TRUE(CopyFileW(BuiltProgram().c_str(), exe_.c_str(), FALSE)) << GetLastError();
  }
  // A copy of the program ended mid-start may leave its unpacking tool
  // running; it would hold the tool's file for the next test.
  void TearDown() override { EndUnpackingTools(); }
  void WriteLogIni(const std::string& text) {
    ASSERT_TRUE(testutil::WriteFileBytes(dir_.Join(L"log.ini"), text));
  }
  std::wstring TodayLog() { return kvlog::DailyLogFileName(dir_.path(), kvlog::LocalToday()); }
  bool StartAndWaitForMutex(Program& child, const std::wstring& args = L"") {
    if (!child.Start(exe_, args)) return false;
    return testutil::PumpUntil([&] { return MutexExists() || !child.Running(); }, 15000) &&
           child.Running();
  }

  testutil::ScopedTempDir dir_;
  std::wstring exe_;
};

TEST_F(ProgramTest, LevelOneWritesTodaysFileWithMarkAndWelcomeLine) {
  WriteLogIni("[log]\r\nlevel=1\r\n");
  Program first;
  ASSERT_TRUE(StartAndWaitForMutex(first));
  const std::wstring welcome = L"MESSAGE: welcome to Korvan launcher developing ...\r\n";
  ASSERT_TRUE(testutil::PumpUntil(
      [&] { return testutil::ReadUtf16File(TodayLog()).find(welcome) != std::wstring::npos; },
      10000));
  const std::string bytes = testutil::ReadFileBytes(TodayLog());
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  // The welcome line is the file's first line.
  const std::wstring text = testutil::ReadUtf16File(TodayLog());
  const std::wstring first_line = text.substr(0, text.find(L"\r\n") + 2);
  EXPECT_EQ(first_line.front(), L'[');
  EXPECT_NE(first_line.find(L"][ALL]"), std::wstring::npos);
  EXPECT_EQ(first_line.size() - first_line.find(welcome), welcome.size());
}

// The start order the client manager's header sets down: the main window
// first, the launch report and the tray icon after it, from the loop.
TEST_F(ProgramTest, MainWindowIsShownBeforeTheLaunchReportAndTheTray) {
  WriteLogIni("[log]\r\nlevel=1\r\n");
  Program first;
  ASSERT_TRUE(StartAndWaitForMutex(first));
  const std::wstring window = L"korvan::ClientManager::Start 主窗口已显示";
  const std::wstring report = L"korvan::ClientManager::Start 上报启动并显示托盘";
  ASSERT_TRUE(testutil::PumpUntil(
      [&] { return testutil::ReadUtf16File(TodayLog()).find(report) != std::wstring::npos; }, 20000))
      << "no launch report";
  const std::wstring log = testutil::ReadUtf16File(TodayLog());
  const size_t welcome_at = log.find(L"welcome to Korvan launcher developing ...");
  const size_t window_at = log.find(window);
  ASSERT_NE(window_at, std::wstring::npos);
  EXPECT_LT(welcome_at, window_at);
  EXPECT_LT(window_at, log.find(report));
}

TEST_F(ProgramTest, WithoutLogIniNoLogFileAppears) {
  Program first;
  ASSERT_TRUE(StartAndWaitForMutex(first));
  testutil::PumpFor(500);
  EXPECT_TRUE(first.Running());
  EXPECT_FALSE(testutil::FileExists(TodayLog()));
}

TEST_F(ProgramTest, LaterStartsWakeTheFirstAndExitWithZeroWhateverTheirCommandLine) {
  WriteLogIni("[log]\r\nlevel=1\r\n");
  Program first;
  ASSERT_TRUE(StartAndWaitForMutex(first));
  Program second, third;
  ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(second.Start(exe_, L"--any /thing \"at all\""));
  ASSERT_TRUE(third.Start(exe_));
  DWORD code = second.WaitExit(10000);
  ULONGLONG took = GetTickCount64() - start;
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(third.WaitExit(10000), 0u);
  // Two seconds is the goal on a real machine; Wine under load is slower.
  EXPECT_LT(took, 5000u) << "second instance took " << took << " ms";
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(testutil::PumpUntil(
      [&] {
        return testutil::ReadUtf16File(TodayLog()).find(L"korvan::MainWndManager::Activate") !=
               std::wstring::npos;
      },
      5000));
  // The other copies wrote their welcome lines to the same day file.
  const std::wstring text = testutil::ReadUtf16File(TodayLog());
  size_t welcomes = 0;
  for (size_t at = 0; (at = text.find(L"welcome to Korvan", at)) != std::wstring::npos; ++at) ++welcomes;
  EXPECT_EQ(welcomes, 3u);
}

TEST_F(ProgramTest, HostileLogIniValuesStillStart) {
  const char* inis[] = {
      "[log]\r\nlevel=loud\r\nretain_days=-7\r\n",
      "[log]\r\nlevel=-3\r\nretain_days=99999999999999\r\n",
      "[log]\r\nlevel=99999999999999\r\nretain_days=2147483647\r\n",
      "\xFF\xFE\x00garbage\r\n[[[log\r\n=\r\n",
  };
  for (const char* ini : inis) {
    EndUnpackingTools();  // of the copy the last round killed
    WriteLogIni(ini);
    Program child;
    ASSERT_TRUE(StartAndWaitForMutex(child)) << ini;
    testutil::PumpFor(300);
    EXPECT_TRUE(child.Running()) << ini;
  }
}

TEST_F(ProgramTest, StartsWhenTheLogFileIsLockedByAnotherProcess) {
  WriteLogIni("[log]\r\nlevel=1\r\n");
  HANDLE locked = CreateFileW(TodayLog().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  Program child;
  EXPECT_TRUE(StartAndWaitForMutex(child));
  testutil::PumpFor(300);
  EXPECT_TRUE(child.Running());
  CloseHandle(locked);
}

TEST_F(ProgramTest, StaleCopyWithoutMutexIsEndedWithCode16) {
  // A process of the same image name that holds no mutex, as a copy hung
  // after a crash would be.
  testutil::ScopedTempDir other;
  const std::wstring stale_exe = other.Join(L"KVDownloader.exe");
  ASSERT_TRUE(CopyFileW((testutil::TestBinDir() + L"\\kv_test_child.exe").c_str(),
                        stale_exe.c_str(), FALSE));
  Program stale;
  ASSERT_TRUE(stale.Start(stale_exe, L"sleep 60000"));
  testutil::PumpFor(300);
  ASSERT_TRUE(stale.Running());
  Program fresh;
  ASSERT_TRUE(StartAndWaitForMutex(fresh));
  EXPECT_EQ(stale.WaitExit(10000), 16u);
  EXPECT_TRUE(fresh.Running());
}

}  // namespace

namespace {

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return temp;
}

TEST_F(ProgramTest, StartUnpacksToolAndEngineIntoTempAndDeletesTheArchives) {
  WriteLogIni("[log]\r\nlevel=1\r\n");
  const std::wstring temp = TempFolder();
  DeleteFileW((temp + L"7za.exe").c_str());
  Program first;
  ASSERT_TRUE(StartAndWaitForMutex(first));
  const std::wstring unpacked = L"MESSAGE: 解压downloader资源，cmdline:\"";
  ASSERT_TRUE(testutil::PumpUntil(
      [&] { return testutil::ReadUtf16File(TodayLog()).find(unpacked) != std::wstring::npos; },
      20000));
  const std::wstring log = testutil::ReadUtf16File(TodayLog());
  const size_t tool = log.find(L"korvan::ClientManager::Pimpl::Unzip7z");
  const size_t tool_ok = log.find(L"解压7z工具成功");
  const size_t engine = log.find(L"korvan::ClientManager::Pimpl::UnzipDownloader");
  const std::string shown(log.begin(), log.end());  // lossy, for the failure message
  ASSERT_NE(tool, std::wstring::npos) << shown;
  ASSERT_NE(tool_ok, std::wstring::npos) << shown;
  ASSERT_NE(engine, std::wstring::npos) << shown;
  EXPECT_LT(tool, tool_ok);
  EXPECT_LT(tool_ok, engine);
  EXPECT_EQ(log.find(L"释放模块组失败"), std::wstring::npos);
  // The archives go right after the tool has run (and logged).
  EXPECT_TRUE(testutil::PumpUntil(
      [&] { return !testutil::FileExists(temp + L"7za.zip") && !testutil::FileExists(temp + L"downloader.7z"); },
      5000));
  EXPECT_TRUE(testutil::FileExists(temp + L"7za.exe"));
  EXPECT_TRUE(testutil::FolderExists(temp + L"download"));
  EXPECT_FALSE(testutil::FileExists(temp + L"7za.zip"));
  EXPECT_FALSE(testutil::FileExists(temp + L"downloader.7z"));
  EXPECT_TRUE(first.Running());
}

}  // namespace
