#include "base/dll_search.h"

#include <vector>

namespace base {

namespace {

// The delay-imported DLLs of the program (cmake/dependencies.cmake) and of
// the engine (engine/CMakeLists.txt). comctl32 is left out: the manifest
// asks for version 6, which the loader takes from the side-by-side store
// by name, never from the program's folder; a load by full path would get
// the old version 5 instead.
constexpr const wchar_t* kDelayLoadedDlls[] = {
    L"wininet.dll", L"urlmon.dll", L"netapi32.dll", L"iphlpapi.dll", L"gdiplus.dll",
    L"version.dll", L"msimg32.dll", L"bcrypt.dll", L"winhttp.dll",
};

std::wstring SystemFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  UINT length = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  }
  if (length == 0 || length >= buffer.size()) return std::wstring();
  return std::wstring(buffer.data(), length);
}

}  // namespace

bool RestrictDllSearchToSystem() {
  // Looked up, not imported: Windows 7 without KB2533623 lacks it, and an
  // import would keep the program from starting there.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto set_default = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                  GetProcAddress(kernel, "SetDefaultDllDirectories")))
                            : nullptr;
  if (set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;

  SetDllDirectoryW(L"");
  const std::wstring system = SystemFolder();
  if (system.empty()) return false;
  bool all = true;
  // Loaded now and kept for the process's life: a later load by name finds
  // the module already there.
  for (const wchar_t* name : kDelayLoadedDlls) {
    all = LoadLibraryW((system + L"\\" + name).c_str()) != nullptr && all;
  }
  return all;
}

HMODULE LoadLibraryByFullPath(const std::wstring& path) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Windows 7 without KB2533623 refuses these flags; the altered search
  // then starts in the library's own folder instead of ours.
  if (!module && GetLastError() == ERROR_INVALID_PARAMETER) {
    module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  return module;
}

}  // namespace base
