// Path, folder, drive, resource, version and browser utilities, on real files
// and the real registry of the test prefix. Only the drive list of the
// install-drive choice is faked.
//
// The browser tests change registry values that every test program shares,
// so they hold a named mutex (ctest runs cases in parallel processes) and put
// everything back when they end.
#include "base/file_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "common/test_util.h"
#include "deployment_settings.h"
#include "kv_version.h"

namespace {

using testutil::ScopedTempDir;

struct TextCase {
  const wchar_t* in;
  const wchar_t* expected;
};

TEST(FileUtilPathTest, GetPathRootKeepsEverythingUpToTheFirstBackslash) {
  const TextCase cases[] = {{L"D:\\Games\\Korvan", L"D:\\"}, {L"\\\\server\\share", L"\\"},
                            {L"Korvan", L""}, {L"D:/Games", L""}, {L"", L""}};
  for (const TextCase& c : cases) EXPECT_EQ(base::GetPathRoot(c.in), c.expected) << c.in;
}

TEST(FileUtilPathTest, GetParentFolderDropsATrailingSeparatorThenTheLastComponent) {
  const TextCase cases[] = {{L"D:\\Games\\Korvan", L"D:\\Games"},
                            {L"D:\\Games\\Korvan\\", L"D:\\Games"},
                            {L"D:\\Games\\Korvan/", L"D:\\Games"},
                            {L"D:\\Games", L"D:"},
                            {L"Korvan", L""},
                            {L"", L""}};
  for (const TextCase& c : cases) EXPECT_EQ(base::GetParentFolder(c.in), c.expected) << c.in;
}

TEST(FileUtilPathTest, GetExeFolderIsTheProgramsFolderWithoutBackslash) {
  ASSERT_EQ(base::GetExeFolder(), testutil::TestBinDir());
  EXPECT_NE(base::GetExeFolder().back(), L'\\');
}

class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::wstring& folder) {
    wchar_t old[MAX_PATH * 2];
    old_.assign(old, GetCurrentDirectoryW(MAX_PATH * 2, old));
    SetCurrentDirectoryW(folder.c_str());
  }
  ~ScopedCurrentFolder() { SetCurrentDirectoryW(old_.c_str()); }

 private:
  std::wstring old_;
};

TEST(FileUtilFolderTest, CreateFolderTreeCreatesEveryMissingLevelButNotUnderAFile) {
  ScopedTempDir temp;
  EXPECT_TRUE(base::CreateFolderTree(temp.Join(L"a\\b/c\\d")));
  EXPECT_TRUE(testutil::FolderExists(temp.Join(L"a\\b\\c\\d")));
  EXPECT_TRUE(base::CreateFolderTree(temp.Join(L"a\\b")));  // exists already

  ASSERT_TRUE(testutil::WriteFileBytes(temp.Join(L"file"), "x"));
  EXPECT_FALSE(base::CreateFolderTree(temp.Join(L"file\\sub")));
}

// A tree with files on every level, built without the code under test.
std::wstring BuildTree(const ScopedTempDir& temp, const wchar_t* name) {
  const std::wstring top = temp.Join(name);
  for (const wchar_t* sub : {L"", L"\\one", L"\\one\\two", L"\\empty"}) {
    EXPECT_TRUE(CreateDirectoryW((top + sub).c_str(), nullptr));
  }
  for (const wchar_t* file : {L"\\top.txt", L"\\one\\mid.bin", L"\\one\\two\\deep"}) {
    EXPECT_TRUE(testutil::WriteFileBytes(top + file, "data"));
  }
  return top;
}

TEST(FileUtilFolderTest, RemoveFolderTreeDeletesANestedTree) {
  ScopedTempDir temp;
  const std::wstring plain = BuildTree(temp, L"plain");
  const std::wstring slashed = BuildTree(temp, L"slashed");
  EXPECT_TRUE(base::RemoveFolderTree(plain));
  EXPECT_TRUE(base::RemoveFolderTree(slashed + L"\\"));
  EXPECT_FALSE(testutil::FolderExists(plain));
  EXPECT_FALSE(testutil::FolderExists(slashed));
}

