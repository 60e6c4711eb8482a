#include "app/package_extraction.h"

#include <windows.h>

// iowin32.h leans on the declarations of unzip.h.
#include <minizip/unzip.h>
#include <minizip/iowin32.h>

#include <algorithm>
#include <cwctype>
#include <vector>

#include <boost/format.hpp>

#include "app/config_manager.h"
#include "base/controller.h"
#include "base/file_util.h"
#include "base/process_util.h"
#include "base/scoped_handle.h"
#include "log/log.h"

namespace korvan {
namespace {

constexpr wchar_t kResourceType[] = L"ZIP";
constexpr DWORD kToolEndWaitMs = 500;
// General-purpose flag bit 11: the entry's name is UTF-8, else code page 437.
constexpr uLong kUtf8NameFlag = 1u << 11;
constexpr UINT kZipLegacyCodePage = 437;
constexpr size_t kMaxEntryNameBytes = 0xFFFF;  // a 16-bit field in the archive
constexpr unsigned kCopyChunkBytes = 64 * 1024;

struct UnzFileTraits {
  using Handle = unzFile;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { unzClose(h); }
};
using ScopedUnzFile = base::ScopedGeneric<UnzFileTraits>;

// The entry opened with unzOpenCurrentFile, closed on every early return.
// Close() hands back minizip's verdict, which is where a CRC mismatch shows.
class ScopedCurrentEntry {
 public:
  explicit ScopedCurrentEntry(unzFile zip) : zip_(zip) {}
  ~ScopedCurrentEntry() {
    if (open_) unzCloseCurrentFile(zip_);
  }
  ScopedCurrentEntry(const ScopedCurrentEntry&) = delete;
  ScopedCurrentEntry& operator=(const ScopedCurrentEntry&) = delete;

  int Open() {
    const int result = unzOpenCurrentFile(zip_);
    open_ = result == UNZ_OK;
    return result;
  }
  int Close() {
    open_ = false;
    return unzCloseCurrentFile(zip_);
  }

