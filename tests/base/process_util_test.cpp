// Process operations against real child processes (kv_test_child.exe copied
// under a name unique to the test, into two temporary folders). Every test
// ends whatever it started: the reaper terminates leftovers by image name
// before the folders are deleted.
#include "base/process_util.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "common/log_capture.h"
#include "common/test_util.h"

namespace {

using testutil::ScopedTempDir;

constexpr DWORD kLongSleepMs = 60000;
constexpr DWORD kEndWaitMs = 10000;

std::wstring UniqueImageName() {
  static LONG counter = 0;
  wchar_t name[64];
  swprintf(name, 64, L"kvproc_%lu_%ld.exe", GetCurrentProcessId(),
           InterlockedIncrement(&counter));
  return name;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
  return text;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Process ids by image name, read independently of the code under test.
std::vector<DWORD> PidsOfImage(const std::wstring& name) {
  std::vector<DWORD> ids;
  base::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, name.c_str()) == 0) ids.push_back(entry.th32ProcessID);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Terminates every process still running under the registered image names.
class ProcessReaper {
 public:
  ProcessReaper() = default;
  ProcessReaper(const ProcessReaper&) = delete;
  ProcessReaper& operator=(const ProcessReaper&) = delete;
  ~ProcessReaper() {
    for (const std::wstring& name : names_) {
      for (DWORD pid : PidsOfImage(name)) {
        base::ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (!process) continue;
        TerminateProcess(process.Get(), 999);
        // The folder holding the image is deleted next; it must be free.
        WaitForSingleObject(process.Get(), kEndWaitMs);
      }
    }
  }
  void Watch(const std::wstring& name) { names_.push_back(name); }

 private:
  std::vector<std::wstring> names_;
};

struct Child {
  base::ScopedHandle process;
  DWORD pid = 0;
};

// Started by the test itself, so the operations are checked against
// processes whose ids and handles the test knows.
Child StartChild(const std::wstring& exe, const std::wstring& args) {
  std::wstring line = Quoted(exe) + L" " + args;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  Child child;
  if (CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &info)) {
    CloseHandle(info.hThread);
    child.process.Reset(info.hProcess);
    child.pid = info.dwProcessId;
  }
  return child;
}

// The exit code once the process ended within `wait_ms`, else STILL_ACTIVE.
DWORD ExitCodeAfter(HANDLE process, DWORD wait_ms) {
  if (WaitForSingleObject(process, wait_ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return 0xDEADBEEF;
  return code;
}

bool IsRunning(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// Two folders holding the same child under one unique name.
class ProcessUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_a_.path().empty());
    ASSERT_FALSE(dir_b_.path().empty());
    ASSERT_NE(dir_a_.path(), dir_b_.path());
    name_ = UniqueImageName();
    path_a_ = CopyChild(dir_a_, name_);
    path_b_ = CopyChild(dir_b_, name_);
  }

  std::wstring CopyChild(const ScopedTempDir& dir, const std::wstring& name) {
    const std::wstring source = testutil::TestBinDir() + L"\\kv_test_child.exe";
    const std::wstring target = dir.Join(name);
    EXPECT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE))
        << "copy of " << testing::PrintToString(source) << " failed: " << GetLastError();
    reaper_.Watch(name);
    return target;
  }

  // Declared in this order so the reaper runs before the folders go.
  ScopedTempDir dir_a_;
  ScopedTempDir dir_b_;
  ScopedTempDir scratch_;
  ProcessReaper reaper_;
  std::wstring name_;
  std::wstring path_a_;
  std::wstring path_b_;
};

// ---------------------------------------------------------------- RunCommand

using ProcessRunCommandTest = ProcessUtilTest;

TEST_F(ProcessRunCommandTest, NoWait_ReturnsAsSoonAsProcessExists) {
  DWORD code = 12345;
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(base::RunCommand(Quoted(path_a_) + L" sleep 60000", SW_HIDE, 0, &code));
  EXPECT_LT(GetTickCount64() - start, kLongSleepMs / 2);
  EXPECT_EQ(1u, PidsOfImage(name_).size());
  // The exit code is read without waiting: the child is still running.
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
}