TEST(FileUtilFolderTest, RemoveFolderTreeKeepsAFolderHoldingAReadOnlyFile) {
  ScopedTempDir temp;
  const std::wstring top = BuildTree(temp, L"tree");
  const std::wstring locked = top + L"\\one\\two\\deep";
  ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_FALSE(base::RemoveFolderTree(top));
  EXPECT_TRUE(testutil::FileExists(locked));
  EXPECT_FALSE(testutil::FileExists(top + L"\\one\\mid.bin"));
  EXPECT_FALSE(testutil::FolderExists(top + L"\\empty"));
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileUtilFolderTest, RemoveFolderTreeLeavesAFileAlone) {
  ScopedTempDir temp;
  ASSERT_TRUE(testutil::WriteFileBytes(temp.Join(L"file.txt"), "keep"));
  EXPECT_FALSE(base::RemoveFolderTree(temp.Join(L"file.txt")));
  EXPECT_EQ(testutil::ReadFileBytes(temp.Join(L"file.txt")), "keep");
  EXPECT_FALSE(base::RemoveFolderTree(temp.Join(L"missing")));
}

TEST(FileUtilFolderTest, IsFolderWritableCreatesTheFolderAndLeavesNoProbe) {
  ScopedTempDir temp;
  EXPECT_TRUE(base::IsFolderWritable(temp.path()));
  EXPECT_FALSE(testutil::FileExists(temp.Join(L"SM_testdir.dat")));
  const std::wstring deep = temp.Join(L"x\\y\\z");
  EXPECT_TRUE(base::IsFolderWritable(deep));
  EXPECT_TRUE(testutil::FolderExists(deep));
  EXPECT_FALSE(testutil::FileExists(deep + L"\\SM_testdir.dat"));
}

TEST(FileUtilFolderTest, IsFolderWritableIsFalseForAFileAndUnderIt) {
  ScopedTempDir temp;
  ASSERT_TRUE(testutil::WriteFileBytes(temp.Join(L"file"), "x"));
  EXPECT_FALSE(base::IsFolderWritable(temp.Join(L"file")));
  EXPECT_FALSE(base::IsFolderWritable(temp.Join(L"file\\sub")));
  EXPECT_EQ(testutil::ReadFileBytes(temp.Join(L"file")), "x");
}

// The default install root "korvan" is relative; the disk check must pass it.
TEST(FileUtilFolderTest, IsFolderWritableTakesARelativePathFromTheCurrentFolder) {
  ScopedTempDir temp;
  ScopedCurrentFolder in(temp.path());
  EXPECT_TRUE(base::IsFolderWritable(L"korvan\\KorvanInstall"));
  EXPECT_TRUE(testutil::FolderExists(temp.Join(L"korvan\\KorvanInstall")));
}

struct FakeDrive {
  const wchar_t* root;
  uint64_t free_bytes;
  UINT type;
  bool external;
  bool free_known;
  bool writable;
};

FakeDrive Fixed(const wchar_t* root, uint64_t free_bytes) {
  return {root, free_bytes, DRIVE_FIXED, false, true, true};
}

class FakeDrives : public base::DriveInfo {
 public:
  FakeDrives(std::initializer_list<FakeDrive> drives) : drives_(drives) {}

  std::vector<std::wstring> ListRoots() const override {
    std::vector<std::wstring> roots;
    for (const FakeDrive& d : drives_) roots.push_back(d.root);
    return roots;
  }
  UINT DriveType(const std::wstring& root) const override { return Find(root).type; }
  bool IsExternal(const std::wstring& root) const override { return Find(root).external; }
  bool FreeBytesForCaller(const std::wstring& root, uint64_t* bytes) const override {
    *bytes = Find(root).free_bytes;
    return Find(root).free_known;
  }
  bool IsWritable(const std::wstring& root) const override {
    write_tested.push_back(root);
    return Find(root).writable;
  }

  mutable std::vector<std::wstring> write_tested;

 private:
  const FakeDrive& Find(const std::wstring& root) const {
    for (const FakeDrive& d : drives_) {
      if (root == d.root) return d;
    }
    ADD_FAILURE() << "asked about an unlisted drive";
    return drives_.front();
  }
  std::vector<FakeDrive> drives_;
};

