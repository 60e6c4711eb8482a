#include "base/file_util.h"

#include <io.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdio>
#include <cwctype>
#include <memory>
#include <vector>

#include "app/config_manager.h"
#include "base/controller.h"
#include "base/process_util.h"
#include "base/scoped_handle.h"
#include "deployment_settings.h"
#include "log/log.h"

namespace base {

namespace {

constexpr wchar_t kWriteTestFile[] = L"SM_testdir.dat";
constexpr wchar_t kNoVersion[] = L"0.0.0.0";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && IsSeparator(folder.back())) return folder + name;
  return folder + L"\\" + name;
}

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

class RealDriveInfo : public DriveInfo {
 public:
  std::vector<std::wstring> ListRoots() const override {
    std::vector<wchar_t> buffer(1024 + 1);
    for (;;) {
      DWORD length = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size() - 1), buffer.data());
      if (length == 0) return {};
      if (length < buffer.size()) break;
      buffer.resize(length + 1);
    }
    std::vector<std::wstring> roots;
    for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) roots.emplace_back(p);
    return roots;
  }
  UINT DriveType(const std::wstring& root) const override { return GetDriveTypeW(root.c_str()); }
  bool IsExternal(const std::wstring& root) const override { return IsExternalDrive(root); }
  bool FreeBytesForCaller(const std::wstring& root, uint64_t* bytes) const override {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return false;
    *bytes = available.QuadPart;
    return true;
  }
  bool IsWritable(const std::wstring& root) const override {
    return CanInstallIn(JoinPath(root, kInstallRootFolder));
  }
};

std::wstring ReadRegistryString(HKEY root, const std::wstring& subkey, const wchar_t* value) {
  ScopedRegKey key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
    return std::wstring();
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::wstring();
  }
  // One spare character: a stored string need not carry its terminator.
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
  if (RegQueryValueExW(key.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  std::wstring text(buffer.data());
  if (type == REG_EXPAND_SZ) {
    DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed > 0) {
      std::vector<wchar_t> expanded(needed, L'\0');
      if (ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed) > 0) {
        text = expanded.data();
      }
    }
  }
  return text;
}

// The text between the first two double quotes; empty if there are not two.
std::wstring FirstQuoted(const std::wstring& text) {
  size_t open = text.find(L'"');
  if (open == std::wstring::npos) return std::wstring();
  size_t close = text.find(L'"', open + 1);
  if (close == std::wstring::npos) return std::wstring();
  return text.substr(open + 1, close - open - 1);
}

std::wstring BrowserOfUserChoice(const wchar_t* protocol) {
  const std::wstring choice =
      std::wstring(L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\") +
      protocol + L"\\UserChoice";
  const std::wstring progid = ReadRegistryString(HKEY_CURRENT_USER, choice, L"Progid");
  if (progid.empty()) return std::wstring();
  const std::wstring command =
      ReadRegistryString(HKEY_CLASSES_ROOT, progid + L"\\shell\\open\\command", nullptr);
  return FirstQuoted(command);
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  size_t n = wcslen(prefix);
  return text.size() >= n && _wcsnicmp(text.c_str(), prefix, n) == 0;
}

}  // namespace

std::wstring GetExeFolder() {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      std::wstring name(buffer.data(), length);
      size_t slash = name.find_last_of(L'\\');
      return slash == std::wstring::npos ? std::wstring() : name.substr(0, slash);
    }
    // Longer than any path the platform accepts: give up rather than loop.
    if (buffer.size() >= 65536) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring GetPathRoot(const std::wstring& path) {
  size_t slash = path.find(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring GetParentFolder(const std::wstring& path) {
  std::wstring trimmed = path;
  if (!trimmed.empty() && IsSeparator(trimmed.back())) trimmed.pop_back();
  size_t slash = trimmed.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : trimmed.substr(0, slash);
}

std::wstring GetFullPath(const std::wstring& path) {
  if (path.empty()) return path;
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  DWORD written = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  if (written == 0 || written >= needed) return path;
  full.resize(written);
  return full;
}

bool CreateFolderTree(const std::wstring& path) {
  if (path.empty()) return false;
  if (IsFolder(path)) return true;
  // Each prefix in turn; the ones that exist (or cannot exist, like "D:" or
  // "\\server") simply fail.
  for (size_t i = 1; i < path.size(); ++i) {
    if (IsSeparator(path[i]) && !IsSeparator(path[i - 1]) && path[i - 1] != L':') {
      CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
  }
  CreateDirectoryW(path.c_str(), nullptr);
  return IsFolder(path);
}

bool RemoveFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  // A link is removed as a link: walking into it would delete files that
  // live somewhere else.
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    const std::wstring pattern = JoinPath(folder, L"*.*");
    WIN32_FIND_DATAW entry;
    ScopedFindHandle find(FindFirstFileW(pattern.c_str(), &entry));
    if (find) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = JoinPath(folder, name);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          DeleteFileW(child.c_str());
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          RemoveDirectoryW(child.c_str());
        } else {
          RemoveFolderTree(child);
        }
      } while (FindNextFileW(find.Get(), &entry));
    }
  }
  return RemoveDirectoryW(folder.c_str()) != FALSE;
}