TEST_F(ProcessRunCommandTest, Wait_ReportsChildExitCode) {
  for (DWORD expected : {0u, 7u, 10001u}) {
    for (DWORD wait : {static_cast<DWORD>(INFINITE), kEndWaitMs}) {
      DWORD code = 0xFFFF;
      EXPECT_TRUE(base::RunCommand(Quoted(path_a_) + L" exit " + std::to_wstring(expected),
                                   SW_HIDE, wait, &code))
          << "exit " << expected << ", wait " << wait;
      EXPECT_EQ(expected, code) << "wait " << wait;
    }
  }
  EXPECT_TRUE(PidsOfImage(name_).empty());
}

TEST_F(ProcessRunCommandTest, Wait_WithoutExitCodePlaceStillWaits) {
  const std::wstring marker = scratch_.Join(L"done.txt");
  ASSERT_TRUE(base::RunCommand(Quoted(path_a_) + L" touch " + Quoted(marker), SW_SHOWNORMAL,
                               INFINITE));
  EXPECT_TRUE(testutil::FileExists(marker));
}

TEST_F(ProcessRunCommandTest, WaitThatTimesOut_ReturnsFalse) {
  DWORD code = 0;
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(base::RunCommand(Quoted(path_a_) + L" sleep 60000", SW_HIDE, 300, &code));
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 250u);
  EXPECT_LT(elapsed, kLongSleepMs / 2);
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
  EXPECT_EQ(1u, PidsOfImage(name_).size());
}

TEST_F(ProcessRunCommandTest, UnstartableCommand_ReturnsFalseAndLogsErrorCode) {
  testutil::ScopedLogCapture log(scratch_.Join(L"log.txt"));
  const std::wstring cmdline = Quoted(dir_a_.Join(L"missing.exe")) + L" exit 1";
  DWORD code = 4242;
  EXPECT_FALSE(base::RunCommand(cmdline, SW_HIDE, INFINITE, &code));
  EXPECT_EQ(4242u, code) << "no exit code without a process";

  const std::wstring text = log.Text();
  const std::wstring prefix = L"ERROR: CreateProcessEx fail error code:";
  const size_t at = text.find(prefix);
  ASSERT_NE(std::wstring::npos, at) << testing::PrintToString(text);
  wchar_t* end = nullptr;
  const unsigned long error = wcstoul(text.c_str() + at + prefix.size(), &end, 10);
  EXPECT_NE(0ul, error);
  EXPECT_EQ(0, std::wstring(end).compare(0, 9 + cmdline.size(), L" cmdline:" + cmdline))
      << testing::PrintToString(text);
}

// ------------------------------------------------- SyncCreateProcess / shell

using SyncCreateProcessTest = ProcessUtilTest;

TEST_F(SyncCreateProcessTest, StartsProgramDirectlyInGivenFolderAndWaits) {
  testutil::ScopedLogCapture log(scratch_.Join(L"log.txt"));
  // A relative path lands in the working folder the child was given.
  ASSERT_TRUE(base::SyncCreateProcess(path_a_, L"touch made.txt", true, dir_b_.path()));
  const std::wstring marker = dir_b_.Join(L"made.txt");
  ASSERT_TRUE(testutil::FileExists(marker)) << "not written before the call returned";
  EXPECT_NE(std::wstring::npos,
            testutil::ReadUtf16File(marker).find(Quoted(path_a_) + L" touch made.txt"));

  const std::wstring text = log.Text();
  EXPECT_NE(std::wstring::npos,
            text.find(L"MESSAGE: " + Quoted(path_a_) + L" touch made.txt"))
      << testing::PrintToString(text);
  EXPECT_EQ(std::wstring::npos, text.find(L"ERROR"));
}

TEST_F(SyncCreateProcessTest, EmptyWorkFolder_InheritsCurrentFolder) {
  wchar_t previous[MAX_PATH * 2];
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH * 2, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(scratch_.path().c_str()));
  const bool started = base::SyncCreateProcess(path_a_, L"touch here.txt", true, L"");
  SetCurrentDirectoryW(previous);
  ASSERT_TRUE(started);
  EXPECT_TRUE(testutil::FileExists(scratch_.Join(L"here.txt")));
}

TEST_F(SyncCreateProcessTest, NoWait_ReturnsWhileChildRuns) {
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(base::SyncCreateProcess(path_a_, L"sleep 60000", false, L""));
  EXPECT_LT(GetTickCount64() - start, kLongSleepMs / 2);
  EXPECT_EQ(1u, PidsOfImage(name_).size());
}

