// Package extraction against real archives and the real 7za.exe: this
// program embeds the program's own "IDR_ZIP_7ZA" and "IDR_ZIP_DOWNLOADER"
// plus test-only and broken archives (resources.rc), and every test works in
// a temporary folder whose name holds blanks and Chinese characters.
#include "app/package_extraction.h"

#include <windows.h>

#include <psapi.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "base/process_util.h"
#include "base/scoped_handle.h"
#include "common/log_capture.h"
#include "common/test_util.h"

namespace {

using korvan::PackageResources;
using testutil::FileExists;
using testutil::FolderExists;
using testutil::ReadFileBytes;
using testutil::WriteFileBytes;

constexpr DWORD kTerminatedByPathExitCode = 10001;
constexpr auto kStepLimit = std::chrono::seconds(60);

PackageResources WithEngine(const std::wstring& engine) {
  PackageResources resources;
  resources.engine_7z = engine;
  return resources;
}

PackageResources WithTool(const std::wstring& tool) {
  PackageResources resources;
  resources.tool_zip = tool;
  return resources;
}

// The bytes of one of this program's resources, read without the code under
// test.
std::string ResourceBytes(const wchar_t* name) {
  HRSRC found = FindResourceW(nullptr, name, L"ZIP");
  if (!found) return std::string();
  const void* bytes = LockResource(LoadResource(nullptr, found));
  return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, found));
}

// For failure messages.
std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                        nullptr, nullptr);
  }
  return out;
}

// A zip archive of stored entries, written byte by byte, so that names the
// real tools refuse to write can be tried.
struct ZipEntry {
  std::string name;
  std::string data;
  bool utf8_name = false;
  bool bad_crc = false;
};

void Put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, unsigned long value) {
  Put16(out, value & 0xFFFF);
  Put16(out, (value >> 16) & 0xFFFF);
}

std::string BuildZip(const std::vector<ZipEntry>& entries) {
  std::string local, central;
  for (const ZipEntry& e : entries) {
    unsigned long crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()),
                              static_cast<uInt>(e.data.size()));
    if (e.bad_crc) crc ^= 1;
    const unsigned flag = e.utf8_name ? 0x800 : 0;
    const unsigned long offset = local.size();
    const unsigned long size = e.data.size();
    Put32(local, 0x04034b50);
    for (unsigned v : {10u, flag, 0u, 0u, 0x21u}) Put16(local, v);  // stored, 1980-01-01
    for (unsigned long v : {crc, size, size}) Put32(local, v);
    Put16(local, static_cast<unsigned>(e.name.size()));
    Put16(local, 0);
    local += e.name + e.data;

    Put32(central, 0x02014b50);
    for (unsigned v : {20u, 10u, flag, 0u, 0u, 0x21u}) Put16(central, v);
    for (unsigned long v : {crc, size, size}) Put32(central, v);
    for (unsigned v : {static_cast<unsigned>(e.name.size()), 0u, 0u, 0u, 0u}) Put16(central, v);
    Put32(central, 0);
    Put32(central, offset);
    central += e.name;
  }
  std::string end;
  Put32(end, 0x06054b50);
  for (unsigned v : {0u, 0u, static_cast<unsigned>(entries.size()),
                     static_cast<unsigned>(entries.size())}) {
    Put16(end, v);
  }
  Put32(end, central.size());
  Put32(end, local.size());
  Put16(end, 0);
  return local + central + end;
}

// A kv_test_child.exe started from a copy under another name; ended when
// the test is over.
class Child {
 public:
  Child(const std::wstring& exe, const std::wstring& args) {
    std::wstring line = L"\"" + exe + L"\" " + args;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
      CloseHandle(info.hThread);
      process_.Reset(info.hProcess);
      WaitUntilModuleKnown();
    }
  }
  ~Child() {
    if (IsRunning()) TerminateProcess(process_.Get(), 999);
    // The folder holding the image is deleted next; it must be free.
    if (process_) WaitForSingleObject(process_.Get(), 10000);
  }
  bool started() const { return process_.IsValid(); }
  bool IsRunning() const {
    return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
  }
  // The exit code once ended within `wait_ms`, else STILL_ACTIVE.
  DWORD ExitCodeAfter(DWORD wait_ms) const {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process_.Get(), wait_ms) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process_.Get(), &code);
    }
    return code;
  }

 private:
  // A process that has only just been created may not name its image yet,
  // and the code under test finds tools by that name.
  void WaitUntilModuleKnown() {
    wchar_t path[MAX_PATH * 2];
    for (int i = 0; i < 250; ++i) {
      if (GetModuleFileNameExW(process_.Get(), nullptr, path, MAX_PATH * 2) != 0) return;
      Sleep(20);
    }
  }

  base::ScopedHandle process_;
};

