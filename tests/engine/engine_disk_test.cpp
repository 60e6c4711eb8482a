// The save folder misbehaves: the disk fills up, the folder disappears in
// mid-transfer. The engine must fail with a code the manager acts on, keep
// what it can resume, never crash or hang, and finish once things are put
// right.
//
// The full disk is an 8 MiB tmpfs that scripts/test mounts and maps to a
// drive letter (KV_TEST_SMALL_DRIVE); without it the test skips.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/scoped_handle.h"
#include "engine/engine_harness.h"
#include "scripted_server.h"

namespace enginetest {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

std::wstring EnvText(const wchar_t* name) {
  wchar_t value[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

// The host path of a Windows path, through Wine's own export; empty when
// not running under Wine.
std::string HostPath(const std::wstring& path) {
  using ToHost = char*(CDECL*)(const wchar_t*);
  auto to_host = reinterpret_cast<ToHost>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!to_host) return std::string();
  char* host = to_host(path.c_str());
  if (!host) return std::string();
  std::string out(host);
  HeapFree(GetProcessHeap(), 0, host);
  return out;
}

// Starts `script` with the host's shell; false when it could not be
// started. Wine gives no waitable handle for a host process: the caller
// watches for the script's effect instead. A folder holding an open file
// cannot be removed through the Windows API, but a user or another program
// on the host can remove it all the same.
bool StartHostShell(const std::string& script) {
  std::wstring command = L"/bin/sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
  base::ScopedHandle null_device(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = null_device.Get();
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(L"Z:\\bin\\sh", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

// Removes the files of one folder on the small drive (and the folder).
class DriveFolder {
 public:
  explicit DriveFolder(std::wstring path) : path_(std::move(path)) { CreateDirectoryW(path_.c_str(), nullptr); }
  ~DriveFolder() {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
      } while (FindNextFileW(find, &found));
      FindClose(find);
    }
    RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// Writes `path` until the drive refuses more; the bytes written.
uint64_t FillDrive(const std::wstring& path) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return 0;
  const std::string piece(64 * 1024, 'f');
  uint64_t total = 0;
  DWORD written = 0;
  while (WriteFile(file.Get(), piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) &&
         written == piece.size()) {
    total += written;
  }
  FlushFileBuffers(file.Get());
  return total;
}

class EngineDiskTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded"; }
  TaskSandbox sandbox_;
  EngineLibrary library_;
};

TEST_F(EngineDiskTest, FullDiskFailsKeepsAResumableRecordAndFinishesOnceThereIsRoom) {
  const std::wstring drive = EnvText(L"KV_TEST_SMALL_DRIVE");
  if (drive.empty()) {
    GTEST_SKIP() << "KV_TEST_SMALL_DRIVE is not set: scripts/test could not mount its 8 MiB tmpfs drive "
                    "(it needs root); the full-disk case was not tested";
  }
  DriveFolder folder(drive + L"kv_disk_" + std::to_wstring(GetCurrentProcessId()));
  const std::wstring filler = drive + L"kv_filler_" + std::to_wstring(GetCurrentProcessId()) + L".bin";
  struct RemoveFiller {
    std::wstring path;
    ~RemoveFiller() { DeleteFileW(path.c_str()); }
  } remove_filler{filler};

  // A file larger than the whole drive is refused at the start.
  {
    const std::string big = RandomBytes(12 * kMiB, 51);
    ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, big); });
    ASSERT_TRUE(server.Start());
    sandbox_.WriteTask({server.Url(L"/big")}, big.size(), Sha256Hex(big));
    EngineRef engine(library_);
    EXPECT_EQ(engine.Start(folder.path()), fetch::kDiskError);
    EXPECT_FALSE(testutil::FileExists(folder.path() + L"\\KorvanInstall.exe"));
    EXPECT_FALSE(testutil::FileExists(folder.path() + L"\\KorvanInstall.exe.kvpart"));
  }

  // A file that fits, until something else takes the space meanwhile.
  const std::string body = RandomBytes(6 * kMiB, 52);
  ServeOptions paced;
  paced.bytes_per_second = kMiB;
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body, paced); });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), "connections=1\n");
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(folder.path()), fetch::kOk);
  ASSERT_TRUE(engine.WaitForReceived(2 * kMiB, 60000));
  Sleep(1000);  // a checkpoint records the first chunks
  EXPECT_GT(FillDrive(filler), 0u);
  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kTransferFailed);
  EXPECT_EQ(result->completed, 0u);
  EXPECT_FALSE(testutil::FileExists(folder.path() + L"\\KorvanInstall.exe"));

  // What was recorded before the disk filled is still there to resume.
  {
    EngineRef other(library_);
    ASSERT_EQ(other.QueryEarlier(result.get()), fetch::kOk);
    EXPECT_EQ(std::wstring(result->path), folder.path());
    EXPECT_GE(result->received, static_cast<int64_t>(2 * kMiB));
  }
  const int64_t recorded = result->received;

  // Room again: the retry resumes instead of starting over.
  ASSERT_TRUE(DeleteFileW(filler.c_str()));
  const uint64_t sent_before = server.BodyBytesSent();
  ASSERT_EQ(engine.Start(folder.path()), fetch::kOk);
  ASSERT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(testutil::ReadFileBytes(folder.path() + L"\\KorvanInstall.exe") == body);
  EXPECT_LE(server.BodyBytesSent() - sent_before, body.size() - static_cast<uint64_t>(recorded) + kMiB);
}

TEST_F(EngineDiskTest, SaveFolderDeletedInMidTransferFailsAndARetryStartsOver) {
  const std::string body = RandomBytes(16 * kMiB, 53);
  ServeOptions paced;
  paced.bytes_per_second = 2 * kMiB;
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body, paced); });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), "connections=2\n");
  const std::string host_folder = HostPath(sandbox_.save_folder());
  ASSERT_FALSE(host_folder.empty()) << "no host path for " << std::string(sandbox_.save_folder().begin(),
                                                                          sandbox_.save_folder().end());
  ASSERT_EQ(host_folder.find('\''), std::string::npos);

  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  ASSERT_TRUE(engine.WaitForReceived(3 * kMiB, 60000));
  if (!StartHostShell("rm -rf '" + host_folder + "'")) {
    GTEST_SKIP() << "the host shell could not be started from the test (error " << GetLastError() << ")";
  }
  const ULONGLONG deadline = GetTickCount64() + 30000;
  while (testutil::FolderExists(sandbox_.save_folder()) && GetTickCount64() < deadline) Sleep(20);
  ASSERT_FALSE(testutil::FolderExists(sandbox_.save_folder())) << "the host shell did not remove the folder";

  auto result = std::make_unique<fetch::Result>();
  EXPECT_EQ(engine.WaitForEnd(60000, result.get()), fetch::kTransferFailed);
  EXPECT_EQ(result->completed, 0u);
  EXPECT_FALSE(testutil::FolderExists(sandbox_.save_folder()));  // nothing written to a lost path

  // The manager creates the folder again before its retry.
  ASSERT_TRUE(CreateDirectoryW(sandbox_.save_folder().c_str(), nullptr));
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
}

}  // namespace
}  // namespace enginetest