bool IsFolderWritable(const std::wstring& folder) {
  if (folder.empty()) return false;
  // The shell's tree creation wants an absolute path; the relative default
  // root ("korvan") must pass the test too.
  const std::wstring full = GetFullPath(folder);
  SHCreateDirectoryExW(nullptr, full.c_str(), nullptr);
  if (!IsFolder(full)) return false;
  if (_waccess(full.c_str(), 0) != 0 || _waccess(full.c_str(), 6) != 0) return false;

  const std::wstring probe = JoinPath(full, kWriteTestFile);
  ScopedHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
  const bool created = file.IsValid();
  file.Reset();
  DeleteFileW(probe.c_str());
  return created;
}

bool CanInstallIn(const std::wstring& folder) {
  if (folder.empty()) return false;
  const bool existed = IsFolder(folder);
  if (!existed && !CreateDirectoryW(folder.c_str(), nullptr)) return false;
  const std::wstring probe = JoinPath(folder, kWriteTestFile);
  ScopedHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
  const bool created = file.IsValid();
  file.Reset();
  if (created) DeleteFileW(probe.c_str());
  if (!existed) RemoveDirectoryW(folder.c_str());
  return created;
}

bool IsExternalDrive(const std::wstring& path) {
  if (path.size() < 3 || !iswalpha(path[0]) || path[1] != L':' || !IsSeparator(path[2])) {
    return false;
  }
  const std::wstring device = L"\\\\.\\" + path.substr(0, 2);
  // No access rights asked for: the property query needs none, and opening
  // the volume for reading would need administrator rights.
  ScopedHandle volume(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  if (!volume) return false;

  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  alignas(8) BYTE buffer[1024] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(volume.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer,
                       sizeof(buffer), &returned, nullptr)) {
    return false;
  }
  if (returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE)) {
    return false;
  }
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer);
  return descriptor->BusType == BusType1394 || descriptor->BusType == BusTypeUsb;
}

const DriveInfo& RealDrives() {
  static const RealDriveInfo drives;
  return drives;
}

std::wstring PickInstallDrive(const DriveInfo& drives) {
  std::wstring best;
  uint64_t best_free = 0;
  bool found = false;
  for (const std::wstring& root : drives.ListRoots()) {
    if (drives.DriveType(root) != DRIVE_FIXED) continue;
    if (drives.IsExternal(root)) continue;
    uint64_t free_bytes = 0;
    if (!drives.FreeBytesForCaller(root, &free_bytes)) continue;
    // A drive that cannot win is spared the write test.
    if (found && free_bytes < best_free) continue;
    if (!drives.IsWritable(root)) continue;
    best = root;
    best_free = free_bytes;
    found = true;
  }
  return best;
}

bool ExtractResource(const std::wstring& name, const std::wstring& type,
                     const std::wstring& target) {
  return ExtractResourceFrom(GetModuleHandleW(nullptr), name, type, target);
}

bool ExtractResourceFrom(HMODULE module, const std::wstring& name, const std::wstring& type,
                         const std::wstring& target) {
  HRSRC found = FindResourceW(module, name.c_str(), type.c_str());
  if (!found) return false;
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes && size != 0) return false;

  ScopedFile file(_wfopen(target.c_str(), L"wb"));
  if (!file) return false;
  const size_t written = size != 0 ? fwrite(bytes, 1, size, file.get()) : 0;
  // A short write (a full disk) would leave a truncated archive that the
  // unpacking step would choke on later; report it here instead.
  const bool closed = fclose(file.release()) == 0;
  if (written != size || !closed) {
    _wremove(target.c_str());
    return false;
  }
  return true;
}