TEST_F(SyncCreateProcessTest, LongParameterText_IsCutNotOverrun) {
  // 3000 characters of parameters: the command line is cut to fit 2048, so
  // the child still starts (with a shortened last argument).
  const std::wstring marker = scratch_.Join(L"long.txt");
  const std::wstring params = L"touch " + Quoted(marker) + L" " + std::wstring(3000, L'x');
  ASSERT_TRUE(base::SyncCreateProcess(path_a_, params, true, L""));
  const std::wstring seen = testutil::ReadUtf16File(marker);
  EXPECT_EQ(2047u, seen.size()) << "the child sees the cut command line";
}

// Registers a document type for this test only: opening it runs the child,
// which records its command line in `marker`. Written through the merged
// classes root, the view Wine's shell reads (it ignores HKCU\Software\Classes).
class ScopedDocumentType {
 public:
  ScopedDocumentType(const std::wstring& extension, const std::wstring& exe,
                     const std::wstring& marker)
      : extension_(extension), prog_id_(L"KvProcTest" + extension) {
    const std::wstring command = Quoted(exe) + L" touch " + Quoted(marker) + L" \"%1\" %*";
    ok_ = SetDefault(extension_, prog_id_) &&
          SetDefault(prog_id_ + L"\\shell\\open\\command", command);
  }
  ~ScopedDocumentType() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, extension_.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, prog_id_.c_str());
  }
  ScopedDocumentType(const ScopedDocumentType&) = delete;
  ScopedDocumentType& operator=(const ScopedDocumentType&) = delete;
  bool ok() const { return ok_; }

 private:
  static bool SetDefault(const std::wstring& key_path, const std::wstring& value) {
    base::ScopedRegKey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS) {
      return false;
    }
    return RegSetValueExW(key.Get(), nullptr, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  }

  std::wstring extension_;
  std::wstring prog_id_;
  bool ok_ = false;
};

TEST_F(SyncCreateProcessTest, Document_FallsBackToShellAndWaits) {
  const std::wstring extension = L"." + name_.substr(0, name_.size() - 4);
  const std::wstring marker = scratch_.Join(L"opened.txt");
  ScopedDocumentType type(extension, path_b_, marker);
  ASSERT_TRUE(type.ok());
  const std::wstring document = dir_a_.Join(L"readme" + extension);
  ASSERT_TRUE(testutil::WriteFileBytes(document, "not a program"));

  testutil::ScopedLogCapture log(scratch_.Join(L"log.txt"));
  ASSERT_TRUE(base::SyncCreateProcess(document, L"extra-param", true, L""));
  ASSERT_TRUE(testutil::FileExists(marker)) << "the shell's child had not ended on return";
  const std::wstring seen = testutil::ReadUtf16File(marker);
  EXPECT_NE(std::wstring::npos, seen.find(L"readme" + extension)) << testing::PrintToString(seen);
  EXPECT_NE(std::wstring::npos, seen.find(L"extra-param")) << testing::PrintToString(seen);

  const std::wstring text = log.Text();
  EXPECT_NE(std::wstring::npos,
            text.find(L"ERROR: [SyncCreateProcess]调用CreateProcess返回错误 errorcode:"))
      << testing::PrintToString(text);
  EXPECT_EQ(std::wstring::npos, text.find(L"[SyncShellExcute]"));
}

TEST_F(SyncCreateProcessTest, NeitherWayWorks_ReturnsFalseAndLogsBoth) {
  testutil::ScopedLogCapture log(scratch_.Join(L"log.txt"));
  EXPECT_FALSE(base::SyncCreateProcess(dir_a_.Join(L"missing.exe"), L"", false, L""));
  const std::wstring text = log.Text();
  EXPECT_NE(std::wstring::npos,
            text.find(L"ERROR: [SyncCreateProcess]调用CreateProcess返回错误 errorcode:"))
      << testing::PrintToString(text);
  EXPECT_NE(std::wstring::npos,
            text.find(L"ERROR: [SyncShellExcute]调用ShellExecuteEx返回错误 errorcode"))
      << testing::PrintToString(text);
}