class PackageExtractionTest : public testing::Test {
 protected:
  void SetUp() override {
    log_ = std::make_unique<testutil::ScopedLogCapture>(root_.Join(L"log.txt"));
    ASSERT_TRUE(log_->ok());
    temp_ = root_.Join(L"Korvan 临时 文件夹");
    ASSERT_TRUE(CreateDirectoryW(temp_.c_str(), nullptr));
    temp_dir_ = temp_ + L"\\";  // the way the configuration hands it out
  }
  void TearDown() override { log_.reset(); }

  std::wstring In(const std::wstring& name) const { return temp_ + L"\\" + name; }
  std::wstring Log() const { return log_->Text(); }
  bool Logged(const std::wstring& text) const { return log_->Contains(text); }

  // Copies the test child to `path` and starts it sleeping for a minute.
  std::unique_ptr<Child> StartSleepingCopy(const std::wstring& path) {
    const std::wstring source = testutil::TestBinDir() + L"\\kv_test_child.exe";
    if (!CopyFileW(source.c_str(), path.c_str(), FALSE)) return nullptr;
    auto child = std::make_unique<Child>(path, L"sleep 60000");
    return child->started() ? std::move(child) : nullptr;
  }

  // UnzipDownloader on its own thread: a step that hangs fails the test and
  // has its tool ended instead of blocking the run.
  bool UnzipDownloaderWithinLimit(const PackageResources& resources) {
    std::future<bool> done = std::async(std::launch::async, [this, resources] {
      return korvan::UnzipDownloader(temp_dir_, resources);
    });
    if (done.wait_for(kStepLimit) != std::future_status::ready) {
      ADD_FAILURE() << "UnzipDownloader did not return in time";
      base::TerminateProcessesByPath(In(L"7za.exe"), INFINITE);
    }
    return done.get();
  }

  testutil::ScopedTempDir root_;
  std::wstring temp_;
  std::wstring temp_dir_;
  std::unique_ptr<testutil::ScopedLogCapture> log_;
};

TEST_F(PackageExtractionTest, ExtractResourceToFile_ReplacesTheFileWithExactlyTheResource) {
  const std::string expected = ResourceBytes(L"IDR_ZIP_7ZA");
  ASSERT_GT(expected.size(), 4u);
  EXPECT_EQ(expected.substr(0, 4), std::string("PK\x03\x04", 4));
  ASSERT_TRUE(WriteFileBytes(In(L"7za.zip"), std::string(expected.size() * 2, 'x')));

  EXPECT_TRUE(korvan::ExtractResourceToFile(L"IDR_ZIP_7ZA", L"ZIP", In(L"7za.zip")));
  EXPECT_EQ(ReadFileBytes(In(L"7za.zip")), expected);
}

TEST_F(PackageExtractionTest, ExtractResourceToFile_FailsForMissingResourceOrUnwritablePath) {
  EXPECT_FALSE(korvan::ExtractResourceToFile(L"KV_TEST_NO_SUCH", L"ZIP", In(L"none.zip")));
  EXPECT_FALSE(FileExists(In(L"none.zip")));
  EXPECT_FALSE(korvan::ExtractResourceToFile(L"IDR_ZIP_7ZA", L"ZIP", In(L"no folder\\7za.zip")));
  EXPECT_TRUE(Logged(L"korvan::ExtractResourceToFile"));
}