 private:
  unzFile zip_;
  bool open_ = false;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The absolute form the platform itself would use: "." and ".." resolved,
// doubled separators collapsed. Empty when it cannot be had.
std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::wstring();
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return std::wstring();
  full.resize(length);
  return full;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() &&
         CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                              static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// Creates the folder before every backslash or slash of `path`, shortest
// first. Existing folders are left alone and a drive ("C:") is never
// created; beyond MAX_PATH nothing is tried.
void CreateFolderChain(const std::wstring& path) {
  for (size_t i = 1; i < path.size() && i < MAX_PATH; ++i) {
    if (!IsSeparator(path[i])) continue;
    if (path[i - 1] == L':' || IsSeparator(path[i - 1])) continue;
    CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
}

std::wstring DecodeEntryName(const std::string& raw, bool utf8) {
  if (raw.empty()) return std::wstring();
  const UINT code_page = utf8 ? CP_UTF8 : kZipLegacyCodePage;
  // A name that is not valid UTF-8 is refused rather than guessed at.
  const DWORD flags = utf8 ? MB_ERR_INVALID_CHARS : 0;
  const int size = static_cast<int>(raw.size());
  const int length = MultiByteToWideChar(code_page, flags, raw.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, flags, raw.data(), size, &wide[0], length);
  return wide;
}

// CON, NUL, COM1 and the like open a device instead of a file, with or
// without an extension.
bool IsDeviceName(const std::wstring& component) {
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = static_cast<wchar_t>(towupper(c));
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$",
                                            L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (stem == device) return true;
  }
  const bool numbered_port =
      stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0);
  return numbered_port && stem[3] >= L'1' && stem[3] <= L'9';
}

// The entry's path relative to the target with backslashes, or empty when
// writing it could reach outside the target: an absolute path, a drive or
// stream (':'), a step made only of dots and blanks ("..", and "..." which
// the platform trims to ".."), a device name or a control character.
std::wstring SafeRelativePath(std::wstring name) {
  std::replace(name.begin(), name.end(), L'/', L'\\');
  if (name.empty() || name.front() == L'\\') return std::wstring();
  size_t start = 0;
  while (start < name.size()) {
    size_t end = name.find(L'\\', start);
    if (end == std::wstring::npos) end = name.size();
    const std::wstring component = name.substr(start, end - start);
    if (!component.empty()) {
      if (component.find_first_not_of(L". ") == std::wstring::npos) return std::wstring();
      if (IsDeviceName(component)) return std::wstring();
    }
    start = end + 1;
  }
  for (wchar_t c : name) {
    if (c < 0x20 || c == L':') return std::wstring();
  }
  return name;
}

// Writes the current entry of `zip` below `folder` (a full path ending with
// a backslash). False, with a log line, when the entry is refused or cannot
// be written; a partly written file is deleted.
bool ExtractCurrentEntry(unzFile zip, const std::wstring& folder) {
  unz_file_info64 info = {};
  std::vector<char> raw_name(kMaxEntryNameBytes + 1);
  if (unzGetCurrentFileInfo64(zip, &info, raw_name.data(), static_cast<uLong>(raw_name.size()),
                              nullptr, 0, nullptr, 0) != UNZ_OK) {
    KV_LOG_ERROR << "korvan::UnzipToFolder 读取条目信息失败";
    return false;
  }
  const size_t name_bytes = std::min<size_t>(info.size_filename, kMaxEntryNameBytes);
  const std::string raw(raw_name.data(), name_bytes);
  const std::wstring name = DecodeEntryName(raw, (info.flag & kUtf8NameFlag) != 0);
  const std::wstring relative =
      raw.find('\0') == std::string::npos ? SafeRelativePath(name) : std::wstring();
  // The lexical test catches the known tricks; comparing the resolved path
  // with the folder catches whatever the platform's own rules add.
  const std::wstring target = relative.empty() ? std::wstring() : FullPath(folder + relative);
  if (target.empty() || target.size() <= folder.size() || !StartsWithNoCase(target, folder)) {
    KV_LOG_ERROR << "korvan::UnzipToFolder 拒绝解压到目标文件夹之外的条目:" << name;
    return false;
  }

  CreateFolderChain(target);
  if (IsSeparator(target.back())) {
    if (IsFolder(target)) return true;
    KV_LOG_ERROR << "korvan::UnzipToFolder 创建文件夹失败,error:" << GetLastError()
                 << " path:" << target;
    return false;
  }

  ScopedCurrentEntry entry(zip);
  const int opened = entry.Open();
  if (opened != UNZ_OK) {
    KV_LOG_ERROR << "korvan::UnzipToFolder 打开条目失败,code:" << opened << " name:" << name;
    return false;
  }
  base::ScopedHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    KV_LOG_ERROR << "korvan::UnzipToFolder 创建文件失败,error:" << GetLastError()
                 << " path:" << target;
    return false;
  }
  bool ok = true;
  std::vector<char> buffer(kCopyChunkBytes);
  for (;;) {
    const int read = unzReadCurrentFile(zip, buffer.data(), kCopyChunkBytes);
    if (read == 0) break;
    if (read < 0) {
      KV_LOG_ERROR << "korvan::UnzipToFolder 读取条目失败,code:" << read << " name:" << name;
      ok = false;
      break;
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), buffer.data(), static_cast<DWORD>(read), &written, nullptr) ||
        written != static_cast<DWORD>(read)) {
      KV_LOG_ERROR << "korvan::UnzipToFolder 写入文件失败,error:" << GetLastError()
                   << " path:" << target;
      ok = false;
      break;
    }
  }
  if (ok) {
    const int closed = entry.Close();
    if (closed != UNZ_OK) {
      KV_LOG_ERROR << "korvan::UnzipToFolder 条目校验失败,code:" << closed << " name:" << name;
      ok = false;
    }
  }
  file.Reset();
  if (!ok) DeleteFileW(target.c_str());
  return ok;
}

std::wstring ToolPath(const std::wstring& temp_dir) { return temp_dir + L"\\7za.exe"; }

// A tool left running from an earlier start holds its file open, so the
// new copy could neither be written nor safely run beside it.
void EndRunningTool(const std::wstring& tool) {
  // Running processes report their image path resolved, without the doubled
  // backslash the folder's path carries.
  const std::wstring resolved = FullPath(tool);
  const DWORD waited =
      base::TerminateProcessesByPath(resolved.empty() ? tool : resolved, kToolEndWaitMs);
  // WAIT_FAILED cannot be told apart from "none was running": both are -1.
  if (waited == WAIT_TIMEOUT) {
    KV_LOG_ERROR << "korvan::EndRunningTool 旧的7za.exe进程未结束,result:" << waited
                 << " path:" << tool;
  }
}

// Without a folder every path below would start at the drive's root.
bool CheckTempDir(const std::wstring& temp_dir) {
  if (!temp_dir.empty()) return true;
  KV_LOG_ERROR << "korvan::PreparePackages 临时文件夹为空";
  return false;
}

std::wstring ConfiguredTempDir() { return GetLogicObject<ConfigManager>()->GetTempDir(); }

}  // namespace

bool ExtractResourceToFile(const std::wstring& name, const std::wstring& type,
                           const std::wstring& path) {
  if (base::ExtractResource(name, type, path)) return true;
  const DWORD error = GetLastError();
  KV_LOG_ERROR << "korvan::ExtractResourceToFile 释放资源失败,error:" << error << " name:" << name
               << " path:" << path;
  return false;
}