TEST_F(SyncCreateProcessTest, ShellExecute_StartsProgramAndWaits) {
  const std::wstring marker = scratch_.Join(L"shell.txt");
  ASSERT_TRUE(base::SyncShellExcute(L"touch " + Quoted(marker), path_a_, true));
  EXPECT_TRUE(testutil::FileExists(marker));
}

// ------------------------------------------------------- FindProcessesByName

using FindProcessesByNameTest = ProcessUtilTest;

TEST_F(FindProcessesByNameTest, FindsChildrenFromBothFoldersIgnoringCase) {
  Child a = StartChild(path_a_, L"sleep 60000");
  Child b = StartChild(path_b_, L"sleep 60000");
  ASSERT_TRUE(a.process && b.process);
  std::vector<DWORD> expected = {a.pid, b.pid};
  std::sort(expected.begin(), expected.end());

  for (const std::wstring& asked : {name_, Upper(name_)}) {
    std::vector<DWORD> found = base::FindProcessesByName(asked);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(expected, found) << testing::PrintToString(asked);
  }
}

TEST_F(FindProcessesByNameTest, UnknownOrEmptyName_FindsNothing) {
  Child a = StartChild(path_a_, L"sleep 60000");
  ASSERT_TRUE(a.process);
  EXPECT_TRUE(base::FindProcessesByName(UniqueImageName()).empty());
  EXPECT_TRUE(base::FindProcessesByName(L"").empty());
  // A full path is not an image name.
  EXPECT_TRUE(base::FindProcessesByName(path_a_).empty());
}

// ------------------------------------------------------ TerminateProcessById

using TerminateProcessByIdTest = ProcessUtilTest;

TEST_F(TerminateProcessByIdTest, EndsProcessWithExitCode16) {
  Child a = StartChild(path_a_, L"sleep 60000");
  Child b = StartChild(path_b_, L"sleep 60000");
  ASSERT_TRUE(a.process && b.process);
  EXPECT_TRUE(base::TerminateProcessById(a.pid));
  EXPECT_EQ(16u, ExitCodeAfter(a.process.Get(), kEndWaitMs));
  EXPECT_TRUE(IsRunning(b.process.Get())) << "only the given process ends";
}

TEST_F(TerminateProcessByIdTest, LeavesThreadWithoutImpersonation) {
  Child a = StartChild(path_a_, L"sleep 60000");
  ASSERT_TRUE(a.process);
  ASSERT_TRUE(base::TerminateProcessById(a.pid));
  base::ScopedHandle token;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_TOKEN), GetLastError());
}

TEST_F(TerminateProcessByIdTest, UnknownId_ReturnsFalse) {
  EXPECT_FALSE(base::TerminateProcessById(0x7FFFFFF0));
}

// -------------------------------------------------- TerminateProcessesByPath

using TerminateProcessesByPathTest = ProcessUtilTest;

TEST_F(TerminateProcessesByPathTest, EndsOnlyCopiesInThatFolder) {
  Child a1 = StartChild(path_a_, L"sleep 60000");
  Child a2 = StartChild(path_a_, L"sleep 60000");
  Child b = StartChild(path_b_, L"sleep 60000");
  ASSERT_TRUE(a1.process && a2.process && b.process);

  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), base::TerminateProcessesByPath(path_a_, 5000));
  // The wait covered both: they have ended by now, not merely been told to.
  EXPECT_EQ(10001u, ExitCodeAfter(a1.process.Get(), 0));
  EXPECT_EQ(10001u, ExitCodeAfter(a2.process.Get(), 0));
  EXPECT_TRUE(IsRunning(b.process.Get())) << "same file in another folder survives";
}

TEST_F(TerminateProcessesByPathTest, ForwardSlashesAndCase_StillMatch) {
  Child b = StartChild(path_b_, L"sleep 60000");
  ASSERT_TRUE(b.process);
  std::wstring path = Upper(path_b_);
  std::replace(path.begin(), path.end(), L'\\', L'/');
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), base::TerminateProcessesByPath(path, 5000));
  EXPECT_EQ(10001u, ExitCodeAfter(b.process.Get(), 0));
}