TEST(FileUtilDriveTest, PickInstallDriveTakesMostFreeSpaceAndTheLaterOnATie) {
  EXPECT_EQ(base::PickInstallDrive(FakeDrives{Fixed(L"C:\\", 5000), Fixed(L"D:\\", 5000)}),
            L"D:\\");
  EXPECT_EQ(base::PickInstallDrive(
                FakeDrives{Fixed(L"C:\\", 100), Fixed(L"D:\\", 900), Fixed(L"E:\\", 300)}),
            L"D:\\");
}

TEST(FileUtilDriveTest, PickInstallDriveComparesAllSixtyFourBitsUnsigned) {
  EXPECT_EQ(base::PickInstallDrive(
                FakeDrives{Fixed(L"C:\\", 0x8000000000000005ull), Fixed(L"D:\\", 7)}),
            L"C:\\");
  EXPECT_EQ(base::PickInstallDrive(FakeDrives{Fixed(L"C:\\", 5), Fixed(L"D:\\", 0x100000001ull)}),
            L"D:\\");
}

TEST(FileUtilDriveTest, PickInstallDriveIsEmptyOnAUsbOnlyMachine) {
  EXPECT_EQ(base::PickInstallDrive(FakeDrives{{L"E:\\", 1ull << 40, DRIVE_FIXED, true, true, true}}),
            L"");
}

// Each ruled-out drive has far more space than C:, which wins anyway, and
// none of them gets the write test (it would leave a file there).
TEST(FileUtilDriveTest, PickInstallDriveSkipsExternalOtherTypeAndUnmeasurableDrives) {
  const uint64_t big = 1ull << 40;
  FakeDrives drives{Fixed(L"C:\\", 500),
                    {L"E:\\", big, DRIVE_FIXED, true, true, true},  // USB disk
                    {L"F:\\", big, DRIVE_REMOVABLE, false, true, true},
                    {L"G:\\", big, DRIVE_CDROM, false, true, true},
                    {L"H:\\", big, DRIVE_REMOTE, false, true, true},
                    {L"I:\\", big, DRIVE_RAMDISK, false, true, true},
                    {L"J:\\", big, DRIVE_FIXED, false, false, true},  // free space unknown
                    Fixed(L"K:\\", 100)};
  EXPECT_EQ(base::PickInstallDrive(drives), L"C:\\");
  EXPECT_EQ(drives.write_tested, std::vector<std::wstring>({L"C:\\"}));
}

TEST(FileUtilDriveTest, PickInstallDriveSkipsUnwritableDrivesButTakesAFullOne) {
  EXPECT_EQ(base::PickInstallDrive(
                FakeDrives{Fixed(L"C:\\", 0), {L"D:\\", 1ull << 40, DRIVE_FIXED, false, true, false}}),
            L"C:\\");
}

