#include "base/process_util.h"

#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>

#include "base/scoped_handle.h"
#include "log/log.h"

namespace base {
namespace {

constexpr DWORD kIntegrityMedium = 0x2000;  // SECURITY_MANDATORY_MEDIUM_RID
constexpr DWORD kIntegrityHigh = 0x3000;    // SECURITY_MANDATORY_HIGH_RID
constexpr UINT kTerminatedByIdExitCode = 16;
constexpr UINT kTerminatedByPathExitCode = 10001;
constexpr size_t kSyncCommandLineChars = 2048;

// Enables one privilege on a token for the object's lifetime and puts the
// previous state back afterwards. Does nothing when the token lacks it.
class ScopedPrivilege {
 public:
  ScopedPrivilege(HANDLE token, const wchar_t* name) : token_(token) {
    TOKEN_PRIVILEGES wanted = {};
    if (!LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) return;
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD size = sizeof(previous_);
    // AdjustTokenPrivileges succeeds with ERROR_NOT_ALL_ASSIGNED when the
    // token does not hold the privilege; then there is nothing to restore.
    if (AdjustTokenPrivileges(token_, FALSE, &wanted, sizeof(previous_), &previous_, &size) &&
        GetLastError() == ERROR_SUCCESS) {
      adjusted_ = true;
    }
  }
  ~ScopedPrivilege() {
    if (adjusted_) AdjustTokenPrivileges(token_, FALSE, &previous_, 0, nullptr, nullptr);
  }
  ScopedPrivilege(const ScopedPrivilege&) = delete;
  ScopedPrivilege& operator=(const ScopedPrivilege&) = delete;

 private:
  HANDLE token_;
  TOKEN_PRIVILEGES previous_ = {};
  bool adjusted_ = false;
};

// Enables a privilege and leaves it enabled, for the process's own token.
void EnablePrivilege(HANDLE token, const wchar_t* name) {
  TOKEN_PRIVILEGES wanted = {};
  if (!LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid)) return;
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr);
}

// The privileges for starting a process with a token of another logon stay
// enabled on our own token from the first such start on.
void EnableTokenStartPrivileges() {
  ScopedHandle own;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                        own.Receive())) {
    return;
  }
  EnablePrivilege(own.Get(), SE_ASSIGNPRIMARYTOKEN_NAME);
  EnablePrivilege(own.Get(), SE_INCREASE_QUOTA_NAME);
}

// Ends the thread's self-impersonation when it was started here, so a caller
// does not keep running on a copy of the process token.
class ScopedSelfImpersonation {
 public:
  ScopedSelfImpersonation() = default;
  ~ScopedSelfImpersonation() {
    if (active_) RevertToSelf();
  }
  ScopedSelfImpersonation(const ScopedSelfImpersonation&) = delete;
  ScopedSelfImpersonation& operator=(const ScopedSelfImpersonation&) = delete;

  bool Start() {
    active_ = ImpersonateSelf(SecurityImpersonation) != FALSE;
    return active_;
  }

 private:
  bool active_ = false;
};

// The first sub-authority of the token's integrity label; medium when the
// label cannot be read (no such thing before Vista).
DWORD IntegrityLevelOf(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  if (size < sizeof(TOKEN_MANDATORY_LABEL)) return kIntegrityMedium;
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) {
    return kIntegrityMedium;
  }
  PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
  if (!sid || !IsValidSid(sid) || *GetSidSubAuthorityCount(sid) == 0) return kIntegrityMedium;
  return *GetSidSubAuthority(sid, 0);
}

// A missing value counts as 1, so an unreadable policy means "prompting".
DWORD ReadPolicyValue(HKEY key, const wchar_t* name) {
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof(value);
  if (!key ||
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return 1;
  }
  return value;
}

// Whether elevation asks the user for consent on this machine and account.
bool ConsentPromptsInForce() {
  ScopedRegKey key;
  RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\system", 0, KEY_READ,
                key.Receive());
  const DWORD enable_lua = ReadPolicyValue(key.Get(), L"EnableLUA");
  const DWORD consent_admin = ReadPolicyValue(key.Get(), L"ConsentPromptBehaviorAdmin");
  const DWORD secure_desktop = ReadPolicyValue(key.Get(), L"PromptOnSecureDesktop");
  if (enable_lua == 0) return false;
  if (consent_admin == 0 && secure_desktop == 0) return false;

  // The built-in administrator account is never prompted. Its profile is
  // recognised by the local application data folder past the drive ("C:\").
  wchar_t local_app_data[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                 local_app_data)) &&
      wcslen(local_app_data) > 3 &&
      _wcsicmp(local_app_data + 3, L"Users\\Administrator\\AppData\\Local") == 0) {
    return false;
  }
  return true;
}