TEST_F(PackageExtractionTest, UnzipToFolder_CreatesTheFolderChainAndKeepsTheStructure) {
  const std::string binary("bin\0ary\xff", 8);
  const std::wstring zip = In(L"归档 1.zip");  // opened through the wide file functions
  ASSERT_TRUE(WriteFileBytes(zip, BuildZip({{"top.txt", "top"},
                                            {"sub/dir/nested.bin", binary},
                                            {"empty/", ""}})));
  const std::wstring target = In(L"out\\deeper\\");

  EXPECT_TRUE(korvan::UnzipToFolder(zip, target));
  EXPECT_EQ(ReadFileBytes(target + L"top.txt"), "top");
  EXPECT_EQ(ReadFileBytes(target + L"sub\\dir\\nested.bin"), binary);
  EXPECT_TRUE(FolderExists(target + L"empty"));
}

TEST_F(PackageExtractionTest, UnzipToFolder_DecodesUtf8AndCp437NamesAndOverwrites) {
  const std::wstring zip = In(L"names.zip");
  ASSERT_TRUE(WriteFileBytes(zip, BuildZip({{"\xE4\xB8\xAD\xE6\x96\x87.txt", "utf8", true},
                                            {"caf\x82.txt", "cp437"}})));
  ASSERT_TRUE(WriteFileBytes(In(L"中文.txt"), "an older and longer content"));

  EXPECT_TRUE(korvan::UnzipToFolder(zip, temp_));
  EXPECT_EQ(ReadFileBytes(In(L"中文.txt")), "utf8");
  EXPECT_EQ(ReadFileBytes(In(L"caf\u00e9.txt")), "cp437");
}

TEST_F(PackageExtractionTest, UnzipToFolder_RefusesEntriesThatLeaveTheTarget) {
  const std::string escaped = "kv_escaped_" + std::to_string(GetCurrentProcessId()) + ".txt";
  const std::wstring escaped_wide(escaped.begin(), escaped.end());
  const std::vector<std::string> names = {
      "../" + escaped,   "..\\" + escaped, "sub/../../" + escaped, "/" + escaped,
      "\\" + escaped,    "C:/" + escaped,  "C:" + escaped,         ".../" + escaped,
      ".. /" + escaped,  "NUL",            "con.txt",              "a/b:stream"};
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const std::wstring zip = In(L"slip" + std::to_wstring(i) + L".zip");
    const std::wstring target = In(L"t" + std::to_wstring(i) + L"\\inner\\");
    ASSERT_TRUE(WriteFileBytes(zip, BuildZip({{"first.txt", "1"}, {names[i], "evil"},
                                              {"after.txt", "2"}})));

    EXPECT_FALSE(korvan::UnzipToFolder(zip, target));
    EXPECT_TRUE(FileExists(target + L"first.txt"));
    EXPECT_FALSE(FileExists(target + L"after.txt"));  // the first refusal ends it
    EXPECT_FALSE(FileExists(In(L"t" + std::to_wstring(i) + L"\\") + escaped_wide));
    EXPECT_FALSE(FileExists(In(escaped_wide)));
    EXPECT_FALSE(FileExists(L"C:\\" + escaped_wide));
  }
  EXPECT_TRUE(Logged(L"korvan::UnzipToFolder"));
}

TEST_F(PackageExtractionTest, UnzipToFolder_CorruptEntryFailsAndLeavesNoPartialFile) {
  ASSERT_TRUE(WriteFileBytes(In(L"bad.zip"), BuildZip({{"data.txt", "payload", false, true}})));
  EXPECT_FALSE(korvan::UnzipToFolder(In(L"bad.zip"), In(L"out")));
  EXPECT_FALSE(FileExists(In(L"out\\data.txt")));
}