TEST_F(TerminateProcessesByPathTest, OtherFileInSameFolder_Survives) {
  const std::wstring other_name = UniqueImageName();
  const std::wstring other_path = CopyChild(dir_a_, other_name);
  Child mine = StartChild(path_a_, L"sleep 60000");
  Child other = StartChild(other_path, L"sleep 60000");
  ASSERT_TRUE(mine.process && other.process);

  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), base::TerminateProcessesByPath(path_a_, 5000));
  EXPECT_EQ(10001u, ExitCodeAfter(mine.process.Get(), 0));
  EXPECT_TRUE(IsRunning(other.process.Get()));
}

TEST_F(TerminateProcessesByPathTest, NothingMatches_ReturnsMinusOne) {
  Child a = StartChild(path_a_, L"sleep 60000");
  ASSERT_TRUE(a.process);
  // Same file name, but nothing runs from folder b.
  EXPECT_EQ(static_cast<DWORD>(-1), base::TerminateProcessesByPath(path_b_, 500));
  EXPECT_EQ(static_cast<DWORD>(-1),
            base::TerminateProcessesByPath(scratch_.Join(UniqueImageName()), 500));
  EXPECT_TRUE(IsRunning(a.process.Get()));
}

// -------------------------------------------------- CreateProcessNonElevated

// One of these tests changes the machine's consent-prompt policy, which
// decides the others' branch; a mutex shared by the test processes (ctest
// runs several at once) keeps them apart.
class CreateProcessNonElevatedTest : public ProcessUtilTest {
 protected:
  void SetUp() override {
    policy_lock_.Reset(CreateMutexW(nullptr, FALSE, L"KvProcessUtilTest.PromptPolicy"));
    ASSERT_TRUE(policy_lock_);
    const DWORD waited = WaitForSingleObject(policy_lock_.Get(), 60000);
    ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED);
    owns_lock_ = true;
    ProcessUtilTest::SetUp();
  }
  void TearDown() override {
    if (owns_lock_) ReleaseMutex(policy_lock_.Get());
  }

 private:
  base::ScopedHandle policy_lock_;
  bool owns_lock_ = false;
};

TEST_F(CreateProcessNonElevatedTest, RefusesInheritanceAndSecurityAttributes) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
  struct Case {
    const char* what;
    LPSECURITY_ATTRIBUTES process;
    LPSECURITY_ATTRIBUTES thread;
    BOOL inherit;
  };
  const Case cases[] = {
      {"process attributes", &attributes, nullptr, FALSE},
      {"thread attributes", nullptr, &attributes, FALSE},
      {"inherited handles", nullptr, nullptr, TRUE},
  };
  for (const Case& c : cases) {
    std::wstring line = Quoted(path_a_) + L" sleep 60000";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    EXPECT_FALSE(base::CreateProcessNonElevated(path_a_.c_str(), &line[0], c.process, c.thread,
                                                c.inherit, 0, nullptr, nullptr, &startup, &info))
        << c.what;
    EXPECT_EQ(nullptr, info.hProcess) << c.what;
    EXPECT_TRUE(PidsOfImage(name_).empty()) << c.what << ": a process was started";
  }
}

TEST_F(CreateProcessNonElevatedTest, StartsProcessWithGivenArguments) {
  std::wstring line = L"child touch rel.txt";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(base::CreateProcessNonElevated(path_a_.c_str(), &line[0], nullptr, nullptr, FALSE,
                                             CREATE_NO_WINDOW, nullptr, dir_b_.path().c_str(),
                                             &startup, &info));
  base::ScopedHandle process(info.hProcess);
  base::ScopedHandle thread(info.hThread);
  ASSERT_TRUE(process);
  EXPECT_TRUE(thread);
  EXPECT_NE(0u, info.dwProcessId);
  EXPECT_EQ(0u, ExitCodeAfter(process.Get(), kEndWaitMs));
  // Program, command line and folder all reached the child.
  const std::wstring marker = dir_b_.Join(L"rel.txt");
  ASSERT_TRUE(testutil::FileExists(marker));
  EXPECT_EQ(line, testutil::ReadUtf16File(marker));
}

TEST_F(CreateProcessNonElevatedTest, CallerOwnsHandlesOfRunningChild) {
  std::wstring line = Quoted(path_a_) + L" exit 23";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(base::CreateProcessNonElevated(nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                                             nullptr, nullptr, &startup, &info));
  base::ScopedHandle process(info.hProcess);
  base::ScopedHandle thread(info.hThread);
  EXPECT_EQ(23u, ExitCodeAfter(process.Get(), kEndWaitMs));
}