TEST(FileUtilDriveTest, PickInstallDriveOnThisMachineTakesAFixedInternalRoot) {
  const std::vector<std::wstring> roots = base::RealDrives().ListRoots();
  EXPECT_NE(std::find(roots.begin(), roots.end(), L"C:\\"), roots.end());
  EXPECT_FALSE(base::IsExternalDrive(L"C:\\"));
  const std::wstring root = base::PickInstallDrive();
  ASSERT_FALSE(root.empty());
  EXPECT_NE(std::find(roots.begin(), roots.end(), root), roots.end());
  EXPECT_EQ(GetDriveTypeW(root.c_str()), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_FALSE(testutil::FileExists(root + L"SM_testdir.dat"));
}

// scripts/test maps a drive whose root refuses new files and folders while
// its "korvan" folder takes them, as C:\ is for a standard user (or an
// administrator under UAC) once C:\korvan exists. The write test of a
// file in the root would rule it out; the drive qualifies through its
// "korvan" folder, and the test leaves nothing behind.
TEST(FileUtilDriveTest, DriveWhoseRootRefusesFilesQualifiesThroughItsKorvanFolder) {
  wchar_t drive[8] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"KV_TEST_FOLDER_ONLY_DRIVE", drive, 8), 0u)
      << "KV_TEST_FOLDER_ONLY_DRIVE not set: run the tests through scripts/test (as root)";
  const std::wstring root = drive;
  base::ScopedHandle in_root(CreateFileW((root + L"SM_testdir.dat").c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
  EXPECT_FALSE(in_root.IsValid()) << "the drive's root takes files: the mapping is not read-only";
  EXPECT_FALSE(base::CanInstallIn(root + L"other"));

  // The real drive's answers, with the drive list cut down to this drive.
  class ThisDriveOnly : public base::DriveInfo {
   public:
    explicit ThisDriveOnly(const std::wstring& root) : root_(root) {}
    std::vector<std::wstring> ListRoots() const override { return {root_}; }
    UINT DriveType(const std::wstring& r) const override { return base::RealDrives().DriveType(r); }
    bool IsExternal(const std::wstring& r) const override { return base::RealDrives().IsExternal(r); }
    bool FreeBytesForCaller(const std::wstring& r, uint64_t* bytes) const override {
      return base::RealDrives().FreeBytesForCaller(r, bytes);
    }
    bool IsWritable(const std::wstring& r) const override { return base::RealDrives().IsWritable(r); }

   private:
    std::wstring root_;
  };
  EXPECT_EQ(base::PickInstallDrive(ThisDriveOnly(root)), root);
  EXPECT_TRUE(testutil::FolderExists(root + L"korvan"));
  EXPECT_FALSE(testutil::FileExists(root + L"korvan\\SM_testdir.dat"));

  // Where the folder can be made, it is, and it goes again.
  ScopedTempDir temp;
  EXPECT_TRUE(base::CanInstallIn(temp.Join(L"korvan")));
  EXPECT_FALSE(testutil::FolderExists(temp.Join(L"korvan")));
}

std::wstring MainProgramPath() { return testutil::TestBinDir() + L"\\..\\..\\KVDownloader.exe"; }

TEST(FileUtilResourceTest, ExtractResourceOfAMissingResourceFailsAndWritesNothing) {
  ScopedTempDir temp;
  EXPECT_FALSE(base::ExtractResource(L"IDR_NOT_THERE", L"ZIP", temp.Join(L"out.zip")));
  EXPECT_FALSE(testutil::FileExists(temp.Join(L"out.zip")));
}

// The program's manifest (type 24, id 1) stands in for the carried archives.
class FileUtilProgramResourceTest : public testing::Test {
 protected:
  void SetUp() override {
    program_.Reset(LoadLibraryExW(MainProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program_.IsValid()) << "KVDownloader.exe is not beside the tests";
  }
  bool Extract(const std::wstring& target) {
    return base::ExtractResourceFrom(program_.Get(), L"#1", L"#24", target);
  }
  base::ScopedLibrary program_;
};

TEST_F(FileUtilProgramResourceTest, ExtractResourceReplacesTheTargetWithTheWholeResource) {
  ScopedTempDir temp;
  const std::wstring target = temp.Join(L"manifest.xml");
  ASSERT_TRUE(testutil::WriteFileBytes(target, std::string(200000, 'z')));
  ASSERT_TRUE(Extract(target));
  const std::string text = testutil::ReadFileBytes(target);
  EXPECT_EQ(text.find("<?xml"), 0u);
  EXPECT_NE(text.find("</assembly>"), std::string::npos);
  EXPECT_EQ(text.find("zzzz"), std::string::npos);
}

TEST_F(FileUtilProgramResourceTest, ExtractResourceFailsWhenTheTargetCannotBeOpened) {
  ScopedTempDir temp;
  EXPECT_FALSE(Extract(temp.Join(L"no\\such\\folder\\out.xml")));
  ASSERT_TRUE(CreateDirectoryW(temp.Join(L"taken").c_str(), nullptr));
  EXPECT_FALSE(Extract(temp.Join(L"taken")));
}

TEST(FileUtilVersionTest, GetFileVersionTextReadsTheFixedVersionOrGivesZeros) {
  EXPECT_EQ(base::GetFileVersionText(MainProgramPath()), L"" KV_VERSION_TEXT);
  ScopedTempDir temp;
  ASSERT_TRUE(testutil::WriteFileBytes(temp.Join(L"plain.txt"), "no version here"));
  EXPECT_EQ(base::GetFileVersionText(temp.Join(L"plain.txt")), L"0.0.0.0");
  EXPECT_EQ(base::GetFileVersionText(temp.Join(L"missing.exe")), L"0.0.0.0");
}

// One registry string value changed for the life of the object: the old
// value comes back, and a key that had to be created is deleted.
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(HKEY root, const std::wstring& subkey, const wchar_t* name)
      : root_(root), subkey_(subkey), name_(name) {
    for (size_t pos = 0; pos != std::wstring::npos;) {
      pos = subkey_.find(L'\\', pos + 1);
      base::ScopedRegKey key;
      if (RegOpenKeyExW(root_, subkey_.substr(0, pos).c_str(), 0, KEY_READ, key.Receive()) !=
          ERROR_SUCCESS) {
        created_ = subkey_.substr(0, pos);
        return;
      }
    }
    base::ScopedRegKey key;
    RegOpenKeyExW(root_, subkey_.c_str(), 0, KEY_READ, key.Receive());
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name_, nullptr, &old_type_, nullptr, &size) == ERROR_SUCCESS) {
      old_.resize(size);
      had_value_ = RegQueryValueExW(key.Get(), name_, nullptr, &old_type_, old_.data(), &size) ==
                   ERROR_SUCCESS;
    }
  }
  ~ScopedRegistryValue() {
    if (!created_.empty()) {
      RegDeleteTreeW(root_, created_.c_str());
      RegDeleteKeyW(root_, created_.c_str());
      return;
    }
    base::ScopedRegKey key;
    RegOpenKeyExW(root_, subkey_.c_str(), 0, KEY_SET_VALUE, key.Receive());
    if (had_value_) {
      RegSetValueExW(key.Get(), name_, 0, old_type_, old_.data(), static_cast<DWORD>(old_.size()));
    } else {
      RegDeleteValueW(key.Get(), name_);
    }
  }

  void Set(const std::wstring& text) {
    base::ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(root_, subkey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  void Remove() {
    base::ScopedRegKey key;
    if (RegOpenKeyExW(root_, subkey_.c_str(), 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS) {
      RegDeleteValueW(key.Get(), name_);
    }
  }

 private:
  HKEY root_;
  std::wstring subkey_;
  const wchar_t* name_;
  std::wstring created_;
  bool had_value_ = false;
  DWORD old_type_ = REG_SZ;
  std::vector<BYTE> old_;
};

constexpr wchar_t kAssociations[] =
    L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\";

// Holds the named mutex for the life of the fixture.
class RegistryLock {
 public:
  RegistryLock() : mutex_(CreateMutexW(nullptr, FALSE, L"KVDownloaderTests.BrowserRegistry")) {
    const DWORD wait = WaitForSingleObject(mutex_.Get(), 60000);
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    EXPECT_TRUE(owned_) << "registry lock: " << wait;
  }
  ~RegistryLock() {
    if (owned_) ReleaseMutex(mutex_.Get());
  }

 private:
  base::ScopedHandle mutex_;
  bool owned_ = false;
};

class FileUtilBrowserTest : public testing::Test {
 protected:
  // First member: the values below are saved after it is taken and restored
  // before it is released.
  RegistryLock lock_;
  ScopedRegistryValue http_{HKEY_CURRENT_USER, std::wstring(kAssociations) + L"http\\UserChoice",
                            L"Progid"};
  ScopedRegistryValue ftp_{HKEY_CURRENT_USER, std::wstring(kAssociations) + L"Ftp\\UserChoice",
                           L"Progid"};
  ScopedRegistryValue http_command_{HKEY_CLASSES_ROOT, L"KVTest.Http\\shell\\open\\command",
                                    nullptr};
  ScopedRegistryValue ftp_command_{HKEY_CLASSES_ROOT, L"KVTest.Ftp\\shell\\open\\command", nullptr};
  ScopedRegistryValue ie_{HKEY_LOCAL_MACHINE,
                          L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE",
                          nullptr};
};

TEST_F(FileUtilBrowserTest, TheUserChoiceOfTheWebAssociationIsTaken) {
  http_.Set(L"KVTest.Http");
  http_command_.Set(L"\"C:\\Fake Browser\\browser.exe\" --single-argument \"%1\"");
  ftp_.Remove();
  ie_.Set(L"C:\\Fake IE\\iexplore.exe");
  EXPECT_EQ(base::BrowserCommandLine(L"http://example.test/a?b=1"),
            L"\"C:\\Fake Browser\\browser.exe\" http://example.test/a?b=1");
}

TEST_F(FileUtilBrowserTest, TheFtpUserChoiceIsTakenWhenTheWebOneIsMissing) {
  http_.Remove();
  ftp_.Set(L"KVTest.Ftp");
  ftp_command_.Set(L"\"C:\\Ftp Browser\\ftp.exe\" -- \"%1\"");
  ie_.Set(L"C:\\Fake IE\\iexplore.exe");
  EXPECT_EQ(base::FindBrowserPath(), L"C:\\Ftp Browser\\ftp.exe");
}

TEST_F(FileUtilBrowserTest, AppPathsIeIsUsedWithoutAUsableUserChoice) {
  http_.Set(L"KVTest.Http");
  http_command_.Set(L"C:\\unquoted\\browser.exe %1");
  ftp_.Remove();
  ie_.Set(L"C:\\Fake IE\\iexplore.exe");
  EXPECT_EQ(base::BrowserCommandLine(L"http://example.test/"),
            L"\"C:\\Fake IE\\iexplore.exe\" http://example.test/");
  http_.Remove();
  EXPECT_EQ(base::FindBrowserPath(), L"C:\\Fake IE\\iexplore.exe");
}

TEST_F(FileUtilBrowserTest, WithNoBrowserTheNameIsEmptyAndNothingStarts) {
  http_.Remove();
  ftp_.Remove();
  ie_.Remove();
  EXPECT_EQ(base::BrowserCommandLine(L"http://example.test/"), L"\"\" http://example.test/");
  EXPECT_FALSE(base::OpenUrlInBrowser(L"http://example.test/"));
}

TEST_F(FileUtilBrowserTest, OpenUrlInBrowserStartsTheBrowserOnlyForWebAddresses) {
  http_.Set(L"KVTest.Http");
  // The helper ends at once on an argument it does not know.
  http_command_.Set(L"\"" + testutil::TestBinDir() + L"\\kv_test_child.exe\" \"%1\"");
  EXPECT_TRUE(base::OpenUrlInBrowser(L"http://example.test/"));
  EXPECT_FALSE(base::OpenUrlInBrowser(L"--renderer-cmd-prefix=calc"));
  EXPECT_FALSE(base::OpenUrlInBrowser(L"file:///C:/windows/system32/calc.exe"));

  http_command_.Set(L"\"" + testutil::TestBinDir() + L"\\no_such_browser.exe\" \"%1\"");
  EXPECT_FALSE(base::OpenUrlInBrowser(L"http://example.test/"));
}

TEST(FileUtilUrlTest, SanitizeUrlKeepsOnlyWebAddressesAsOneArgument) {
  const TextCase cases[] = {
      {L"http://example.test/a?b=1&c=2", L"http://example.test/a?b=1&c=2"},
      {L"HTTPS://Example.test/", L"HTTPS://Example.test/"},
      {L"http://x/\" --flag=\"1", L"http://x/%22%20--flag=%221"},
      {L"http://x/\tq\r\n", L"http://x/%09q%0D%0A"},
      {L"http://x/\x6E2F\x620F", L"http://x/\x6E2F\x620F"},
      {L"--renderer-cmd-prefix=calc", L""},
      {L"javascript:alert(1)", L""},
      {L"http:/x", L""},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(base::SanitizeUrlForCommandLine(c.in), c.expected) << testing::PrintToString(std::wstring(c.in));
  }
}

TEST(FileUtilUrlTest, LauncherLinkUrlPointsAtThePortalsLinkPage) {
  EXPECT_EQ(base::LauncherLinkUrl(8), std::wstring(L"http://") + korvan::settings::kPortalHost +
                                          L"/list/laucher_url.html?url=link8");
}

}  // namespace
