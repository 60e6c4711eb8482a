// DLL planting: a DLL named like a system DLL, left beside the program (a
// Downloads folder) or beside the engine it unpacks (the temporary folder),
// must never run, even with the load order of Windows (the DLL beside the
// program first: WINEDLLOVERRIDES=<name>=n,b). The planted DLL is a marker
// that creates "<its path>.ran" when it is loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_util.h"
#include "program/program_driver.h"

namespace {

using namespace programtest;

// Every DLL the program or the engine uses that is not a known DLL.
constexpr const wchar_t* kPlantedNames[] = {L"version", L"wininet", L"netapi32", L"urlmon",  L"gdiplus",
                                            L"iphlpapi", L"msimg32", L"comctl32", L"bcrypt"};

// Sets an environment variable of this process (and so of the program it
// starts) for the test's duration.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[2048] = {};
    const DWORD n = GetEnvironmentVariableW(name, old, 2048);
    had_ = n > 0 && n < 2048;
    if (had_) old_ = old;
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnv() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
  std::wstring old() const { return old_; }

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

std::vector<std::wstring> MarksIn(const std::wstring& folder) {
  std::vector<std::wstring> marks;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*.ran").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return marks;
  do marks.push_back(found.cFileName);
  while (FindNextFileW(find, &found));
  FindClose(find);
  return marks;
}

TEST(DllPlantingTest, DllsBesideTheProgramOrItsEngineNeverRunAndTheProgramStillWorks) {
  EndUnpackingTools();
  testutil::ScopedTempDir app, temp;
  const std::wstring exe = app.Join(L"KVDownloader.exe");
  ASSERT_TRUE(CopyFileW((testutil::TestBinDir() + L"\\..\\..\\KVDownloader.exe").c_str(), exe.c_str(), FALSE));
  ASSERT_TRUE(testutil::WriteFileBytes(app.Join(L"log.ini"), "[log]\r\nlevel=1\r\n"));
  const std::wstring marker = testutil::TestBinDir() + L"\\kv_planted_marker.dll";
  std::wstring overrides;
  for (const wchar_t* name : kPlantedNames) {
    for (const testutil::ScopedTempDir* folder : {&app, &temp}) {
      ASSERT_TRUE(CopyFileW(marker.c_str(), folder->Join(std::wstring(name) + L".dll").c_str(), FALSE))
          << "kv_planted_marker.dll not built";
    }
    overrides += std::wstring(name) + L"=n,b;";
  }
  // The marker runs wherever it is loaded: the test's check of the check.
  {
    const std::wstring probe = temp.Join(L"probe.dll");
    ASSERT_TRUE(CopyFileW(marker.c_str(), probe.c_str(), FALSE));
    HMODULE loaded = LoadLibraryW(probe.c_str());
    ASSERT_NE(loaded, nullptr);
    FreeLibrary(loaded);
    ASSERT_TRUE(DeleteFileW((probe + L".ran").c_str())) << "the marker DLL leaves no mark";
  }

  ScopedEnv temp_env(L"TEMP", temp.path());
  ScopedEnv tmp_env(L"TMP", temp.path());
  ScopedEnv dll_env(L"WINEDLLOVERRIDES", L"");
  SetEnvironmentVariableW(L"WINEDLLOVERRIDES", (overrides + dll_env.old()).c_str());
  Program p;
  ASSERT_TRUE(p.Start(exe));
  HWND main = nullptr;
  ASSERT_TRUE(testutil::PumpUntil([&] { return (main = MainWindowOf(p.pid())) && IsWindowVisible(main); }, 30000))
      << "no main window";
  // It unpacks its engine into the planted temporary folder and loads it;
  // the launch report (WinINet, NetBIOS, the adapters) is on its way.
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, p.pid());
  ASSERT_NE(process, nullptr);
  EXPECT_TRUE(testutil::PumpUntil([&] { return EngineLoaded(process); }, 30000)) << "the engine was not loaded";
  CloseHandle(process);
  EXPECT_TRUE(testutil::FileExists(temp.Join(L"FetchCore.dll")));
  testutil::PumpFor(3000);
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(MarksIn(app.path()), std::vector<std::wstring>{}) << "a DLL beside the program ran";
  EXPECT_EQ(MarksIn(temp.path()), std::vector<std::wstring>{}) << "a DLL beside the engine ran";
}

}  // namespace