std::wstring FindBrowserPath() {
  // The web association first: the ftp one is gone on current systems, and
  // without it we would open the old IE instead of the user's browser.
  for (const wchar_t* protocol : {L"http", L"Ftp"}) {
    std::wstring browser = BrowserOfUserChoice(protocol);
    if (!browser.empty()) return browser;
  }
  std::wstring ie = ReadRegistryString(
      HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE",
      nullptr);
  if (!ie.empty() && ie.front() == L'"') ie = FirstQuoted(ie);
  return ie;
}

std::wstring SanitizeUrlForCommandLine(const std::wstring& url) {
  // URLs also come from the web page (links that open a new window). Anything
  // but a web address, or one that splits into several arguments, could hand
  // the browser switches of the page's choosing.
  if (!StartsWithNoCase(url, L"http://") && !StartsWithNoCase(url, L"https://")) {
    return std::wstring();
  }
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring safe;
  safe.reserve(url.size());
  for (wchar_t c : url) {
    if (c <= L' ' || c == 0x7F || c == L'"') {
      safe += L'%';
      safe += kHex[(c >> 4) & 0xF];
      safe += kHex[c & 0xF];
    } else {
      safe += c;
    }
  }
  return safe;
}

std::wstring BrowserCommandLine(const std::wstring& url) {
  const std::wstring safe = SanitizeUrlForCommandLine(url);
  if (safe.empty()) return std::wstring();
  return L"\"" + FindBrowserPath() + L"\" " + safe;
}

bool StartBrowser(const std::wstring& command_line) {
  // CreateProcessW may write into the command line, so each try gets a
  // fresh copy.
  auto fresh = [&command_line] {
    std::vector<wchar_t> buffer(command_line.begin(), command_line.end());
    buffer.push_back(L'\0');
    return buffer;
  };
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> first = fresh();
  if (CreateProcessNonElevated(nullptr, first.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process)) {
    ScopedHandle process_handle(process.hProcess);
    ScopedHandle thread_handle(process.hThread);
    return true;
  }
  std::vector<wchar_t> second = fresh();
  if (!CreateProcessW(nullptr, second.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    const DWORD error = GetLastError();
    KV_LOG_ERROR << "base::StartBrowser 启动浏览器失败，errorcode:" << error;
    return false;
  }
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread_handle(process.hThread);
  return true;
}

bool OpenUrlInBrowser(const std::wstring& url) {
  const std::wstring safe = SanitizeUrlForCommandLine(url);
  if (safe.empty()) {
    KV_LOG_ERROR << "base::OpenUrlInBrowser 拒绝打开非网页地址:" << url;
    return false;
  }
  const std::wstring browser = FindBrowserPath();
  const std::wstring command_line = L"\"" + browser + L"\" " + safe;
  KV_LOG_MESSAGE << "base::OpenUrlInBrowser 打开浏览器:" << command_line;
  if (browser.empty()) {
    // An empty program name cannot start anything; don't try.
    KV_LOG_ERROR << "base::OpenUrlInBrowser 未找到浏览器";
    return false;
  }
  return StartBrowser(command_line);
}

std::wstring LauncherLinkUrl(int link) {
  return std::wstring(L"http://") + korvan::settings::kPortalHost +
         L"/list/laucher_url.html?url=link" + std::to_wstring(link);
}

bool OpenLauncherLink(int link) { return OpenUrlInBrowser(LauncherLinkUrl(link)); }

bool OpenInstallFolder() {
  const std::wstring root = GetLogicObject<korvan::ConfigManager>()->GetInstallRoot();
  // Quoted and absolute: explorer splits its arguments at commas and blanks,
  // and would resolve the relative default root against its own folder.
  const std::wstring parameters = L"\"" + GetFullPath(root) + L"\"";
  HINSTANCE result =
      ShellExecuteW(nullptr, L"open", L"explorer", parameters.c_str(), nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::wstring GetFileVersionText(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return kNoVersion;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return kNoVersion;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return kNoVersion;
  }
  return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(info->dwFileVersionLS));
}

}  // namespace base
