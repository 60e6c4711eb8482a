// Where the process looks for DLLs. Players start the program from their
// Downloads folder, where a web page may have left a "version.dll" or a
// "wininet.dll": a DLL found beside the program would run with it. At load
// time the program imports only DLLs of the system's known-DLL list, which
// never come from its folder; the others are delay-imported
// (cmake/delay_imports.cmake) and so are loaded only after
// RestrictDllSearchToSystem has run.
//
// Thread-safety: RestrictDllSearchToSystem on the first thread, first thing
// in wWinMain, before any other thread exists and before the first call
// into a delay-imported DLL. LoadLibraryByFullPath from any thread.
//
// Ownership: LoadLibraryByFullPath returns a module the caller frees.
#pragma once

#include <windows.h>

#include <string>

namespace base {

// Limits the process's DLL search to the system folder. Where
// SetDefaultDllDirectories is missing (Windows 7 without its update) the
// current folder leaves the search and the delay-imported DLLs are loaded
// at once by their full system path, so no later lookup by name reaches the
// program's folder. False when neither could be done.
bool RestrictDllSearchToSystem();

// Loads the library at `path` (a full path), looking for its own
// dependencies only in its folder and the system folder. Null on failure,
// with the error in GetLastError.
HMODULE LoadLibraryByFullPath(const std::wstring& path);

}  // namespace base