TEST_F(PackageExtractionTest, UnzipToFolder_NeedsAReadableZipButNotAnEntry) {
  EXPECT_FALSE(korvan::UnzipToFolder(In(L"missing.zip"), In(L"a")));
  ASSERT_TRUE(WriteFileBytes(In(L"text.zip"), "plain text"));
  EXPECT_FALSE(korvan::UnzipToFolder(In(L"text.zip"), In(L"b")));

  // minizip cannot find an end record at offset 0, so the empty archive
  // sits behind a stub, as in a self-extracting file.
  ASSERT_TRUE(WriteFileBytes(In(L"empty.zip"), "stub" + BuildZip({})));
  EXPECT_TRUE(korvan::UnzipToFolder(In(L"empty.zip"), In(L"c\\d"))) << Utf8(Log());
  EXPECT_TRUE(FolderExists(In(L"c\\d")));
}

TEST_F(PackageExtractionTest, PreparePackages_UnpacksToolAndEngineAndDeletesBothArchives) {
  EXPECT_TRUE(korvan::PreparePackages(temp_dir_));

  EXPECT_EQ(ReadFileBytes(In(L"7za.exe")).substr(0, 2), "MZ");
  EXPECT_TRUE(FolderExists(In(L"download")));  // the engine archive's own folder
  EXPECT_FALSE(FileExists(In(L"7za.zip")));
  EXPECT_FALSE(FileExists(In(L"downloader.7z")));
  const std::wstring log = Log();
  const std::wstring cmdline = L"\"" + temp_dir_ + L"\\7za.exe\" x \"" + temp_dir_ +
                               L"\\downloader.7z\" -o\"" + temp_dir_ + L"\" -aoa";
  const size_t unzip7z = log.find(L"MESSAGE: korvan::ClientManager::Pimpl::Unzip7z\r\n");
  const size_t tool_ok = log.find(L"MESSAGE: 解压7z工具成功\r\n");
  const size_t engine = log.find(L"MESSAGE: korvan::ClientManager::Pimpl::UnzipDownloader\r\n");
  const size_t ran = log.find(L"MESSAGE: 解压downloader资源，cmdline:" + cmdline + L"\r\n");
  ASSERT_NE(ran, std::wstring::npos) << Utf8(log);
  EXPECT_LT(unzip7z, tool_ok);
  EXPECT_LT(tool_ok, engine);
  EXPECT_LT(engine, ran);
  EXPECT_EQ(log.find(L"ERROR"), std::wstring::npos) << Utf8(log);
}

TEST_F(PackageExtractionTest, UnzipDownloader_KeepsNestedFoldersAndOverwritesOldFiles) {
  ASSERT_TRUE(WriteFileBytes(In(L"engine_marker.txt"), "left from an earlier run, longer"));
  std::string filler;
  for (int i = 1; i <= 2000; ++i) filler += "filler line " + std::to_string(i) + "\n";

  EXPECT_TRUE(korvan::PreparePackages(temp_dir_, WithEngine(L"KV_TEST_7Z_NESTED")));
  EXPECT_EQ(ReadFileBytes(In(L"engine_marker.txt")), "engine marker\n");
  EXPECT_EQ(ReadFileBytes(In(L"download\\id.dat")), "id 4711\n");
  EXPECT_EQ(ReadFileBytes(In(L"download\\data files\\level 1.dat")), filler);
  EXPECT_FALSE(FileExists(In(L"downloader.7z")));
}

TEST_F(PackageExtractionTest, ToolZipWithoutTheTool_Unzip7zSucceedsAndUnzipDownloaderReportsIt) {
  const PackageResources unrelated = WithTool(L"KV_TEST_ZIP_UNRELATED");
  EXPECT_TRUE(korvan::Unzip7z(temp_dir_, unrelated));
  EXPECT_EQ(ReadFileBytes(In(L"readme.txt")), "not the tool\n");
  EXPECT_FALSE(FileExists(In(L"7za.zip")));

  EXPECT_FALSE(korvan::UnzipDownloader(temp_dir_, unrelated));
  EXPECT_TRUE(Logged(L"ERROR: UnzipDownloader 7za.exe未找到,path:" + temp_dir_ + L"\\7za.exe\r\n"));
  EXPECT_FALSE(FileExists(In(L"downloader.7z")));
  EXPECT_FALSE(korvan::PreparePackages(temp_dir_, unrelated));
}