bool UnzipToFolder(const std::wstring& zip_path, const std::wstring& target_folder) {
  // The wide file functions: the temporary folder may hold characters that
  // the 8-bit code page cannot express (a Chinese user name on a Western
  // system, say).
  zlib_filefunc64_def io = {};
  fill_win32_filefunc64W(&io);
  ScopedUnzFile zip(unzOpen2_64(zip_path.c_str(), &io));
  if (!zip) {
    KV_LOG_ERROR << "korvan::UnzipToFolder 打开压缩包失败,path:" << zip_path;
    return false;
  }

  std::wstring folder = target_folder;
  if (folder.empty() || !IsSeparator(folder.back())) folder += L'\\';
  CreateFolderChain(folder);
  folder = FullPath(folder);
  if (folder.empty() || !IsFolder(folder)) {
    KV_LOG_ERROR << "korvan::UnzipToFolder 目标文件夹不可用,error:" << GetLastError()
                 << " path:" << target_folder;
    return false;
  }
  if (!IsSeparator(folder.back())) folder += L'\\';

  unz_global_info64 global = {};
  if (unzGetGlobalInfo64(zip.Get(), &global) != UNZ_OK) {
    KV_LOG_ERROR << "korvan::UnzipToFolder 读取压缩包信息失败,path:" << zip_path;
  } else if (global.number_entry == 0) {
    return true;  // minizip cannot even step onto the first entry of these
  }

  int step = unzGoToFirstFile(zip.Get());
  while (step == UNZ_OK) {
    if (!ExtractCurrentEntry(zip.Get(), folder)) return false;
    step = unzGoToNextFile(zip.Get());
  }
  if (step != UNZ_END_OF_LIST_OF_FILE) {
    KV_LOG_ERROR << "korvan::UnzipToFolder 读取下一条目失败,code:" << step
                 << " path:" << zip_path;
    return false;
  }
  return true;
}

bool Unzip7z(const std::wstring& temp_dir, const PackageResources& resources) {
  KV_LOG_MESSAGE << "korvan::ClientManager::Pimpl::Unzip7z";
  if (!CheckTempDir(temp_dir)) return false;
  const std::wstring zip_path = temp_dir + L"\\7za.zip";
  if (!ExtractResourceToFile(resources.tool_zip, kResourceType, zip_path)) return false;

  EndRunningTool(ToolPath(temp_dir));
  if (UnzipToFolder(zip_path, temp_dir + L"\\")) {
    KV_LOG_MESSAGE << "解压7z工具成功";
  } else {
    KV_LOG_ERROR << "解压7z工具失败";
  }
  DeleteFileW(zip_path.c_str());
  // A zip without the tool still counts: UnzipDownloader reports the
  // missing tool with its path, which says more than a failure here.
  return IsFolder(temp_dir);
}

bool UnzipDownloader(const std::wstring& temp_dir, const PackageResources& resources) {
  KV_LOG_MESSAGE << "korvan::ClientManager::Pimpl::UnzipDownloader";
  if (!CheckTempDir(temp_dir)) return false;
  const std::wstring archive = temp_dir + L"\\downloader.7z";
  if (!ExtractResourceToFile(resources.engine_7z, kResourceType, archive)) return false;

  bool result = false;
  const std::wstring tool = ToolPath(temp_dir);
  if (!IsFile(tool)) {
    KV_LOG_ERROR << "UnzipDownloader 7za.exe未找到,path:" << tool;
  } else {
    EndRunningTool(tool);
    const std::wstring cmdline =
        (boost::wformat(L"\"%1%\" x \"%2%\" -o\"%3%\" -aoa") % tool % archive % temp_dir).str();
    DWORD exit_code = 0;
    if (base::RunCommand(cmdline, SW_HIDE, INFINITE, &exit_code)) {
      KV_LOG_MESSAGE << "解压downloader资源，cmdline:" << cmdline;
      // A damaged archive or an engine file held open by another program
      // ends the tool with a non-zero code; going on would load a missing
      // or stale engine.
      if (exit_code == 0) {
        result = true;
      } else {
        KV_LOG_ERROR << "UnzipDownloader 7za.exe解压失败,exit code:" << exit_code
                     << " path:" << archive;
      }
    } else {
      KV_LOG_ERROR << "UnzipDownloader 7za.exe进程创建失败,path:" << tool;
    }
  }
  DeleteFileW(archive.c_str());
  return result;
}

bool PreparePackages(const std::wstring& temp_dir, const PackageResources& resources) {
  return Unzip7z(temp_dir, resources) && UnzipDownloader(temp_dir, resources);
}

bool Unzip7z() { return Unzip7z(ConfiguredTempDir()); }

bool UnzipDownloader() { return UnzipDownloader(ConfiguredTempDir()); }

bool PreparePackages() { return PreparePackages(ConfiguredTempDir()); }

}  // namespace korvan