// A primary token copied from the process that owns the desktop shell's
// window; invalid when there is no shell or its token is out of reach.
ScopedHandle ShellPrimaryToken() {
  HWND shell = FindWindowExW(GetDesktopWindow(), nullptr, L"Progman", L"Program Manager");
  if (!shell) return ScopedHandle();
  DWORD pid = 0;
  GetWindowThreadProcessId(shell, &pid);
  if (!pid) return ScopedHandle();
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return ScopedHandle();
  ScopedHandle token;
  if (!OpenProcessToken(process.Get(), TOKEN_DUPLICATE, token.Receive())) return ScopedHandle();
  ScopedHandle primary;
  if (!DuplicateTokenEx(token.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                        TokenPrimary, primary.Receive())) {
    return ScopedHandle();
  }
  return primary;
}

// Whether the shell's token is one worth starting with: a medium-integrity
// shell, or (when it cannot be had) a machine that prompts for consent.
bool ShellTokenUsable(HANDLE shell_token) {
  if (!shell_token) return ConsentPromptsInForce();
  return IntegrityLevelOf(shell_token) == kIntegrityMedium;
}

// Whether this program runs elevated (high integrity).
bool RunningElevated() {
  ScopedHandle own;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, own.Receive())) {
    return !ConsentPromptsInForce();
  }
  return IntegrityLevelOf(own.Get()) == kIntegrityHigh;
}

DWORD MajorVersion() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  // Without a compatibility manifest newer systems report 6.2, which still
  // answers "Vista or later" correctly.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&info)) return 0;
#pragma GCC diagnostic pop
  return info.dwMajorVersion;
}

std::wstring FileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// "folder\*" for the folder of `path`, backslashes only.
std::wstring FolderPattern(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  std::wstring pattern = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
  if (pattern.empty() || (pattern.back() != L'\\' && pattern.back() != L'/')) pattern += L'\\';
  pattern += L'*';
  std::replace(pattern.begin(), pattern.end(), L'/', L'\\');
  return pattern;
}

std::vector<DWORD> AllProcessIds() {
  std::vector<DWORD> ids(1024);
  for (;;) {
    DWORD bytes = 0;
    const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    if (!EnumProcesses(ids.data(), capacity, &bytes)) return {};
    // A full buffer may mean more processes than it holds.
    if (bytes < capacity) {
      ids.resize(bytes / sizeof(DWORD));
      return ids;
    }
    ids.resize(ids.size() * 2);
  }
}

// The executable of `process`, empty when it cannot be read.
std::wstring MainModulePath(HANDLE process) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameExW(process, nullptr, buffer.data(),
                                         static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size() - 1 || buffer.size() >= 32768) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 4);  // may have been cut
  }
}

// Waits until all `handles` are signalled or `wait_ms` passes, in groups of
// MAXIMUM_WAIT_OBJECTS, which is all one wait call accepts.
DWORD WaitForAll(const std::vector<HANDLE>& handles, DWORD wait_ms) {
  const ULONGLONG start = GetTickCount64();
  for (size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
    DWORD remaining = wait_ms;
    if (wait_ms != INFINITE) {
      const ULONGLONG spent = GetTickCount64() - start;
      remaining = spent >= wait_ms ? 0 : static_cast<DWORD>(wait_ms - spent);
    }
    const DWORD count =
        static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - first));
    const DWORD result = WaitForMultipleObjects(count, &handles[first], TRUE, remaining);
    if (result == WAIT_TIMEOUT || result == WAIT_FAILED) return result;
  }
  return WAIT_OBJECT_0;
}

}  // namespace

bool RunCommand(const std::wstring& cmdline, WORD show, DWORD wait_ms, DWORD* exit_code) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
  startup.wShowWindow = show;
  // CreateProcessW may write into the command line, so it gets its own copy.
  std::vector<wchar_t> line(cmdline.begin(), cmdline.end());
  line.push_back(L'\0');
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info)) {
    const DWORD error = GetLastError();
    KV_LOG_ERROR << "CreateProcessEx fail error code:" << error << " cmdline:" << cmdline;
    SetLastError(error);  // callers report it too
    return false;
  }
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  DWORD wait_result = WAIT_OBJECT_0;
  if (wait_ms != 0) wait_result = WaitForSingleObject(process.Get(), wait_ms);
  if (exit_code && !GetExitCodeProcess(process.Get(), exit_code)) *exit_code = 1;
  return wait_result != WAIT_TIMEOUT;
}

bool SyncCreateProcess(const std::wstring& path, const std::wstring& params, bool wait,
                       const std::wstring& work_dir) {
  std::wstring command = L"\"" + path + L"\" " + params;
  if (command.size() >= kSyncCommandLineChars) command.resize(kSyncCommandLineChars - 1);
  KV_LOG_MESSAGE << command;

  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     work_dir.empty() ? nullptr : work_dir.c_str(), &startup, &info)) {
    ScopedHandle process(info.hProcess);
    ScopedHandle thread(info.hThread);
    if (wait) WaitForSingleObject(process.Get(), INFINITE);
    return true;
  }
  const DWORD error = GetLastError();
  KV_LOG_ERROR << "[SyncCreateProcess]调用CreateProcess返回错误 errorcode:" << error;
  return SyncShellExcute(params, path, wait);
}

