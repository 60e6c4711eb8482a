// The demo installer as the download manager starts it: no arguments, and
// (in automated runs) told to exit at once. Its marker counts the starts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/scoped_handle.h"
#include "common/test_util.h"

namespace {

// Starts `exe` with no arguments and NUL standard handles (under Wine a
// child would otherwise share ctest's pipe); returns the exit code.
DWORD RunToEnd(const std::wstring& exe) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  base::ScopedHandle null_device(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                             OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = null_device.Get();
  PROCESS_INFORMATION info = {};
  std::wstring cmd = L"\"" + exe + L"\"";
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &info))
    return static_cast<DWORD>(-1);
  base::ScopedHandle process(info.hProcess);
  base::ScopedHandle thread(info.hThread);
  if (WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 1);
    return STILL_ACTIVE;
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info.hProcess, &code);
  return code;
}

int CountLines(const std::string& text, const std::string& prefix) {
  int n = 0;
  for (size_t at = 0; (at = text.find(prefix, at)) != std::string::npos; at += prefix.size()) {
    if (at == 0 || text[at - 1] == '\n') ++n;
  }
  return n;
}

class DemoInstallerTest : public testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override { SetEnvironmentVariableW(L"KORVAN_DEMO_INSTALLER_EXIT", L"1"); }
  void TearDown() override { SetEnvironmentVariableW(L"KORVAN_DEMO_INSTALLER_EXIT", nullptr); }
  testutil::ScopedTempDir dir_;
};

// The plain build and the padded copy the demo server serves: padding after
// the last section must leave the program runnable.
TEST_P(DemoInstallerTest, EveryStartLeavesOneMarkerLineBesideTheProgram) {
  const std::wstring exe = dir_.Join(L"KorvanInstall.exe");
  ASSERT_TRUE(CopyFileW(GetParam(), exe.c_str(), FALSE)) << GetLastError();
  const std::wstring marker = dir_.Join(L"KorvanInstall.log");

  ASSERT_EQ(0u, RunToEnd(exe));
  EXPECT_EQ(1, CountLines(testutil::ReadFileBytes(marker), "started "));
  ASSERT_EQ(0u, RunToEnd(exe));
  const std::string text = testutil::ReadFileBytes(marker);
  EXPECT_EQ(2, CountLines(text, "started "));
  EXPECT_NE(std::string::npos, text.find("args=\r\n")) << "started without arguments: " << text;
}

INSTANTIATE_TEST_SUITE_P(Builds, DemoInstallerTest,
                         testing::Values(KV_DEMO_INSTALLER_PLAIN, KV_DEMO_INSTALLER_PADDED));

TEST(DemoInstallerMarker, AnUnwritableFolderMakesTheInstallerFail) {
  SetEnvironmentVariableW(L"KORVAN_DEMO_INSTALLER_EXIT", L"1");
  testutil::ScopedTempDir dir;
  const std::wstring exe = dir.Join(L"KorvanInstall.exe");
  ASSERT_TRUE(CopyFileW(KV_DEMO_INSTALLER_PLAIN, exe.c_str(), FALSE));
  // A folder where the marker file should be: the append cannot open it.
  ASSERT_TRUE(CreateDirectoryW(dir.Join(L"KorvanInstall.log").c_str(), nullptr));
  EXPECT_EQ(1u, RunToEnd(exe));
  SetEnvironmentVariableW(L"KORVAN_DEMO_INSTALLER_EXIT", nullptr);
}

}  // namespace