// Sets the consent-prompt policy values for one test and puts the previous
// ones back. kMissing deletes a value.
class ScopedPromptPolicy {
 public:
  static constexpr DWORD kMissing = 0xFFFFFFFF;

  ScopedPromptPolicy() {
    ok_ = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                          nullptr, key_.Receive(), nullptr) == ERROR_SUCCESS;
    for (int i = 0; ok_ && i < 3; ++i) saved_[i] = Read(kNames[i]);
  }
  ~ScopedPromptPolicy() {
    for (int i = 0; ok_ && i < 3; ++i) Write(kNames[i], saved_[i]);
  }
  ScopedPromptPolicy(const ScopedPromptPolicy&) = delete;
  ScopedPromptPolicy& operator=(const ScopedPromptPolicy&) = delete;

  bool ok() const { return ok_; }
  bool Set(DWORD enable_lua, DWORD consent_admin, DWORD secure_desktop) {
    const DWORD values[3] = {enable_lua, consent_admin, secure_desktop};
    bool all = ok_;
    for (int i = 0; all && i < 3; ++i) all = Write(kNames[i], values[i]);
    return all;
  }

 private:
  static constexpr const wchar_t* kKeyPath =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\system";
  static constexpr const wchar_t* kNames[3] = {L"EnableLUA", L"ConsentPromptBehaviorAdmin",
                                               L"PromptOnSecureDesktop"};

  DWORD Read(const wchar_t* name) const {
    DWORD value = 0, type = 0, size = sizeof(value);
    if (RegQueryValueExW(key_.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
      return kMissing;
    }
    return value;
  }
  bool Write(const wchar_t* name, DWORD value) {
    if (value == kMissing) {
      const LONG result = RegDeleteValueW(key_.Get(), name);
      return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExW(key_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
  }

  base::ScopedRegKey key_;
  DWORD saved_[3] = {kMissing, kMissing, kMissing};
  bool ok_ = false;
};

DWORD OwnIntegrityLevel() {
  base::ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return 0;
  BYTE buffer[256];
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenIntegrityLevel, buffer, sizeof(buffer), &size)) {
    return 0;
  }
  PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
  return *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
}

// Elevated with no desktop shell window (Wine's case): the shell's token is
// wanted exactly when consent prompts are in force, and without a shell the
// call must then give up so the caller falls back to its own plain start.
TEST_F(CreateProcessNonElevatedTest, ElevatedWithoutShell_GivesUpOnlyUnderConsentPrompts) {
  if (OwnIntegrityLevel() != 0x3000 ||
      FindWindowExW(GetDesktopWindow(), nullptr, L"Progman", L"Program Manager")) {
    GTEST_SKIP() << "needs an elevated program and no shell window, as under Wine";
  }
  constexpr DWORD kMissing = ScopedPromptPolicy::kMissing;
  struct Case {
    const char* what;
    DWORD enable_lua, consent_admin, secure_desktop;
    bool prompting;
  };
  const Case cases[] = {
      {"prompts on", 1, 2, 1, true},
      {"all values missing", kMissing, kMissing, kMissing, true},
      {"only the secure desktop", 1, 0, 1, true},
      {"only the consent behaviour", 1, 5, 0, true},
      {"LUA off", 0, 5, 1, false},
      {"consent and secure desktop off", 1, 0, 0, false},
      {"LUA missing, consent and secure desktop off", kMissing, 0, 0, false},
  };
  ScopedPromptPolicy policy;
  ASSERT_TRUE(policy.ok());
  for (const Case& c : cases) {
    ASSERT_TRUE(policy.Set(c.enable_lua, c.consent_admin, c.secure_desktop)) << c.what;
    std::wstring line = Quoted(path_a_) + L" exit 5";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const bool started = base::CreateProcessNonElevated(
        nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    base::ScopedHandle process(info.hProcess);
    base::ScopedHandle thread(info.hThread);
    EXPECT_EQ(!c.prompting, started) << c.what;
    EXPECT_EQ(started, static_cast<bool>(process)) << c.what;
    if (process) {
      EXPECT_EQ(5u, ExitCodeAfter(process.Get(), kEndWaitMs)) << c.what;
    }
  }
}

}  // namespace