bool SyncShellExcute(const std::wstring& params, const std::wstring& path, bool wait) {
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof(execute);
  // The shell's own error box stays away: failures are only logged here.
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = nullptr;
  execute.lpFile = path.c_str();
  execute.lpParameters = params.c_str();
  execute.lpDirectory = nullptr;
  execute.nShow = SW_SHOW;
  if (!ShellExecuteExW(&execute)) {
    const DWORD error = GetLastError();
    KV_LOG_ERROR << "[SyncShellExcute]调用ShellExecuteEx返回错误 errorcode" << error;
    return false;
  }
  // A document opened in a running program (or through DDE) has no process.
  ScopedHandle process(execute.hProcess);
  if (wait && process) WaitForSingleObject(process.Get(), INFINITE);
  return true;
}

std::vector<DWORD> FindProcessesByName(const std::wstring& image_name) {
  std::vector<DWORD> ids;
  if (image_name.empty()) return ids;
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, image_name.c_str()) == 0) ids.push_back(entry.th32ProcessID);
  }
  return ids;
}

bool TerminateProcessById(DWORD pid) {
  // The privilege goes on the thread's token so no other thread of this
  // program gains it; a thread without one impersonates itself for the call.
  ScopedSelfImpersonation impersonation;
  ScopedHandle token;
  const DWORD access = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
  if (!OpenThreadToken(GetCurrentThread(), access, FALSE, token.Receive()) &&
      GetLastError() == ERROR_NO_TOKEN && impersonation.Start()) {
    OpenThreadToken(GetCurrentThread(), access, FALSE, token.Receive());
  }
  // Unwinds in reverse: process handle, privilege, token, impersonation.
  ScopedPrivilege debug(token.Get(), SE_DEBUG_NAME);
  ScopedHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid));
  if (!process) return false;
  return TerminateProcess(process.Get(), kTerminatedByIdExitCode) != FALSE;
}

DWORD TerminateProcessesByPath(const std::wstring& path, DWORD wait_ms) {
  const std::wstring file_name = FileNameOf(path);
  const std::wstring pattern = FolderPattern(path);
  const DWORD self = GetCurrentProcessId();

  std::vector<ScopedHandle> terminated;
  for (DWORD pid : AllProcessIds()) {
    // Ending ourselves here would never return the wait result.
    if (pid == 0 || pid == self) continue;
    ScopedHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid));
    if (!process) continue;
    const std::wstring module = MainModulePath(process.Get());
    if (module.empty()) continue;
    if (_wcsicmp(FileNameOf(module).c_str(), file_name.c_str()) != 0) continue;
    if (!PathMatchSpecW(module.c_str(), pattern.c_str())) continue;
    if (TerminateProcess(process.Get(), kTerminatedByPathExitCode)) {
      terminated.push_back(std::move(process));
    }
  }
  if (terminated.empty()) return static_cast<DWORD>(-1);

  std::vector<HANDLE> handles;
  handles.reserve(terminated.size());
  for (const ScopedHandle& h : terminated) handles.push_back(h.Get());
  return WaitForAll(handles, wait_ms);
}

bool CreateProcessNonElevated(LPCWSTR application, LPWSTR command_line,
                              LPSECURITY_ATTRIBUTES process_attributes,
                              LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                              DWORD creation_flags, LPVOID environment,
                              LPCWSTR current_directory, LPSTARTUPINFOW startup_info,
                              LPPROCESS_INFORMATION process_information) {
  // Neither can be carried over to a process started with another token.
  if (process_attributes || thread_attributes || inherit_handles) return false;

  ScopedHandle shell_token;
  bool use_shell_token = false;
  if (MajorVersion() >= 6) {
    EnableTokenStartPrivileges();
    shell_token = ShellPrimaryToken();
    use_shell_token = ShellTokenUsable(shell_token.Get()) && RunningElevated();
  }
  if (!use_shell_token) {
    return CreateProcessW(application, command_line, nullptr, nullptr, FALSE, creation_flags,
                          environment, current_directory, startup_info,
                          process_information) != FALSE;
  }

  using CreateWithToken = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                        LPSTARTUPINFOW, LPPROCESS_INFORMATION);
  // Looked up at run time: the function does not exist before Vista.
  ScopedLibrary advapi(LoadLibraryW(L"advapi32.dll"));
  CreateWithToken create_with_token =
      advapi ? reinterpret_cast<CreateWithToken>(
                   GetProcAddress(advapi.Get(), "CreateProcessWithTokenW"))
             : nullptr;
  if (!shell_token || !create_with_token) return false;
  return create_with_token(shell_token.Get(), 0, application, command_line, creation_flags,
                           environment, current_directory, startup_info,
                           process_information) != FALSE;
}

}  // namespace base