TEST_F(PackageExtractionTest, UnzipDownloader_BrokenArchiveFailsWithTheToolsExitCode) {
  ASSERT_TRUE(korvan::Unzip7z(temp_dir_));
  for (const wchar_t* broken : {L"KV_TEST_7Z_TRUNCATED", L"KV_TEST_7Z_CORRUPT",
                                L"KV_TEST_7Z_GARBAGE"}) {
    SCOPED_TRACE(std::string(broken, broken + wcslen(broken)));
    const size_t log_before = Log().size();

    EXPECT_FALSE(UnzipDownloaderWithinLimit(WithEngine(broken)));
    const std::wstring log = Log().substr(log_before);
    EXPECT_NE(log.find(L"ERROR: UnzipDownloader 7za.exe解压失败,exit code:"), std::wstring::npos);
    EXPECT_EQ(log.find(L"exit code:0 "), std::wstring::npos);
    EXPECT_FALSE(FileExists(In(L"downloader.7z")));
    EXPECT_TRUE(FileExists(In(L"7za.exe")));
  }
}

TEST_F(PackageExtractionTest, MissingResource_FailsItsStepWithoutWritingOrRunning) {
  EXPECT_FALSE(korvan::PreparePackages(temp_dir_, WithTool(L"KV_TEST_NO_SUCH")));
  EXPECT_FALSE(FileExists(In(L"7za.zip")));
  EXPECT_FALSE(FileExists(In(L"7za.exe")));
  EXPECT_FALSE(Logged(L"korvan::ClientManager::Pimpl::UnzipDownloader"));

  ASSERT_TRUE(korvan::Unzip7z(temp_dir_));
  EXPECT_FALSE(korvan::UnzipDownloader(temp_dir_, WithEngine(L"KV_TEST_NO_SUCH")));
  EXPECT_FALSE(FileExists(In(L"downloader.7z")));
  EXPECT_FALSE(Logged(L"cmdline:"));
}

TEST_F(PackageExtractionTest, UnzipDownloader_ToolThatCannotStartFailsAndDeletesTheArchive) {
  ASSERT_TRUE(WriteFileBytes(In(L"7za.exe"), "not a program"));
  EXPECT_FALSE(korvan::UnzipDownloader(temp_dir_));
  EXPECT_TRUE(Logged(L"ERROR: UnzipDownloader 7za.exe进程创建失败,path:" + temp_dir_ +
                     L"\\7za.exe\r\n"));
  EXPECT_FALSE(FileExists(In(L"downloader.7z")));
}

TEST_F(PackageExtractionTest, Unzip7z_EndsARunningOldToolBeforeReplacingIt) {
  std::unique_ptr<Child> old_tool = StartSleepingCopy(In(L"7za.exe"));
  ASSERT_TRUE(old_tool);
  const std::string old_bytes = ReadFileBytes(In(L"7za.exe"));

  EXPECT_TRUE(korvan::Unzip7z(temp_dir_));
  EXPECT_EQ(old_tool->ExitCodeAfter(5000), kTerminatedByPathExitCode);
  EXPECT_NE(ReadFileBytes(In(L"7za.exe")), old_bytes);
  EXPECT_TRUE(Logged(L"MESSAGE: 解压7z工具成功"));
}

TEST_F(PackageExtractionTest, PreparePackages_EndsTheOldToolOfThisFolderButNotACopyElsewhere) {
  ASSERT_TRUE(CreateDirectoryW(root_.Join(L"elsewhere").c_str(), nullptr));
  std::unique_ptr<Child> old_tool = StartSleepingCopy(In(L"7za.exe"));
  std::unique_ptr<Child> other_tool = StartSleepingCopy(root_.Join(L"elsewhere\\7za.exe"));
  ASSERT_TRUE(old_tool && other_tool);

  EXPECT_TRUE(korvan::PreparePackages(temp_dir_, WithEngine(L"KV_TEST_7Z_NESTED")));
  EXPECT_EQ(old_tool->ExitCodeAfter(5000), kTerminatedByPathExitCode);
  EXPECT_TRUE(other_tool->IsRunning());
  EXPECT_EQ(ReadFileBytes(In(L"engine_marker.txt")), "engine marker\n");
}

}  // namespace
